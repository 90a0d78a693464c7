#include "app/posix_locale.h"

#include <array>
#include <cstdlib>
#include <string>

namespace flashwell::app {

namespace {

struct LocaleRow {
  std::string_view name;  // language_TERRITORY, or the language alone for its standard locale
  std::uint16_t lcid;
};

// Every locale that the text tables have a language for, and the English ones.
constexpr std::array kLocales{
    LocaleRow{"it", 0x0410},    LocaleRow{"it_IT", 0x0410}, LocaleRow{"it_CH", 0x0810},
    LocaleRow{"de", 0x0407},    LocaleRow{"de_DE", 0x0407}, LocaleRow{"de_CH", 0x0807},
    LocaleRow{"de_AT", 0x0C07}, LocaleRow{"de_LU", 0x1007}, LocaleRow{"de_LI", 0x1407},
    LocaleRow{"es", 0x0C0A},    LocaleRow{"es_ES", 0x0C0A}, LocaleRow{"es_MX", 0x080A},
    LocaleRow{"es_GT", 0x100A}, LocaleRow{"es_CR", 0x140A}, LocaleRow{"es_PA", 0x180A},
    LocaleRow{"es_DO", 0x1C0A}, LocaleRow{"es_VE", 0x200A}, LocaleRow{"es_CO", 0x240A},
    LocaleRow{"es_PE", 0x280A}, LocaleRow{"es_AR", 0x2C0A}, LocaleRow{"es_EC", 0x300A},
    LocaleRow{"es_CL", 0x340A}, LocaleRow{"es_UY", 0x380A}, LocaleRow{"es_PY", 0x3C0A},
    LocaleRow{"es_BO", 0x400A}, LocaleRow{"es_SV", 0x440A}, LocaleRow{"es_HN", 0x480A},
    LocaleRow{"es_NI", 0x4C0A}, LocaleRow{"es_PR", 0x500A}, LocaleRow{"ca", 0x0403},
    LocaleRow{"ca_ES", 0x0403}, LocaleRow{"fr", 0x040C},    LocaleRow{"fr_FR", 0x040C},
    LocaleRow{"fr_BE", 0x080C}, LocaleRow{"fr_CA", 0x0C0C}, LocaleRow{"fr_CH", 0x100C},
    LocaleRow{"fr_LU", 0x140C}, LocaleRow{"fr_MC", 0x180C}, LocaleRow{"nl", 0x0413},
    LocaleRow{"nl_NL", 0x0413}, LocaleRow{"nl_BE", 0x0813}, LocaleRow{"ja", 0x0411},
    LocaleRow{"ja_JP", 0x0411}, LocaleRow{"en", 0x0409},    LocaleRow{"en_US", 0x0409},
    LocaleRow{"en_GB", 0x0809}, LocaleRow{"en_AU", 0x0C09}, LocaleRow{"en_CA", 0x1009},
    LocaleRow{"en_NZ", 0x1409}, LocaleRow{"en_IE", 0x1809}, LocaleRow{"en_ZA", 0x1C09},
    LocaleRow{"en_JM", 0x2009}, LocaleRow{"en_BZ", 0x2809}, LocaleRow{"en_TT", 0x2C09},
    LocaleRow{"en_ZW", 0x3009}, LocaleRow{"en_PH", 0x3409}, LocaleRow{"en_IN", 0x4009},
    LocaleRow{"en_MY", 0x4409}, LocaleRow{"en_SG", 0x4809},
};

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

const LocaleRow* findRow(std::string_view name) {
  for (const LocaleRow& row : kLocales) {
    if (sameName(row.name, name)) return &row;
  }
  return nullptr;
}

}  // namespace

std::uint16_t lcidFromPosixLocale(std::string_view locale) {
  // language[_territory] comes before the codeset and the modifier.
  const std::size_t end = locale.find_first_of(".@");
  std::string name(locale.substr(0, end));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  if (const LocaleRow* row = findRow(name)) return row->lcid;
  const std::size_t underscore = name.find('_');
  if (underscore != std::string::npos && underscore > 0) {
    if (const LocaleRow* row = findRow(std::string_view(name).substr(0, underscore))) {
      return row->lcid;
    }
  }
  return kLcidEnglishUs;
}

std::uint16_t lcidFromEnvironment(const EnvironmentReader& getenv) {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return lcidFromPosixLocale(value);
  }
  return kLcidEnglishUs;
}

std::uint16_t processLocaleLcid() {
  return lcidFromEnvironment([](const char* name) { return std::getenv(name); });
}

}  // namespace flashwell::app
