#include "protocol/block_plan.h"
#include "protocol/pauses.h"
#include "protocol/worker.h"

namespace flashwell::protocol {

namespace {
constexpr std::uint32_t kOpenMarker = 0xFFFF;
}  // namespace

bool Worker::WriteRegions() {
  const std::optional<UpgradeOption> option = optionFromByte(block_.upgradeOption.get());
  if (!option) {
    // No mode chosen: nothing is sent.
    block_.regionsDone.set(kJobRefused);
    return true;
  }
  bool failed = false;
  for (const ComponentRow& row : kComponentTable) {
    block_.regionsDone.set(row.phase);
    const auto image = componentImage(block_, row, writesOf(*option));
    if (!image || WriteRegion(row.regionCode, *image) != 1) failed = true;
  }
  block_.regionsDone.set(failed ? kJobRefused : kJobDone);
  return true;
}

int Worker::WriteRegion(std::uint16_t regionCode, const ComponentImage& image) {
  if (channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode, kOpenMarker, 0, 0) != 1) {
    return 0;
  }
  clock_.sleepMs(kAfterRegionOpenMs);
  if (image.byteCount == 0) return 1;
  // The policy mark goes into the blocks sent, never into the program's copy of the package.
  for (const std::uint32_t i : componentBlocksSent(image)) {
    if (commands_.SendBlock(image.block(i)) != 1) return 0;
    if (channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode,
                             std::uint32_t{image.code} * 256, i, image.count) != 1) {
      return 0;
    }
  }
  link_.UsbClose();
  return 1;
}

}  // namespace flashwell::protocol
