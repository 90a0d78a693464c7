#include "emulator/named_states.h"

#include <algorithm>
#include <array>
#include <string>

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

  place(key.firmwareArea, makeComponent({.code = '3',
                                         .major = 0x01,
                                         .minor = 0x10,
                                         .patch = 0x00,
                                         .day = 0x15,
                                         .month = 0x03,
                                         .year = 0x19,
                                         .payloadBytes = 0x5000,
                                         .seed = 103}));
  const std::array<std::pair<std::uint16_t, ComponentSpec>, 7> stored{{
      {0x0515,
       {.code = 0x15,
        .booterStyle = true,
        .day = 0x02,
        .month = 0x04,
        .year = 0x19,
        .payloadBytes = 0x2000,
        .seed = 121}},
      {0x0631,
       {.code = '1',
        .major = 0x04,
        .minor = 0x01,
        .patch = 0x00,
        .day = 0x20,
        .month = 0x05,
        .year = 0x19,
        .payloadBytes = 0x6000,
        .seed = 101}},
      {0x0634,
       {.code = '4',
        .major = 0x02,
        .minor = 0x10,
        .patch = 0x20,
        .day = 0x11,
        .month = 0x02,
        .year = 0x19,
        .payloadBytes = 0x3000,
        .seed = 104}},
      {0x0632,
       {.code = '2',
        .major = 0x01,
        .minor = 0x30,
        .day = 0x07,
        .month = 0x01,
        .year = 0x19,
        .payloadBytes = 0x4000,
        .seed = 102}},
      {0x0225,
       {.code = '%',
        .major = 0x01,
        .minor = 0x02,
        .day = 0x28,
        .month = 0x02,
        .year = 0x19,
        .payloadBytes = 0x2800,
        .seed = 137}},
      {0x0635,
       {.code = '5',
        .major = 0x03,
        .minor = 0x00,
        .day = 0x09,
        .month = 0x09,
        .year = 0x19,
        .payloadBytes = 0x3000,
        .seed = 105}},
      {0x0640,
       {.code = 'H',
        .major = 0x01,
        .minor = 0x01,
        .day = 0x30,
        .month = 0x10,
        .year = 0x19,
        .payloadBytes = 0x1800,
        .seed = 172}},
  }};
  for (const auto& [code, recipe] : stored) place(key.regions[code], makeComponent(recipe));
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
