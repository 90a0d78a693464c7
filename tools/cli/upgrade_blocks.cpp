#include "tools/cli/upgrade_blocks.h"

#include <algorithm>

#include "protocol/component_table.h"
#include "usb/bytes.h"

namespace flashwell::cli {

namespace {

constexpr std::size_t kPolicyMarkByte = 7;

bool blank(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// A slot's bytes from its image offset to the end of the flash image.
std::span<const std::uint8_t> slotData(const protocol::RequestBlock& block,
                                       const protocol::RegionSlot& slot) {
  const std::span<const std::uint8_t> package = block.package();
  const std::size_t imageEnd =
      std::min(package.size(), protocol::kFlashImageOffset + protocol::kFlashImageSize);
  const std::size_t start = protocol::kFlashImageOffset + std::size_t{slot.imageOffset()};
  if (start >= imageEnd) return {};
  return package.subspan(start, imageEnd - start);
}

std::uint32_t firmwareBlocks(const protocol::RequestBlock& block) {
  const protocol::RegionSlot& slot = block.regions[0];
  const std::uint32_t length = slot.length();
  const auto data = slotData(block, slot);
  if (length > protocol::kMaxFirmwareLength || data.size() < length) return 0;
  // Whole blocks, counted from the end of the region as the writer sends them.
  const std::uint32_t blocks = length / protocol::kFirmwareBlockSize;
  std::uint32_t sent = 0;
  for (std::uint32_t i = 0; i < blocks; ++i) {
    const std::size_t at = length - std::size_t{protocol::kFirmwareBlockSize} * (i + 1);
    sent += blank(data.subspan(at, protocol::kFirmwareBlockSize)) ? 0 : 1;
  }
  return sent;
}

// The region writer skips only the blocks at the end of the used image: a block is sent unless
// the whole byte count from it on is blank. Under "Always" the policy mark makes the first
// block's bytes not blank.
std::uint32_t regionBlocks(const protocol::RequestBlock& block, bool always) {
  std::uint32_t sent = 0;
  for (const protocol::ComponentRow& row : protocol::kComponentTable) {
    const auto data = slotData(block, block.regions[row.slot]);
    const std::uint32_t count = row.byteCount / protocol::kRegionBlockSize;
    if (data.size() <= row.codeByteAt ||
        data.size() < std::size_t{count} * protocol::kRegionBlockSize) {
      continue;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::size_t at = std::size_t{i} * protocol::kRegionBlockSize;
      const auto ahead = data.subspan(at, std::min<std::size_t>(row.byteCount, data.size() - at));
      const bool marked = always && at <= kPolicyMarkByte;
      if (marked || !blank(ahead)) ++sent;
    }
  }
  return sent;
}

}  // namespace

BlockPlan planBlocks(const protocol::RequestBlock& block, std::uint8_t option, bool booterRuns) {
  BlockPlan plan;
  if (option != protocol::kOptionNever || booterRuns) plan.firmware = firmwareBlocks(block);
  if (option == protocol::kOptionOnly || option == protocol::kOptionAlways)
    plan.regions = regionBlocks(block, option == protocol::kOptionAlways);
  return plan;
}

void TrafficFacts::see(const trace::LogEvent& e) {
  if (e.ev == "out" && e.ok.value_or(false) && e.len.value_or(0) >= protocol::kRegionBlockSize) {
    blocks_.fetch_add(1, std::memory_order_relaxed);
  }
  if (e.ev == "descriptor" && e.ok.value_or(false) && e.data) {
    const auto set = trace::fromHex(*e.data);
    if (!set) return;
    if (const auto size = firstEndpointMaxPacket(*set)) {
      maxPacket_.store(*size, std::memory_order_relaxed);
    }
  }
}

std::optional<std::uint16_t> firstEndpointMaxPacket(std::span<const std::uint8_t> set) {
  if (set.empty()) return std::nullopt;
  const std::size_t interfaceAt = set[0];
  if (interfaceAt >= set.size()) return std::nullopt;
  return usb::tryLe16(set, interfaceAt + set[interfaceAt] + 4);
}

}  // namespace flashwell::cli
