#include "app/win32/wide_text.h"

#include "catalogue/cp1252.h"

namespace flashwell::app::win32 {

std::wstring wideFromCp1252(std::string_view text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wide characters are UTF-16");
  const std::u16string utf16 = catalogue::cp1252ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

}  // namespace flashwell::app::win32
