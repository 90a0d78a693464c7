#include "catalogue/catalogue.h"

#include <algorithm>

#include "catalogue/program_texts.h"

namespace flashwell::catalogue {

Catalogue::Catalogue(std::span<std::uint8_t> package, BuiltinTables tables)
    : package_(package), tables_(tables) {
  regionTable_.fill(0xFF);
}

std::span<const std::uint8_t> Catalogue::image() const {
  std::span<const std::uint8_t> p = package_;
  if (p.size() <= kFlashImageOffset) return {};
  return p.subspan(kFlashImageOffset, std::min(kFlashImageSize, p.size() - kFlashImageOffset));
}

std::uint16_t Catalogue::modelCode() const {
  return package_.size() > kHeaderOffset ? package_[kHeaderOffset] : 0;
}

OpenPackageResult Catalogue::openPackage() {
  modelWord_ = modelCode();
  regionTable_.fill(0xFF);
  if (package_.size() > kRegionTableOffset) {
    const std::size_t n = std::min(kRegionTableSize, package_.size() - kRegionTableOffset);
    std::copy_n(package_.begin() + kRegionTableOffset, n, regionTable_.begin());
  }

  OpenPackageResult out;
  if (modelWord_ != kModelStandard && modelWord_ != kModelVariant) {
    out.result = kResultInvalid;
    return out;
  }
  std::string modelName;
  if (lookupNamedEntry(tables_.modelNames, modelWord_, modelName) != kResultOk) {
    out.result = kResultNotFound;
    return out;
  }
  out.caption = lookupText(101) + modelName;
  out.imageColumn = showImageVersions();
  out.result = kResultOk;
  return out;
}

std::uint16_t Catalogue::selectLanguage(SystemLocale& locale) const {
  return languageOfLcid(tables_.locales, locale.defaultLcid());
}

void Catalogue::chooseLanguage(SystemLocale& locale) {
  if (languageNumber_ == 0) languageNumber_ = chosenLanguage(tables_.locales, locale.defaultLcid());
}

std::string Catalogue::lookupText(std::uint16_t id) const {
  return lookupTextIn(package_, languageNumber_, id);
}

}  // namespace flashwell::catalogue
