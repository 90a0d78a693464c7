#include "protocol/worker.h"

#include <algorithm>

#include "protocol/component_table.h"

namespace flashwell::protocol {

namespace {
constexpr std::uint32_t kOpenMarker = 0xFFFF;
constexpr std::uint32_t kAfterOpenMs = 2000;
}  // namespace

bool Worker::WriteRegions() {
  const std::uint8_t option = block_.upgradeOption.get();
  const bool always = option == kOptionAlways;
  bool failed = false;
  for (const ComponentRow& row : kComponentTable) {
    block_.regionsDone.set(row.phase);
    const std::span<std::uint8_t> data = slotData(block_.regions[row.slot]);
    if (data.size() <= row.codeByteAt) {
      failed = true;
      continue;
    }
    const std::uint32_t count = option == kOptionNever ? 0 : row.byteCount;
    if (!WriteRegion(row.regionCode, data[row.codeByteAt], data, count, always)) {
      failed = true;
    }
  }
  block_.regionsDone.set(failed ? kJobRefused : kJobDone);
  return true;
}

bool Worker::WriteRegion(std::uint16_t regionCode, std::uint8_t codeByte,
                         std::span<std::uint8_t> data, std::uint32_t byteCount, bool alwaysFlag) {
  const std::uint32_t count = byteCount / kRegionBlockSize;
  // Every block sent has to lie inside the image; a region that does not is not even opened.
  if (byteCount != 0 && (data.size() < std::size_t{count} * kRegionBlockSize ||
                         (alwaysFlag && data.size() <= kPolicyMark))) {
    return false;
  }
  if (!channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode, kOpenMarker, 0, 0)) {
    return false;
  }
  clock_.sleepMs(kAfterOpenMs);
  if (byteCount == 0) return true;

  // The mark stays in the program's copy of the package for the rest of the run.
  if (alwaysFlag) setPolicyMark(data, kPassOnAlways);

  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = std::size_t{i} * kRegionBlockSize;
    // Only the blocks at the end of the used image are skipped: the whole byte count from this
    // block on (bounded by the end of the image) has to be blank.
    const auto ahead = data.subspan(at, std::min<std::size_t>(byteCount, data.size() - at));
    if (std::all_of(ahead.begin(), ahead.end(), [](std::uint8_t b) { return b == 0xFF; })) {
      continue;
    }
    if (!commands_.SendBlock(data.subspan(at, kRegionBlockSize))) return false;
    if (!channel_.SendCommand(kLongCommand, kSubRegion, 0, 0, regionCode,
                              std::uint32_t{codeByte} * 256, i, count)) {
      return false;
    }
  }
  link_.UsbClose();
  return true;
}

}  // namespace flashwell::protocol
