#include "protocol/block_plan.h"

#include <algorithm>

namespace flashwell::protocol {

namespace {
constexpr std::size_t kComponentCodeByte = 29;

bool blank(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}
}  // namespace

std::span<std::uint8_t> slotData(std::span<std::uint8_t> package, const RegionSlot& slot) {
  const std::size_t imageEnd = std::min(package.size(), kFlashImageOffset + kFlashImageSize);
  const std::size_t start = kFlashImageOffset + std::size_t{slot.imageOffset()};
  if (start >= imageEnd) return {};
  return package.subspan(start, imageEnd - start);
}

std::span<const std::uint8_t> FirmwareImage::block(std::uint32_t i) const {
  return data.subspan(length - kFirmwareBlockSize * (i + 1), kFirmwareBlockSize);
}

std::uint32_t FirmwareImage::address(std::uint32_t i) const {
  return maxAddress - (kFirmwareBlockSize - 1) - kFirmwareBlockSize * i;
}

std::optional<FirmwareImage> firmwareImage(const RequestBlock& block) {
  const RegionSlot& slot = block.regions[0];
  FirmwareImage image;
  image.length = slot.length();
  image.data = slotData(block.package(), slot);
  image.maxAddress = slot.maxAddress();
  if (image.length > kMaxFirmwareLength) return std::nullopt;
  if (image.data.size() <= kComponentCodeByte || image.data[kComponentCodeByte] != kKeyFirmwareCode)
    return std::nullopt;
  const std::uint32_t blocks = image.length / kFirmwareBlockSize;
  if (blocks == 0) return image;
  // A slot that reaches past the package, or whose blocks would lie below address 0, is refused
  // before anything is sent.
  if (image.data.size() < image.length) return std::nullopt;
  if (image.maxAddress == 0xFFFFFFFF || image.maxAddress + 1 < blocks * kFirmwareBlockSize) {
    return std::nullopt;
  }
  return image;
}

std::vector<std::uint32_t> firmwareBlocksSent(const FirmwareImage& image) {
  std::vector<std::uint32_t> sent;
  for (std::uint32_t i = 0; i < image.length / kFirmwareBlockSize; ++i) {
    if (!blank(image.block(i))) sent.push_back(i);
  }
  return sent;
}

std::array<std::uint8_t, kRegionBlockSize> ComponentImage::block(std::uint32_t i) const {
  std::array<std::uint8_t, kRegionBlockSize> bytes;
  const auto from = data.subspan(std::size_t{i} * kRegionBlockSize, kRegionBlockSize);
  std::copy(from.begin(), from.end(), bytes.begin());
  // "Always" sets the header's policy mark in what is sent.
  if (policyMark && i == 0) setPolicyMark(bytes, kPassOnAlways);
  return bytes;
}

std::optional<ComponentImage> componentImage(const RequestBlock& block, const ComponentRow& row,
                                             const OptionWrites& writes) {
  ComponentImage image;
  image.data = slotData(block.package(), block.regions[row.slot]);
  if (image.data.size() <= row.codeByteAt) return std::nullopt;
  image.code = image.data[row.codeByteAt];
  if (!writes.components) return image;
  image.byteCount = row.byteCount;
  image.count = row.byteCount / kRegionBlockSize;
  image.policyMark = writes.policyMark;
  // Every block sent has to lie inside the image; a region that does not is not even opened.
  if (image.data.size() < std::size_t{image.count} * kRegionBlockSize) return std::nullopt;
  return image;
}

std::vector<std::uint32_t> componentBlocksSent(const ComponentImage& image) {
  std::vector<std::uint32_t> sent;
  for (std::uint32_t i = 0; i < image.count; ++i) {
    const std::size_t at = std::size_t{i} * kRegionBlockSize;
    // The whole byte count from this block on (bounded by the end of the image) has to be blank;
    // the policy mark makes the first block not blank.
    const auto ahead =
        image.data.subspan(at, std::min<std::size_t>(image.byteCount, image.data.size() - at));
    if ((image.policyMark && at <= kPolicyMark) || !blank(ahead)) sent.push_back(i);
  }
  return sent;
}

std::uint32_t BlockPlan::total() const {
  std::uint32_t sum = firmware;
  for (const std::uint32_t n : components) sum += n;
  return sum;
}

BlockPlan planBlocks(const RequestBlock& block, UpgradeOption option, bool booterRuns) {
  const OptionWrites& writes = writesOf(option);
  BlockPlan plan;
  plan.keyFirmware = writes.keyFirmware || booterRuns;
  if (plan.keyFirmware) {
    if (const auto image = firmwareImage(block)) {
      plan.firmware = static_cast<std::uint32_t>(firmwareBlocksSent(*image).size());
    }
  }
  for (std::size_t r = 0; r < kComponentTable.size(); ++r) {
    if (const auto image = componentImage(block, kComponentTable[r], writes)) {
      plan.components[r] = static_cast<std::uint32_t>(componentBlocksSent(*image).size());
    }
  }
  return plan;
}

}  // namespace flashwell::protocol
