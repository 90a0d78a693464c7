#pragma once

// Windows-1252, the code page of every text the tool stores and shows.

#include <optional>
#include <string>
#include <string_view>

namespace flashwell::catalogue {

// The Unicode code point of one Windows-1252 byte; the five bytes the code page leaves
// undefined map to the C1 control of the same value.
char32_t cp1252ToCodePoint(unsigned char byte);

std::u16string cp1252ToUtf16(std::string_view text);
std::string cp1252ToUtf8(std::string_view text);

// UTF-8 to Windows-1252; none when the input is not valid UTF-8 or holds a character that the
// code page cannot represent.
std::optional<std::string> utf8ToCp1252(std::string_view text);

}  // namespace flashwell::catalogue
