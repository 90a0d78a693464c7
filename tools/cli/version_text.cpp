// --version: the program's version, the version of the MEMPOD firmware in its package and the
// package's SHA-256, which `flashwell-pack export` and `inspect` print too.

#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "package_digest.h"
#include "program_version.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {

namespace {

// The key firmware's version and date from its component header, as the tool's column shows
// them; empty when the package does not hold a readable one.
std::string packagedKeyFirmware() {
  const auto embedded = catalogue::embeddedPackage();
  std::vector<std::uint8_t> package(embedded.begin(), embedded.end());
  catalogue::Catalogue catalogue(package, catalogue::embeddedTables());
  if (catalogue.openPackage().result != catalogue::Result::ok) return {};
  catalogue::RegionSlots slots{};
  const catalogue::SlotLookup firmware = catalogue::kSlotLookups[0];
  if (!catalogue.findRegion(firmware.group, firmware.code, 0, slots)) return {};
  const std::size_t at = protocol::kFlashImageOffset + slots[0].imageOffset();
  if (!usb::fits(package, at, catalogue::kVersionPatch + 1)) return {};
  const std::uint8_t* h = package.data() + at;
  const std::uint8_t patch = h[catalogue::kVersionPatch];
  const std::string version =
      patch == 0x00 || patch == 0x20
          ? catalogue::formatTwoPartVersion(h[catalogue::kVersionMajor],
                                            h[catalogue::kVersionMinor])
          : catalogue::formatImageThreePartVersion(h[catalogue::kVersionMajor],
                                                   h[catalogue::kVersionMinor], patch);
  const std::uint8_t* date = h + catalogue::kReleaseDate;
  std::string text = version;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text + " of " + catalogue::formatDate(date[3], date[1], date[0]);
}

}  // namespace

std::string versionText() {
  const std::string firmware = packagedKeyFirmware();
  return std::string("flashwell-cli ") + kProgramVersion +
         "\nMEMPOD firmware in the package: " + (firmware.empty() ? "none readable" : firmware) +
         "\n\nSHA-256 of the package: " + kPackageDigest;
}

}  // namespace flashwell::cli
