#pragma once

// The system locale on POSIX systems, as the Windows locale identifier (LCID) that the text
// tables are chosen by.

#include <cstdint>
#include <functional>
#include <string_view>

#include "catalogue/system_locale.h"

namespace flashwell::app {

// US English: what a locale that we do not know ends in.
inline constexpr std::uint16_t kLcidEnglishUs = 0x0409;

// The LCID of a POSIX locale name, language[_territory][.codeset][@modifier] ("de_AT.UTF-8",
// "fr_CA", "ca_ES@euro"). Case does not matter and '-' may stand for '_'. A known language
// with a territory that has no row gives the language's standard locale ("de_BE" -> German);
// "C", "POSIX", an empty name and every other language give US English.
std::uint16_t lcidFromPosixLocale(std::string_view locale);

// Reads a variable of the environment; null when it is not set.
using EnvironmentReader = std::function<const char*(const char*)>;

// The locale that messages are shown in: the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty, as an LCID.
std::uint16_t lcidFromEnvironment(const EnvironmentReader& getenv);

// The same, from this process's environment.
std::uint16_t processLocaleLcid();

// The locale seam of the Linux programs: this process's environment, read when asked.
class PosixSystemLocale final : public catalogue::SystemLocale {
 public:
  std::uint32_t defaultLcid() override { return processLocaleLcid(); }
};

}  // namespace flashwell::app
