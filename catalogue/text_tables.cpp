#include "catalogue/text_tables.h"

#include <array>
#include <cstring>

#include "catalogue/package_layout.h"
#include "usb/bytes.h"

namespace flashwell::catalogue {

std::size_t textTableIndex(std::uint16_t languageNumber) {
  switch (languageNumber) {
    case kLanguageItalian:
      return 1;
    case kLanguageGerman:
      return 2;
    case kLanguageFrench:
      return 3;
    case kLanguageSpanish:
      return 4;
    case kLanguageDutch:
      return 5;
    case kLanguageJapanese:
      return 6;
    default:
      return 0;
  }
}

std::uint16_t languageOfLcid(std::span<const std::uint8_t> localeTable, std::uint32_t lcid) {
  const auto wanted = static_cast<std::uint16_t>(lcid & 0xFFFF);
  for (std::size_t i = 0; i < kMaxLocaleScan; ++i) {
    const std::size_t at = i * kLocaleRecordSize;
    if (!usb::fits(localeTable, at, kLocaleRecordSize)) return 0;
    const std::uint16_t recordLcid = usb::le16(localeTable, at + 2);
    if (recordLcid == kEndId) return 0;
    if (recordLcid == wanted) return usb::le16(localeTable, at);
  }
  return 0;
}

namespace {

// Replaces every occurrence of the first model identifier by the second, walking the text
// position by position; after a replacement the walk goes on nine positions further, so the
// character after the replaced eight is not examined.
void replaceModelIds(std::array<std::uint8_t, kTextFieldSize>& field, std::size_t length,
                     std::span<const std::uint8_t> from, std::span<const std::uint8_t> to) {
  std::size_t p = 0;
  while (p < length) {
    if (p + kModelIdLength <= field.size() &&
        std::memcmp(field.data() + p, from.data(), kModelIdLength) == 0) {
      std::memcpy(field.data() + p, to.data(), kModelIdLength);
      p += kModelIdLength + 1;
    } else {
      ++p;
    }
  }
}

}  // namespace

std::string lookupTextIn(std::span<const std::uint8_t> package, std::uint16_t languageNumber,
                         std::uint16_t id) {
  const std::size_t table = kTextTablesOffset + textTableIndex(languageNumber) * kTextTableStride;
  for (std::size_t i = 0; i < kMaxTextScan; ++i) {
    const std::size_t at = table + i * kTextRecordSize;
    if (!usb::fits(package, at, kTextRecordSize)) return kNoString;
    const std::uint16_t recordId = usb::le16(package, at);
    if (recordId == kEndId) return kNoString;
    if (recordId != id) continue;

    std::array<std::uint8_t, kTextFieldSize> field{};
    std::memcpy(field.data(), package.data() + at + 2, kTextFieldSize);
    const void* zero = std::memchr(field.data(), 0, field.size());
    if (!zero) return kNoString;
    const auto length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - field.data());
    if (package.size() > kHeaderOffset && package[kHeaderOffset] == kModelVariant &&
        usb::fits(package, kModelIdsOffset, 2 * kModelIdSize)) {
      replaceModelIds(field, length, package.subspan(kModelIdsOffset, kModelIdLength),
                      package.subspan(kModelIdsOffset + kModelIdSize, kModelIdLength));
    }
    const void* end = std::memchr(field.data(), 0, field.size());
    const auto n =
        end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - field.data())
            : field.size();
    return std::string(reinterpret_cast<const char*>(field.data()), n);
  }
  return kNoString;
}

}  // namespace flashwell::catalogue
