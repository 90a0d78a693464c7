// The key-side version column and the "Key:" marker.

#include "catalogue/catalogue.h"

namespace flashwell::catalogue {

namespace {

// The stored components in the order of the column: LAPSTER4 firmware, LANG, ZUNIT, LAMBDA,
// GPS, Lps4 EXP.
constexpr std::size_t kColumnEntries[6] = {0, 7, 1, 2, 3, 4};

}  // namespace

KeyVersionsColumn Catalogue::showKeyVersions(
    const protocol::KeyIdentity& identity,
    const std::array<protocol::ComponentVersion, 10>& versions, std::uint8_t keyVariant,
    int booterPasses, protocol::ComponentVersion& current) const {
  KeyVersionsColumn out;
  using protocol::UpgradeOption;
  out.marker = keyVariant == protocol::kPassOnWhenNewer ? UpgradeOption::only
               : keyVariant == protocol::kPassOnAlways  ? UpgradeOption::always
                                                        : UpgradeOption::never;
  // The booter notice stands while the key answers from its booter; once a second pass finds
  // the restored firmware running, the column shows that firmware's versions again.
  if (booterPasses != 0 && protocol::programCode(identity) == protocol::kProgramBooter) {
    out.text = "BOOTER\n\n" + lookupText(152);
    return out;
  }
  if (protocol::programCode(identity) != protocol::kProgramFirmware) return out;

  current = protocol::firmwareVersion(identity);
  std::string text;
  appendKeyVersionLine(text, current, nullptr);
  text += "\n";
  for (std::size_t entry : kColumnEntries) appendKeyVersionLine(text, current, &versions[entry]);
  out.text = std::move(text);
  return out;
}

}  // namespace flashwell::catalogue
