#include "emulator/key_memory.h"

#include <algorithm>

#include "usb/bytes.h"

namespace flashwell::emulator {

namespace {
constexpr std::uint32_t kHeaderWindowSize = 256;

std::uint8_t externalByte(const VirtualKey::Context& key, std::uint32_t address) {
  const RegionWindow* nearest = nullptr;
  for (const RegionWindow& w : kRegionWindows) {
    if (w.start <= address && (!nearest || w.start > nearest->start)) nearest = &w;
  }
  if (!nearest) return 0xFF;
  const auto found = key.image.regions.find(nearest->code);
  if (found == key.image.regions.end()) return 0xFF;
  const std::uint32_t offset = address - nearest->start;
  return offset < found->second.size() ? found->second[offset] : 0xFF;
}
}  // namespace

std::uint8_t memoryByte(const VirtualKey::Context& key, std::uint32_t address) {
  if (address & kExternalFlashBit) return externalByte(key, address & ~kExternalFlashBit);
  const auto& area = key.image.firmwareArea;
  if (address >= kFirmwareAreaStart && address - kFirmwareAreaStart < area.size()) {
    return area[address - kFirmwareAreaStart];
  }
  const MemoryLayout layout = memoryLayoutOf(key.image.hardwareType());
  if (address >= layout.headerWindow && address - layout.headerWindow < kHeaderWindowSize) {
    const std::uint32_t offset = address - layout.headerWindow;
    return offset < area.size() ? area[offset] : 0xFF;
  }
  const std::uint32_t base = layout.configurationBase;
  if (address >= base - kBooterInfoSize && address < base) {
    return key.image.identity[address - (base - kBooterInfoSize)];
  }
  if (address >= base && address - base < kConfigurationSize) {
    return key.image.configuration[address - base];
  }
  return 0xFF;
}

std::array<std::uint8_t, kIdentitySize> identityAnswer(const VirtualKey::Context& key) {
  std::array<std::uint8_t, kIdentitySize> id = key.image.identity;
  const auto& area = key.image.firmwareArea;
  auto areaByte = [&](std::size_t i) -> std::uint8_t { return i < area.size() ? area[i] : 0xFF; };
  for (std::size_t i = 0; i < 4; ++i) id[20 + i] = areaByte(0x0C + i);
  id[26] = areaByte(0x1E);
  id[27] = areaByte(0x1F);
  id[25] = areaByte(0x20);
  usb::putLe16(id, 28, static_cast<std::uint16_t>(key.image.program));
  std::copy_n(key.image.configuration.begin(), kConfigurationInIdentity,
              id.begin() + kIdentityConfigurationOffset);
  // Family 19 has no configuration read, so its booter answers with the whole record.
  const bool copyBelowBase = memoryLayoutOf(key.image.hardwareType()).family != 19;
  if (key.image.program == KeyProgram::booter && key.largePacket() && copyBelowBase) {
    for (std::size_t i : {4, 5, 6, 7, 16, 17, 18, 19, 32, 33, 40, 41, 42, 43}) id[i] = 0xFF;
  }
  return id;
}

std::vector<std::uint8_t> VirtualKey::Context::readMemory(std::uint32_t address,
                                                          std::size_t length) const {
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = emulator::memoryByte(*this, static_cast<std::uint32_t>(address + i));
  }
  return bytes;
}

std::optional<std::vector<std::uint8_t>> VirtualKey::Context::takeReceived(std::size_t size) {
  std::optional<std::vector<std::uint8_t>> block;
  if (announcedOut == size && received.size() == size) block = std::move(received);
  received.clear();
  announcedOut = 0;
  return block;
}

}  // namespace flashwell::emulator
