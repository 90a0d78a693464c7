#pragma once

// The language seam on Windows: the system's default locale.

#include "catalogue/system_locale.h"

namespace flashwell::app::win32 {

class Win32SystemLocale final : public catalogue::SystemLocale {
 public:
  std::uint32_t defaultLcid() override;
};

}  // namespace flashwell::app::win32
