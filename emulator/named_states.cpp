#include "emulator/named_states.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "emulator/sample_components.h"
#include "usb/bytes.h"

namespace flashwell::emulator {

namespace {
constexpr std::uint16_t kFreshHardwareType = 0x0006;
constexpr std::uint32_t kSerialNumber = 0x0004D2A7;
constexpr std::uint32_t kWrongKind = 112;

struct FamilyKey {
  std::uint8_t family;
  std::uint16_t hardwareType;
};
constexpr std::array<FamilyKey, 8> kFamilyKeys{{
    {10, 0x0008},
    {11, 0x0005},
    {12, 0x0002},
    {13, 0x0006},
    {14, 0x0016},
    {15, 0x0301},
    {18, 0x0015},
    {19, 0x0401},
}};

// The components of a fresh key, the releases of 2019: the key's own firmware, then one in each
// region by the region's code. Columns: component code, booter-style header, version (major,
// minor, patch) and release date (day, month, year) in BCD, payload bytes, seed of the filler.
constexpr ComponentSpec kFreshFirmware{'3', false, 0x01, 0x10, 0x00, 0x15, 0x03, 0x19, 0x5000, 103};
constexpr std::array<std::pair<std::uint16_t, ComponentSpec>, 7> kFreshRegions{{
    {0x0515, {0x15, true, 0x01, 0x00, 0x00, 0x02, 0x04, 0x19, 0x2000, 121}},
    {0x0631, {'1', false, 0x04, 0x01, 0x00, 0x20, 0x05, 0x19, 0x6000, 101}},
    {0x0634, {'4', false, 0x02, 0x10, 0x20, 0x11, 0x02, 0x19, 0x3000, 104}},
    {0x0632, {'2', false, 0x01, 0x30, 0x00, 0x07, 0x01, 0x19, 0x4000, 102}},
    {0x0225, {'%', false, 0x01, 0x02, 0x00, 0x28, 0x02, 0x19, 0x2800, 137}},
    {0x0635, {'5', false, 0x03, 0x00, 0x00, 0x09, 0x09, 0x19, 0x3000, 105}},
    {0x0640, {'H', false, 0x01, 0x01, 0x00, 0x30, 0x10, 0x19, 0x1800, 172}},
}};

void place(std::vector<std::uint8_t>& storage, const std::vector<std::uint8_t>& component) {
  std::copy_n(component.begin(), std::min(component.size(), storage.size()), storage.begin());
}

// The key as it leaves the factory with the releases of 2019.
KeyImage freshKey(std::uint16_t hardwareType) {
  KeyImage key;
  key.program = KeyProgram::firmware;
  auto& id = key.identity;
  usb::putLe32(id, 4, kMempodKind);
  usb::putLe32(id, 16, kSerialNumber);
  usb::putLe16(id, 30, hardwareType);
  usb::putLe16(id, 32, 0x0102);  // booter release
  id[40] = 0x12;                 // production date, BCD day, month, century, year
  id[41] = 0x06;
  id[42] = 0x20;
  id[43] = 0x19;

  // Configuration: the owner's name and settings; byte 6 is the mark, not cleared yet.
  static constexpr char kName[] = "MEMPOD";
  std::fill(key.configuration.begin(), key.configuration.end(), 0x00);
  std::copy_n(kName, 6, key.configuration.begin());
  key.configuration[kMarkByte] = 0x00;
  std::fill(key.configuration.begin() + kConfigurationInIdentity, key.configuration.end(), 0xFF);

  place(key.firmwareArea, makeComponent(kFreshFirmware));
  for (const auto& [code, recipe] : kFreshRegions) place(key.regions[code], makeComponent(recipe));
  return key;
}

KeyImage cutOffInBooter(KeyImage key) {
  key.program = KeyProgram::booter;
  std::fill(key.firmwareArea.begin(), key.firmwareArea.end(), 0xFF);
  return key;
}
}  // namespace

std::optional<std::uint16_t> hardwareTypeOfFamily(std::uint8_t family) {
  for (const FamilyKey& f : kFamilyKeys) {
    if (f.family == family) return f.hardwareType;
  }
  return std::nullopt;
}

std::optional<KeyImage> namedKeyState(std::string_view name) {
  if (name == "fresh") return freshKey(kFreshHardwareType);
  if (name == "booter") return cutOffInBooter(freshKey(kFreshHardwareType));
  if (name == "wrong-kind") {
    KeyImage key = cutOffInBooter(freshKey(kFreshHardwareType));
    usb::putLe32(key.identity, 4, kWrongKind);
    return key;
  }
  if (name == "small-packet") {
    KeyImage key = freshKey(kFreshHardwareType);
    key.maxPacketSize = 8;
    return key;
  }
  for (const FamilyKey& f : kFamilyKeys) {
    if (name == "family-" + std::to_string(f.family)) return freshKey(f.hardwareType);
  }
  return std::nullopt;
}

std::vector<std::string> namedKeyStateNames() {
  std::vector<std::string> names{"fresh", "booter", "wrong-kind", "small-packet"};
  for (const FamilyKey& f : kFamilyKeys) names.push_back("family-" + std::to_string(f.family));
  return names;
}

}  // namespace flashwell::emulator
