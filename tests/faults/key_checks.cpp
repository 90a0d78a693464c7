#include "tests/faults/key_checks.h"

#include <algorithm>

#include <sstream>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "protocol/component_table.h"
#include "protocol/key_records.h"

namespace flashwell::faults {

namespace {
constexpr std::size_t kMarkByte = 6;

std::string region(std::uint16_t code) {
  std::ostringstream s;
  s << "region 0x" << std::hex << code;
  return s.str();
}

bool blank(std::span<const std::uint8_t> bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}
}  // namespace

RegionSlots packageSlots() {
  const std::span<const std::uint8_t> embedded = catalogue::embeddedPackage();
  std::vector<std::uint8_t> copy(embedded.begin(), embedded.end());
  catalogue::Catalogue cat(copy, catalogue::embeddedTables());
  RegionSlots slots{};
  if (cat.openPackage().result == catalogue::Result::ok) cat.assignRegionSlots(slots);
  return slots;
}

::testing::AssertionResult holdsPackage(const emulator::VirtualKey& key, const RegionSlots& slots,
                                        protocol::UpgradeOption option) {
  using enum protocol::UpgradeOption;
  // The package as the program carries it: the run's own copy has the pass-on marks of an
  // "Always" run in it, which only the header of each component is sent with.
  const std::span<const std::uint8_t> package = catalogue::embeddedPackage();
  auto slot = [&](std::size_t index, std::size_t length) {
    const std::size_t at = protocol::kFlashImageOffset + slots[index].imageOffset();
    return at + length <= package.size() ? package.subspan(at, length)
                                         : std::span<const std::uint8_t>{};
  };

  const auto firmware = slot(0, protocol::kMaxFirmwareLength);
  if (firmware.empty()) return ::testing::AssertionFailure() << "slot 0 lies outside the package";
  const auto area = key.firmwareArea();
  if (option != never && !std::ranges::equal(area, firmware)) {
    std::size_t first = 0;
    while (first < area.size() && area[first] == firmware[first]) ++first;
    return ::testing::AssertionFailure()
           << "firmware area differs from slot 0 first at byte " << first;
  }
  if (key.program() != emulator::KeyProgram::firmware) {
    return ::testing::AssertionFailure() << "the key does not run its firmware";
  }
  if (key.configuration()[kMarkByte] != 0xFF) {
    return ::testing::AssertionFailure() << "the mark byte was not cleared";
  }

  for (const protocol::ComponentRow& row : protocol::kComponentTable) {
    const auto stored = key.region(row.regionCode);
    if (stored.size() < row.byteCount) {
      return ::testing::AssertionFailure() << region(row.regionCode) << " too small";
    }
    std::vector<std::uint8_t> expected(row.byteCount, 0xFF);
    if (option != never) {
      const auto sent = slot(row.slot, row.byteCount);
      expected.assign(sent.begin(), sent.end());
      if (option == always && !expected.empty())
        expected[protocol::kPolicyMark] = protocol::kPassOnAlways;
    }
    if (!std::equal(expected.begin(), expected.end(), stored.begin())) {
      return ::testing::AssertionFailure() << region(row.regionCode) << " differs from the package";
    }
    if (!blank(stored.subspan(row.byteCount))) {
      return ::testing::AssertionFailure()
             << region(row.regionCode) << " holds bytes after the component";
    }
  }

  const protocol::KeyIdentity id = key.identityAnswer();
  if (protocol::programCode(id) != protocol::kProgramFirmware) {
    return ::testing::AssertionFailure() << "the identity is not the firmware's";
  }
  if (option == never) return ::testing::AssertionSuccess();
  // The identity carries the firmware header's date (bytes 0x0C-0x0F) and version (0x1E-0x1F).
  const bool date = std::equal(id.begin() + 20, id.begin() + 24, firmware.begin() + 0x0C);
  if (!date || id[26] != firmware[0x1E] || id[27] != firmware[0x1F]) {
    return ::testing::AssertionFailure() << "the identity does not carry the new version";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace flashwell::faults
