#include "usb/path_match.h"

#include <algorithm>
#include <optional>
#include <string_view>

namespace flashwell::usb {

namespace {

constexpr std::size_t kScannedChars = 44;
constexpr std::size_t kDigitCount = 4;
constexpr std::string_view kPatterns[] = {"VID_5F3A&PID_", "VID_0471&PID_"};

// 0x60 to 0x7F lose their 0x20 bit: lower-case letters become upper case.
char fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 0x60 && u <= 0x7F) ? static_cast<char>(u & ~0x20u) : c;
}

// The index right after the character that completed `pattern`, if the first 44 characters
// hold its characters in order.
std::optional<std::size_t> findScattered(std::span<const char> path, std::string_view pattern) {
  std::size_t next = 0;
  const std::size_t end = std::min(path.size(), kScannedChars);
  for (std::size_t i = 0; i < end && path[i] != '\0'; ++i) {
    if (fold(path[i]) == pattern[next] && ++next == pattern.size()) return i + 1;
  }
  return std::nullopt;
}

bool digitsAt(std::span<const char> path, std::size_t at) {
  if (at > path.size() || path.size() - at < kDigitCount) return false;
  for (std::size_t i = at; i < at + kDigitCount; ++i) {
    if (path[i] < '0' || path[i] > '9') return false;
  }
  return true;
}

}  // namespace

bool UsbMatchKeyPath(std::span<const char> path) {
  for (std::string_view pattern : kPatterns) {
    if (auto after = findScattered(path, pattern)) return digitsAt(path, *after);
  }
  return false;
}

}  // namespace flashwell::usb
