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
    if (!image || !WriteRegion(row.regionCode, *image)) failed = true;
  }
  block_.regionsDone.set(failed ? kJobRefused : kJobDone);
  return true;
}

bool Worker::WriteRegion(std::uint16_t regionCode, const ComponentImage& image) {
  if (!channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode, kOpenMarker, 0, 0)) {
    return false;
  }
  clock_.sleepMs(kAfterRegionOpenMs);
  if (image.byteCount == 0) return true;
  // The policy mark goes into the blocks sent, never into the program's copy of the package.
  for (const std::uint32_t i : componentBlocksSent(image)) {
    if (!commands_.SendBlock(image.block(i))) return false;
    if (!channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode,
                              std::uint32_t{image.code} * 256, i, image.count)) {
      return false;
    }
  }
  link_.UsbClose();
  return true;
}

}  // namespace flashwell::protocol
