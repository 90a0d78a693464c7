#pragma once

// The firmware catalogue of one run of the program: it opens the package, fills the region
// slots, verifies the components, builds both version columns and looks texts up. It owns what
// the program keeps for the whole run (model word, working copy of the region table, language
// number, the ten image version rows); tests make fresh ones.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "catalogue/builtin_tables.h"
#include "catalogue/name_tables.h"
#include "catalogue/package_layout.h"
#include "catalogue/results.h"
#include "catalogue/system_locale.h"
#include "catalogue/text_tables.h"
#include "catalogue/version_format.h"
#include "protocol/key_records.h"
#include "protocol/upgrade_option.h"

namespace flashwell::catalogue {

using RegionSlots = std::array<protocol::RegionSlot, 10>;

inline constexpr std::size_t kImageVersionRows = 10;
inline constexpr std::size_t kShownImageVersionRows = 7;

struct ImageVersionRow {
  std::string name;
  std::string version;
  std::string date;
};

struct OpenPackageResult {
  Result result = Result::invalid;  // ok, invalid or notFound
  std::string caption;              // with ok: text 101 followed by the model name
  std::string imageColumn;          // with ok: the image-side column at opening (rows still empty)
};

struct KeyVersionsColumn {
  // The mode the key's policy mark names: the three markers are cleared and "Key:" written
  // beside this mode's, in every case.
  protocol::UpgradeOption marker = protocol::UpgradeOption::only;
  // The key column's new text; none when the key runs neither its booter nor its firmware, in
  // which case the column keeps its text (the operation's result is false).
  std::optional<std::string> text;
};

// The region that each of the slots 0 to 7 is filled from; slot 1 takes (6, 'B') instead when
// the model is 18.
struct SlotLookup {
  std::uint16_t group;
  std::uint16_t code;
};
inline constexpr SlotLookup kSlotLookups[8] = {
    {6, '3'}, {6, '1'}, {6, '4'}, {6, '2'}, {2, '%'}, {6, '5'}, {5, 21}, {6, 'H'},
};
inline constexpr SlotLookup kVariantSlot1{6, 'B'};

// The component codes that the image-side version column lists.
bool isDisplayableCode(std::uint16_t code);

class Catalogue {
 public:
  // `package` is the program's writable copy of the firmware package; it must outlive this
  // object. The catalogue only reads it; the region writer sets policy marks in it.
  Catalogue(std::span<std::uint8_t> package, BuiltinTables tables);

  std::span<std::uint8_t> package() const { return package_; }

  // Stores the model word, copies the region table, checks the model and gives the caption and
  // the first image column. Results ok, invalid (model neither 13 nor 18) and notFound (model
  // without a name). On a result other than ok the caller clears the model word.
  OpenPackageResult openPackage();
  std::uint16_t modelWord() const { return modelWord_; }
  void clearModelWord() { modelWord_ = 0; }

  // Looks (group, code) up in the working copy of the region table, copies the record into
  // regions[slot] and checks it: length at most 0x1C000, the region inside the image, and its
  // header's code byte (for group 5 also byte 0x0B = 2). False for a slot outside the ten.
  bool findRegion(std::uint16_t group, std::uint16_t code, std::uint8_t slot,
                  RegionSlots& regions) const;
  // The eight look-ups of slots 0 to 7, all made even after a failure; true when all succeed.
  bool assignRegionSlots(RegionSlots& regions) const;

  // ok when the payload sum of the component at `imageOffset` matches its checksum, badChecksum
  // when it does not or when its word count reaches past `length` - 16 or past the image.
  Result checkComponentSum(std::uint32_t imageOffset, std::uint32_t length) const;

  // Verifies every displayable component in table order and fills the rows (at most ten; later
  // components are verified but not listed). ok, invalid or badChecksum.
  Result buildImageVersionRows();
  const std::array<ImageVersionRow, kImageVersionRows>& imageVersionRows() const { return rows_; }
  // The text of the image-side column (static 1105): rows 0 to 6.
  std::string showImageVersions() const;

  // The key-side column and the marker. `current` is the dialog's current-entry record.
  KeyVersionsColumn showKeyVersions(const protocol::KeyIdentity& identity,
                                    const std::array<protocol::ComponentVersion, 10>& versions,
                                    std::uint8_t keyVariant, int booterPasses,
                                    protocol::ComponentVersion& current) const;

  // The language number of the system's default locale, 0 when the locale has no row.
  std::uint16_t selectLanguage(SystemLocale& locale) const;
  // The language choice of the display reset: when no language is chosen yet, the system's;
  // anything but Italian, German, Spanish, French or Dutch becomes English.
  void chooseLanguage(SystemLocale& locale);
  std::uint16_t languageNumber() const { return languageNumber_; }
  void setLanguageNumber(std::uint16_t number) { languageNumber_ = number; }

  // Windows-1252 text of the current language; "NO STRING" for an unknown id.
  std::string lookupText(std::uint16_t id) const;

  const BuiltinTables& tables() const { return tables_; }

 private:
  std::span<const std::uint8_t> image() const;
  std::uint16_t modelCode() const;

  std::span<std::uint8_t> package_;
  BuiltinTables tables_;
  std::uint16_t modelWord_ = 0;
  std::array<std::uint8_t, kRegionTableSize> regionTable_{};
  std::uint16_t languageNumber_ = 0;
  std::array<ImageVersionRow, kImageVersionRows> rows_{};
};

}  // namespace flashwell::catalogue
