#include "emulator/key_image.h"

#include "usb/bytes.h"

namespace flashwell::emulator {

std::optional<RegionWindow> regionWindow(std::uint16_t code) {
  for (const RegionWindow& w : kRegionWindows) {
    if (w.code == code) return w;
  }
  return std::nullopt;
}

std::optional<std::uint8_t> familyOfHardwareType(std::uint16_t hardwareType) {
  struct Row {
    std::uint16_t type;
    std::uint8_t family;
  };
  static constexpr Row kRows[] = {
      {0x0005, 11}, {0x0009, 11}, {0x000C, 11}, {0x000D, 11}, {0x0002, 12},
      {0x0401, 19}, {0x0006, 13}, {0x0007, 12}, {0x0008, 10}, {0x000B, 12},
      {0x0015, 18}, {0x0018, 18}, {0x0016, 14}, {0x0017, 18}, {0x0301, 15},
  };
  for (const Row& r : kRows) {
    if (r.type == hardwareType) return r.family;
  }
  return std::nullopt;
}

MemoryLayout memoryLayoutOf(std::uint16_t hardwareType) {
  const std::uint8_t family = familyOfHardwareType(hardwareType).value_or(13);
  switch (family) {
    case 10:
    case 11:
      return {family, 0xFFBF30, 0xFF0000};
    case 14:
      // This family maps its firmware area where the flash has it.
      return {family, 0x00F030, kFirmwareAreaStart};
    default:
      // Family 19 has the same memory, although nothing asks it for its configuration.
      return {family, 0xFFA030, 0xFE0000};
  }
}

std::uint16_t KeyImage::hardwareType() const {
  return usb::le16(identity, 30);
}

std::map<std::uint16_t, std::vector<std::uint8_t>> KeyImage::erasedRegions() {
  std::map<std::uint16_t, std::vector<std::uint8_t>> regions;
  for (const RegionWindow& w : kRegionWindows) {
    regions[w.code] = std::vector<std::uint8_t>(kRegionCapacity, 0xFF);
  }
  return regions;
}

std::optional<std::uint16_t> wordSum(std::span<const std::uint8_t> bytes, std::size_t offset,
                                     std::size_t count) {
  if (count > bytes.size() / 2 || !usb::fits(bytes, offset, count * 2)) return std::nullopt;
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    sum = static_cast<std::uint16_t>(sum + usb::le16(bytes, offset + 2 * i));
  }
  return sum;
}

bool headerChecksumHolds(std::span<const std::uint8_t> component) {
  const auto words = usb::tryLe32(component, 0);
  const auto stored = usb::tryLe16(component, 4);
  if (!words || !stored) return false;
  const auto sum = wordSum(component, 0x10, *words);
  return sum && *sum == *stored;
}

bool holdsValidFirmware(std::span<const std::uint8_t> area) {
  return area.size() > 29 && area[29] == '3' && headerChecksumHolds(area);
}

}  // namespace flashwell::emulator
