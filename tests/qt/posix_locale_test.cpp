#include "app/posix_locale.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace flashwell::app {
namespace {

struct LocaleCase {
  const char* locale;
  std::uint16_t lcid;
};

class PosixLocaleTest : public testing::TestWithParam<LocaleCase> {};

TEST_P(PosixLocaleTest, MapsToLcid) {
  EXPECT_EQ(lcidFromPosixLocale(GetParam().locale), GetParam().lcid) << GetParam().locale;
}

INSTANTIATE_TEST_SUITE_P(
    Names, PosixLocaleTest,
    testing::Values(
        // Codeset and modifier do not matter; the territory picks the variant.
        LocaleCase{"de_AT.UTF-8", 0x0C07}, LocaleCase{"de_DE@euro", 0x0407},
        LocaleCase{"de_CH.ISO-8859-1@euro", 0x0807}, LocaleCase{"de_LI", 0x1407},
        LocaleCase{"fr_CA", 0x0C0C}, LocaleCase{"fr_MC.UTF-8", 0x180C}, LocaleCase{"it_CH", 0x0810},
        LocaleCase{"nl_BE", 0x0813}, LocaleCase{"es_ES", 0x0C0A}, LocaleCase{"es_PR.UTF-8", 0x500A},
        LocaleCase{"es_AR", 0x2C0A}, LocaleCase{"ca_ES.UTF-8@valencia", 0x0403},
        LocaleCase{"ja_JP.eucJP", 0x0411}, LocaleCase{"en_GB.UTF-8", 0x0809},
        LocaleCase{"en_SG", 0x4809},
        // Case and the BCP 47 hyphen are tolerated.
        LocaleCase{"DE_at", 0x0C07}, LocaleCase{"fr-CA", 0x0C0C},
        // A known language in a territory without a row: the language's standard locale.
        LocaleCase{"de_BE.UTF-8", 0x0407}, LocaleCase{"fr_SN", 0x040C}, LocaleCase{"ca_AD", 0x0403},
        LocaleCase{"es_US", 0x0C0A}, LocaleCase{"it", 0x0410},
        // Everything else ends in English.
        LocaleCase{"C", 0x0409}, LocaleCase{"C.UTF-8", 0x0409}, LocaleCase{"POSIX", 0x0409},
        LocaleCase{"", 0x0409}, LocaleCase{"pt_BR.UTF-8", 0x0409}, LocaleCase{"_AT", 0x0409},
        LocaleCase{"d", 0x0409}, LocaleCase{"deu_AT", 0x0409}, LocaleCase{".UTF-8", 0x0409},
        LocaleCase{"@euro", 0x0409}));

TEST(PosixLocaleEnvironment, FirstSetAndNonEmptyVariableWins) {
  struct Case {
    std::map<std::string, std::string> env;
    std::uint16_t lcid;
  };
  const Case cases[] = {
      {{{"LC_ALL", "de_AT.UTF-8"}, {"LC_MESSAGES", "fr_CA"}, {"LANG", "it_IT"}}, 0x0C07},
      {{{"LC_MESSAGES", "fr_CA"}, {"LANG", "it_IT"}}, 0x0C0C},
      {{{"LANG", "it_IT"}}, 0x0410},
      {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "nl_NL"}}, 0x0413},
      {{{"LC_CTYPE", "de_DE"}, {"LANGUAGE", "de"}}, 0x0409},
      {{}, 0x0409},
  };
  for (const Case& c : cases) {
    const std::uint16_t lcid = lcidFromEnvironment([&](const char* name) -> const char* {
      const auto it = c.env.find(name);
      return it == c.env.end() ? nullptr : it->second.c_str();
    });
    EXPECT_EQ(lcid, c.lcid);
  }
}

}  // namespace
}  // namespace flashwell::app
