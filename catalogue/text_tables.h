#pragma once

// The text tables of the package and the locale table.

#include <cstdint>
#include <span>
#include <string>

namespace flashwell::catalogue {

inline constexpr char kNoString[] = "NO STRING";

// Language numbers that have a table of their own; every other number reads English.
inline constexpr std::uint16_t kLanguageEnglish = 1;
inline constexpr std::uint16_t kLanguageItalian = 2;
inline constexpr std::uint16_t kLanguageGerman = 3;
inline constexpr std::uint16_t kLanguageSpanish = 4;
inline constexpr std::uint16_t kLanguageFrench = 5;
inline constexpr std::uint16_t kLanguageDutch = 7;
inline constexpr std::uint16_t kLanguageJapanese = 22;

// Index 0 to 6 of the package's text table that a language number reads.
std::size_t textTableIndex(std::uint16_t languageNumber);

// The language number of an LCID (its low 16 bits) in a locale table, or 0 when the table has
// no row for it (end record, 200 records scanned, or a record that does not fit).
std::uint16_t languageOfLcid(std::span<const std::uint8_t> localeTable, std::uint32_t lcid);

// The text `id` of the given language in the package, Windows-1252; "NO STRING" when the id is
// not in the table, or when its record would reach outside the package or has no zero byte.
// When the package's model code is 18 every "LAPSTER4" (the package's first model identifier)
// is replaced by the second.
std::string lookupTextIn(std::span<const std::uint8_t> package, std::uint16_t languageNumber,
                         std::uint16_t id);

}  // namespace flashwell::catalogue
