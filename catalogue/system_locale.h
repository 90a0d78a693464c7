#pragma once

// Where the language comes from: the system's default locale as a Windows locale identifier
// (LCID). Windows asks the system; elsewhere the locale name is mapped to its LCID.

#include <cstdint>

namespace flashwell::catalogue {

class SystemLocale {
 public:
  virtual ~SystemLocale() = default;
  virtual std::uint32_t defaultLcid() = 0;
};

// A locale fixed by its maker: for tests and for a locale given on the command line.
class FixedSystemLocale final : public SystemLocale {
 public:
  explicit FixedSystemLocale(std::uint32_t lcid) : lcid_(lcid) {}
  std::uint32_t defaultLcid() override { return lcid_; }

 private:
  std::uint32_t lcid_;
};

}  // namespace flashwell::catalogue
