#pragma once

// Little-endian reads and writes on byte spans, bounds checked: data from the key and from
// package files is never trusted to fit.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace flashwell::usb {

inline bool fits(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t width) {
  return offset <= bytes.size() && width <= bytes.size() - offset;
}

inline std::optional<std::uint16_t> tryLe16(std::span<const std::uint8_t> b, std::size_t at) {
  if (!fits(b, at, 2)) return std::nullopt;
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

inline std::optional<std::uint32_t> tryLe32(std::span<const std::uint8_t> b, std::size_t at) {
  if (!fits(b, at, 4)) return std::nullopt;
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// For fixed layouts whose size the caller has already checked; out of range reads give 0.
inline std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at) {
  return tryLe16(b, at).value_or(0);
}
inline std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at) {
  return tryLe32(b, at).value_or(0);
}

// Writes that would not fit are not made; the result says whether they were.
inline bool putLe16(std::span<std::uint8_t> b, std::size_t at, std::uint16_t v) {
  if (!fits(b, at, 2)) return false;
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
  return true;
}
inline bool putLe32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  if (!fits(b, at, 4)) return false;
  for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  return true;
}

}  // namespace flashwell::usb
