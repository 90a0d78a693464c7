// The catalogue over arbitrary package bytes: opening, slot assignment, checksums, both version
// columns, texts and the searched tables. Inputs either are a whole package of their own or
// patch bytes of the embedded one where the catalogue looks (header, region table, component
// headers), so that the deep paths are reached as well.

#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "catalogue/catalogue.h"
#include "catalogue/embedded_package.h"

namespace {

using namespace flashwell;
using namespace flashwell::catalogue;

// The embedded package, patched for one input and restored afterwards (a fresh megabyte per
// input would cost most of the time).
class PatchedPackage {
 public:
  PatchedPackage() {
    const auto embedded = embeddedPackage();
    bytes_.assign(embedded.begin(), embedded.end());
  }

  std::span<std::uint8_t> patch(FuzzedDataProvider& in) {
    auto& p = bytes_;
    const int patches = in.ConsumeIntegralInRange(0, 32);
    for (int i = 0; i < patches && in.remaining_bytes() > 0; ++i) {
      std::size_t at = 0;
      switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:  // header and region table
          at = kHeaderOffset + in.ConsumeIntegralInRange<std::size_t>(0, 0x1FF);
          break;
        case 1: {  // near the start of a region
          const std::size_t record = in.ConsumeIntegralInRange<std::size_t>(0, 9);
          const std::uint32_t offset = usb::le32(p, kRegionTableOffset + record * 24 + 4);
          at = kFlashImageOffset + offset + in.ConsumeIntegralInRange<std::size_t>(0, 0x40);
          break;
        }
        case 2:  // model identifiers and text tables
          at = kModelIdsOffset + in.ConsumeIntegralInRange<std::size_t>(0, p.size() - 1);
          break;
        default:
          at = in.ConsumeIntegral<std::uint32_t>();
      }
      at %= p.size();
      saved_.push_back({at, p[at]});
      p[at] = in.ConsumeIntegral<std::uint8_t>();
    }
    std::span<std::uint8_t> out = p;
    if (in.ConsumeBool()) out = out.first(in.ConsumeIntegralInRange<std::size_t>(0, p.size()));
    return out;
  }

  void restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) bytes_[it->first] = it->second;
    saved_.clear();
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::vector<std::pair<std::size_t, std::uint8_t>> saved_;
};

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

  static PatchedPackage patched;
  std::vector<std::uint8_t> own;
  std::span<std::uint8_t> package;
  if (patch) {
    package = patched.patch(in);
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
