#include <gtest/gtest.h>

#include <map>
#include <set>

#include "catalogue/catalogue.h"
#include "tests/support/test_packages.h"

namespace flashwell::catalogue {
namespace {

std::vector<std::uint8_t> embeddedCopy(std::uint8_t model = kModelStandard) {
  std::vector<std::uint8_t> p = support::embeddedPackageCopy();
  p[kHeaderOffset] = model;
  return p;
}

struct LocaleCase {
  std::uint32_t lcid;
  std::uint16_t selected;  // what the locale table gives
  std::uint16_t chosen;    // what the display reset keeps
  const char* exitText;    // text 102
};

class Languages : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(Languages, FollowTheSystemLocale) {
  const LocaleCase& c = GetParam();
  auto p = embeddedCopy();
  Catalogue cat(p, embeddedTables());
  FixedSystemLocale locale(c.lcid);
  EXPECT_EQ(cat.selectLanguage(locale), c.selected);
  cat.chooseLanguage(locale);
  EXPECT_EQ(cat.languageNumber(), c.chosen);
  EXPECT_EQ(cat.lookupText(102), c.exitText);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, Languages,
    ::testing::Values(LocaleCase{0x0C0A, 4, 4, "TERMINA"},
                      LocaleCase{0x0403, 4, 4, "TERMINA"},  // Catalan reads Spanish
                      LocaleCase{0x0409, 0, 1, "E X I T"}, LocaleCase{0x0411, 22, 1, "E X I T"},
                      LocaleCase{0x0410, 2, 2, "T E R M I N A"},
                      LocaleCase{0x1407, 3, 3, "BEENDEN"}, LocaleCase{0x0C0C, 5, 5, "TERMINER"},
                      LocaleCase{0x0813, 7, 7, "SLUITEN"},
                      LocaleCase{0x00010407, 3, 3, "BEENDEN"},  // only the low 16 bits count
                      LocaleCase{0xFFFF, 0, 1, "E X I T"}));

TEST(Languages, AChosenLanguageIsKeptAndUnknownNumbersReadEnglish) {
  auto p = embeddedCopy();
  Catalogue cat(p, embeddedTables());
  cat.setLanguageNumber(5);
  FixedSystemLocale german(0x0407);
  cat.chooseLanguage(german);
  EXPECT_EQ(cat.languageNumber(), 5);
  for (std::uint16_t n : {0, 1, 6, 8, 0xFFFF}) {
    cat.setLanguageNumber(n);
    EXPECT_EQ(cat.lookupText(102), "E X I T") << n;
  }
  cat.setLanguageNumber(22);  // the seventh table: English with GPS before LAMBDA
  EXPECT_EQ(cat.lookupText(184),
            " The MEMPOD doesn' t update the Firmware of LAPSTER4\n ZUNIT GPS LAMBDA.");
  cat.setLanguageNumber(1);
  EXPECT_EQ(cat.lookupText(184),
            " The MEMPOD doesn' t update the Firmware of LAPSTER4\n ZUNIT LAMBDA GPS.");
}

// Every row of the built-in locale table reads the language of its LCID's primary language
// (its low ten bits); Catalan reads Spanish, and no English locale has a row.
TEST(Languages, EveryLocaleRowReadsThePrimaryLanguageOfItsLcid) {
  const auto table = embeddedTables().locales;
  const std::map<std::uint16_t, std::uint16_t> byPrimary = {
      {0x10, 2}, {0x07, 3}, {0x0A, 4}, {0x03, 4}, {0x0C, 5}, {0x13, 7}, {0x11, 22}};
  std::set<std::uint16_t> lcids;
  std::map<std::uint16_t, std::size_t> rowsPerLanguage;
  for (std::size_t at = 0; usb::le16(table, at + 2) != 0xFFFF; at += kLocaleRecordSize) {
    ASSERT_TRUE(usb::fits(table, at, kLocaleRecordSize));
    const std::uint16_t lcid = usb::le16(table, at + 2), language = usb::le16(table, at);
    const auto primary = byPrimary.find(lcid & 0x3FF);
    ASSERT_NE(primary, byPrimary.end()) << std::hex << lcid;
    EXPECT_EQ(language, primary->second) << std::hex << lcid;
    EXPECT_TRUE(lcids.insert(lcid).second) << "a second row for " << std::hex << lcid;
    ++rowsPerLanguage[language];
  }
  EXPECT_EQ(lcids.size(), 37u);
  const std::map<std::uint16_t, std::size_t> expected = {{2, 2}, {3, 5}, {4, 21},
                                                         {5, 6}, {7, 2}, {22, 1}};
  EXPECT_EQ(rowsPerLanguage, expected);
}

TEST(Languages, LocaleTableScanStopsAtItsEndAndItsBounds) {
  auto p = embeddedCopy();
  // A table of 200 records without an end: record 200 is never read.
  std::vector<std::uint8_t> table(201 * kLocaleRecordSize, 0);
  for (std::size_t i = 0; i < 201; ++i) {
    usb::putLe16(table, i * kLocaleRecordSize, 9);
    usb::putLe16(table, i * kLocaleRecordSize + 2, static_cast<std::uint16_t>(0x100 + i));
  }
  EXPECT_EQ(languageOfLcid(table, 0x100 + 199), 9);
  EXPECT_EQ(languageOfLcid(table, 0x100 + 200), 0);
  // A table cut inside a record.
  EXPECT_EQ(languageOfLcid(std::span(table).first(kLocaleRecordSize + 3), 0x101), 0);
  EXPECT_EQ(languageOfLcid({}, 0x101), 0);
}

TEST(Texts, UnknownIdsGiveNoString) {
  auto p = embeddedCopy();
  Catalogue cat(p, embeddedTables());
  for (std::uint16_t id : {0, 100, 104, 153, 189, 0xFFFF}) {
    EXPECT_EQ(cat.lookupText(id), "NO STRING") << id;
  }
  EXPECT_EQ(cat.lookupText(101), "UPDATE for  ");
  EXPECT_EQ(cat.lookupText(107), "\n\nMEMPOD\n\nLAPSTER4\nLANG\nZUNIT\nLAMBDA\nGPS\nLps4 EXP");
  cat.setLanguageNumber(3);
  EXPECT_EQ(cat.lookupText(120),
            "Die Datei ist besch\xE4"
            "digt! klick BEENDEN");
}

TEST(Texts, RecordsWithoutTheirZeroByteOrPastThePackageGiveNoString) {
  auto p = embeddedCopy();
  const std::size_t first = kTextTablesOffset + 2;  // text 101 of English
  std::fill_n(p.begin() + first, kTextFieldSize, 'A');
  Catalogue cat(p, embeddedTables());
  EXPECT_EQ(cat.lookupText(101), "NO STRING");

  // The last table without its end record reaches the end of the package.
  auto q = embeddedCopy();
  const std::size_t last = kTextTablesOffset + 6 * kTextTableStride;
  usb::putLe16(q, last + kTextsPerTable * kTextRecordSize, 1);
  Catalogue cut(q, embeddedTables());
  cut.setLanguageNumber(22);
  EXPECT_EQ(cut.lookupText(188), " The DATA on your KEY will be ERASED!\n Do you agree ?");
  EXPECT_EQ(cut.lookupText(999), "NO STRING");

  std::vector<std::uint8_t> tiny(kTextTablesOffset + 100, 0);
  Catalogue small(tiny, embeddedTables());
  EXPECT_EQ(small.lookupText(101), "NO STRING");
}

TEST(Texts, TheVariantModelNamesItselfInEveryText) {
  auto p = embeddedCopy(kModelVariant);
  Catalogue cat(p, embeddedTables());
  EXPECT_EQ(cat.lookupText(160), "Copying Firmware for LPS4_660 ");
  EXPECT_EQ(cat.lookupText(137),
            "Congratulations!\nThe MEMPOD has been updated.\nFurther, your MEMPOD contains\n"
            "the LPS4_660 Firmware update.\nSimply connect the MEMPOD to your LPS4_660\n"
            "to apply the update.\nENJOY  LPS4_660");
  cat.setLanguageNumber(7);
  EXPECT_EQ(cat.lookupText(172),
            "Firmware voor LPS4_660, TAAL, ZUNIT, LAMBDA en GPS wordt verwijderd");

  auto standard = embeddedCopy(kModelStandard);
  Catalogue plain(standard, embeddedTables());
  EXPECT_EQ(plain.lookupText(160), "Copying Firmware for LAPSTER4 ");
}

TEST(Texts, TheReplacementWalkSkipsTheCharacterAfterEachReplacement) {
  auto p = embeddedCopy(kModelVariant);
  const std::size_t field = kTextTablesOffset + 2;
  auto setText = [&](const std::string& t) {
    std::fill_n(p.begin() + field, kTextFieldSize, 0);
    std::copy(t.begin(), t.end(), p.begin() + field);
  };
  Catalogue cat(p, embeddedTables());
  setText("LAPSTER4LAPSTER4");
  EXPECT_EQ(cat.lookupText(101), "LPS4_660LAPSTER4") << "the second starts at the skipped place";
  setText("LAPSTER4 LAPSTER4");
  EXPECT_EQ(cat.lookupText(101), "LPS4_660 LPS4_660");
  setText("LAPSTER");
  EXPECT_EQ(cat.lookupText(101), "LAPSTER");

  // Other identifiers come from the package.
  const std::string to = "MODEL_XY";
  std::copy(to.begin(), to.end(), p.begin() + kModelIdsOffset + kModelIdSize);
  setText("for LAPSTER4!");
  EXPECT_EQ(cat.lookupText(101), "for MODEL_XY!");

  // A text that fills its field up to the last byte before the zero.
  std::string longest(kTextFieldSize - kModelIdLength - 1, '.');
  longest += "LAPSTER4";
  setText(longest);
  EXPECT_EQ(cat.lookupText(101), std::string(kTextFieldSize - 9, '.') + "MODEL_XY");
}

// Name tables.
std::vector<std::uint8_t> nameTable(const std::vector<std::pair<std::uint16_t, std::string>>& e) {
  std::vector<std::uint8_t> t(e.size() * kTextRecordSize, 0);
  for (std::size_t i = 0; i < e.size(); ++i) {
    usb::putLe16(t, i * kTextRecordSize, e[i].first);
    std::copy(e[i].second.begin(), e[i].second.end(), t.begin() + i * kTextRecordSize + 2);
  }
  return t;
}

TEST(NamedEntries, FirstMatchEndEntryAndTheHundredEntryLimit) {
  std::string name = "before";
  EXPECT_EQ(lookupNamedEntry(nameTable({{0xFFFF, "x"}, {13, "A"}}), 13, name), Result::notFound);
  EXPECT_EQ(name, " ");

  name = "before";
  EXPECT_EQ(lookupNamedEntry(nameTable({{5, "first"}, {5, "second"}, {0xFFFF, ""}}), 5, name),
            Result::ok);
  EXPECT_EQ(name, "first");

  std::vector<std::pair<std::uint16_t, std::string>> many(100, {1, "one"});
  many.push_back({7, "hundred and first"});
  name = "kept";
  EXPECT_EQ(lookupNamedEntry(nameTable(many), 7, name), Result::notFound);
  EXPECT_EQ(name, "kept");
  many[99] = {7, "hundredth"};
  EXPECT_EQ(lookupNamedEntry(nameTable(many), 7, name), Result::ok);
  EXPECT_EQ(name, "hundredth");

  // A table cut short, and a name without its zero byte.
  auto cut = nameTable({{1, "one"}, {2, "two"}});
  name = "kept";
  EXPECT_EQ(lookupNamedEntry(std::span(cut).first(kTextRecordSize + 10), 2, name),
            Result::notFound);
  EXPECT_EQ(name, "kept");
  auto full = nameTable({{3, std::string(kTextFieldSize, 'n')}, {0xFFFF, ""}});
  EXPECT_EQ(lookupNamedEntry(full, 3, name), Result::notFound);
  EXPECT_EQ(name, "kept");
}

TEST(NamedEntries, TheBuiltInTablesNameEveryModelAndDisplayableCode) {
  const auto tables = embeddedTables();
  std::string name;
  EXPECT_EQ(lookupNamedEntry(tables.modelNames, 13, name), Result::ok);
  EXPECT_EQ(name, "LAPSTER4");
  EXPECT_EQ(lookupNamedEntry(tables.modelNames, 18, name), Result::ok);
  EXPECT_EQ(name, "LPS4_660");
  EXPECT_EQ(lookupNamedEntry(tables.modelNames, 14, name), Result::notFound);
  for (std::uint16_t code : {0x33, 0x31, 0x42, 0x34, 0x32, 0x25, 0x35, 0x40, 0x48}) {
    EXPECT_EQ(lookupNamedEntry(tables.componentNames, code, name), Result::ok) << code;
  }
  EXPECT_EQ(lookupNamedEntry(tables.componentNames, '3', name), Result::ok);
  EXPECT_EQ(name, "MEMPOD firmware") << "the first of its two entries";
}

}  // namespace
}  // namespace flashwell::catalogue
