#pragma once

// Every text the tool stores is Windows-1252; the window shows it through the wide functions,
// so that it reads the same under any ANSI code page.

#include <string>
#include <string_view>

namespace flashwell::app::win32 {

std::wstring wideFromCp1252(std::string_view text);

}  // namespace flashwell::app::win32
