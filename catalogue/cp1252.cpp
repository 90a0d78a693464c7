#include "catalogue/cp1252.h"

#include <array>

namespace flashwell::catalogue {

namespace {

// 0x80 to 0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char32_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::optional<unsigned char> codePointToCp1252(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<unsigned char>(0x80 + i);
  }
  return std::nullopt;
}

// Decodes one UTF-8 sequence at `pos`; none for a malformed one.
std::optional<char32_t> nextCodePoint(std::string_view s, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(s[pos]);
  std::size_t extra = 0;
  char32_t cp = 0;
  if (lead < 0x80) {
    cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return std::nullopt;
  }
  if (s.size() - pos - 1 < extra) return std::nullopt;
  for (std::size_t i = 1; i <= extra; ++i) {
    const auto c = static_cast<unsigned char>(s[pos + i]);
    if ((c & 0xC0) != 0x80) return std::nullopt;
    cp = (cp << 6) | (c & 0x3F);
  }
  constexpr std::array<char32_t, 4> kMinimum{0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += extra + 1;
  return cp;
}

}  // namespace

char32_t cp1252ToCodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

std::u16string cp1252ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text)
    out += static_cast<char16_t>(cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) appendUtf8(out, cp1252ToCodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::optional<std::string> utf8ToCp1252(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto cp = nextCodePoint(text, pos);
    if (!cp) return std::nullopt;
    const auto byte = codePointToCp1252(*cp);
    if (!byte) return std::nullopt;
    out += static_cast<char>(*byte);
  }
  return out;
}

}  // namespace flashwell::catalogue
