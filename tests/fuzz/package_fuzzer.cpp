// The catalogue over arbitrary package bytes: opening, slot assignment, checksums, both version
// columns, texts and the searched tables. Inputs either are a whole package of their own or
// patch bytes of the embedded one where the catalogue looks (header, region table, component
// headers), so that the deep paths are reached as well.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"
#include "tests/fuzz/patched_bytes.h"

namespace {

using namespace flashwell;
using namespace flashwell::catalogue;

// Where a patch goes: the header and region table, near the start of a region, the model
// identifiers and text tables, or anywhere.
std::size_t patchPlace(FuzzedDataProvider& in, std::span<const std::uint8_t> p) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kHeaderOffset + in.ConsumeIntegralInRange<std::size_t>(0, 0x1FF);
    case 1: {
      const std::size_t record = in.ConsumeIntegralInRange<std::size_t>(0, 9);
      const std::uint32_t offset = usb::le32(p, kRegionTableOffset + record * 24 + 4);
      return kFlashImageOffset + offset + in.ConsumeIntegralInRange<std::size_t>(0, 0x40);
    }
    case 2:
      return kModelIdsOffset + in.ConsumeIntegralInRange<std::size_t>(0, p.size() - 1);
    default:
      return in.ConsumeIntegral<std::uint32_t>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool patch = in.ConsumeBool();
  const auto language = in.ConsumeIntegral<std::uint16_t>();
  const auto lcid = in.ConsumeIntegral<std::uint32_t>();
  const auto keyVariant = in.ConsumeIntegral<std::uint8_t>();
  const auto booterPasses = in.ConsumeIntegralInRange(0, 2);
  const auto group = in.ConsumeIntegral<std::uint16_t>();
  const auto code = in.ConsumeIntegral<std::uint16_t>();
  const auto slot = in.ConsumeIntegral<std::uint8_t>();
  const auto sumOffset = in.ConsumeIntegral<std::uint32_t>();
  const auto sumLength = in.ConsumeIntegral<std::uint32_t>();
  protocol::KeyIdentity identity{};
  for (auto& b : identity) b = in.ConsumeIntegral<std::uint8_t>();
  if (in.ConsumeBool()) usb::putLe16(identity, 28, protocol::kProgramFirmware);
  std::array<protocol::ComponentVersion, 10> versions{};
  for (auto& v : versions) {
    v = {in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>(),
         in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>(),
         in.ConsumeIntegral<std::uint8_t>(), in.ConsumeIntegral<std::uint8_t>(),
         in.ConsumeIntegral<std::uint8_t>()};
  }
  const auto table = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 1024));

  static fuzzing::PatchedBytes patched({embeddedPackage().begin(), embeddedPackage().end()});
  std::vector<std::uint8_t> own;
  std::span<std::uint8_t> package;
  if (patch) {
    package = patched.patch(in, 32, patchPlace);
  } else {
    own = in.ConsumeRemainingBytes<std::uint8_t>();
    package = own;
  }

  // Either the built-in tables or fuzzed ones.
  BuiltinTables tables = embeddedTables();
  if (!patch) tables = {table, table, table};

  Catalogue cat(package, tables);
  FixedSystemLocale locale(lcid);
  cat.setLanguageNumber(language);
  if (language % 2 == 0) {
    cat.setLanguageNumber(0);
    cat.chooseLanguage(locale);
  }
  const auto opened = cat.openPackage();
  RegionSlots slots{};
  cat.assignRegionSlots(slots);
  cat.findRegion(group, code, slot, slots);
  cat.checkComponentSum(sumOffset, sumLength);
  cat.buildImageVersionRows();
  const auto column = cat.showImageVersions();
  protocol::ComponentVersion current{};
  const auto key = cat.showKeyVersions(identity, versions, keyVariant, booterPasses, current);
  for (std::uint16_t id : {101, 107, 137, 160, 188, 0xFFFF}) (void)cat.lookupText(id);
  (void)cat.lookupText(code);

  std::string name;
  lookupNamedEntry(table, code, name);
  languageOfLcid(table, lcid);
  (void)opened;
  (void)column;
  (void)key;
  if (patch) patched.restore();
  return 0;
}
