#include "app/win32/system_locale.h"

#include <windows.h>

namespace flashwell::app::win32 {

std::uint32_t Win32SystemLocale::defaultLcid() {
  return GetSystemDefaultLCID();
}

}  // namespace flashwell::app::win32
