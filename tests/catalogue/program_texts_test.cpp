// The program's own texts beside the package's: the same language for every locale, every text
// in all six languages, with the same values to fill in, and storable in Windows-1252.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "catalogue/catalogue.h"
#include "catalogue/cp1252.h"
#include "catalogue/program_texts.h"
#include "tests/support/test_packages.h"

namespace flashwell::catalogue {
namespace {

// The placeholders a text holds: "%1", "%2", ...
std::multiset<std::string> placeholders(std::string_view text) {
  std::multiset<std::string> found;
  for (std::size_t at = text.find('%'); at != std::string_view::npos && at + 1 < text.size();
       at = text.find('%', at + 1)) {
    if (text[at + 1] >= '1' && text[at + 1] <= '9') found.insert(std::string(text.substr(at, 2)));
  }
  return found;
}

struct LanguageCase {
  std::uint32_t lcid;
  const char* code;  // the language's ISO code, which names Qt's translations
  const char* yes;   // the program's "Yes" in it
};

class ProgramTexts : public ::testing::TestWithParam<LanguageCase> {};

TEST_P(ProgramTexts, FollowThePackagesLanguageAndHoldEveryText) {
  const LanguageCase& c = GetParam();
  std::vector<std::uint8_t> package = support::embeddedPackageCopy();
  Catalogue catalogue(package, embeddedTables());
  FixedSystemLocale locale(c.lcid);
  catalogue.chooseLanguage(locale);
  const std::uint16_t language = chosenLanguage(embeddedTables().locales, c.lcid);
  EXPECT_EQ(language, catalogue.languageNumber());
  EXPECT_EQ(languageCode(language), c.code);
  EXPECT_EQ(programText(ProgramText::yes, language), c.yes);

  for (std::size_t i = 0; i < kProgramTextCount; ++i) {
    const auto id = static_cast<ProgramText>(i);
    const std::string_view text = programText(id, language);
    const std::string_view english = programText(id, kLanguageEnglish);
    SCOPED_TRACE("text " + std::to_string(i) + ": " + std::string(text));
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text, kNoString);
    // Every value the English text takes has its place in the translation, once.
    EXPECT_EQ(placeholders(text), placeholders(english));
    // The Windows program shows them through the package's code page.
    EXPECT_TRUE(utf8ToCp1252(text).has_value());
    EXPECT_EQ(text.find_first_of("\t\r"), std::string_view::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Locales, ProgramTexts,
    ::testing::Values(LanguageCase{0x0409, "en", "Yes"}, LanguageCase{0x0410, "it", "S\u00ec"},
                      LanguageCase{0x0807, "de", "Ja"}, LanguageCase{0x0C0C, "fr", "Oui"},
                      LanguageCase{0x0403, "es", "S\u00ed"}, LanguageCase{0x0813, "nl", "Ja"},
                      LanguageCase{0x0411, "en", "Yes"}, LanguageCase{0x0419, "en", "Yes"}));

TEST(FillIn, PutsTheValuesInOrderAndLeavesOthersAlone) {
  EXPECT_EQ(fillIn("key: %1, %2, mark %3", {"a", "b", "0x00"}), "key: a, b, mark 0x00");
  EXPECT_EQ(fillIn("%2 before %1", {"x", "y"}), "y before x");
  EXPECT_EQ(fillIn("100% of %1, %3 stays", {"it"}), "100% of it, %3 stays");
  EXPECT_EQ(fillIn("%1", {"%2"}), "%2");
}

}  // namespace
}  // namespace flashwell::catalogue
