#pragma once

// The searched tables that the program carries beside the firmware package: the locale table
// (132-byte records) and the two name tables (258-byte entries). Each is a byte sequence in its
// fixed record layout, ended by a record whose 16-bit key is 0xFFFF.

#include <cstdint>
#include <span>

namespace flashwell::catalogue {

struct BuiltinTables {
  std::span<const std::uint8_t> locales;
  std::span<const std::uint8_t> modelNames;
  std::span<const std::uint8_t> componentNames;
};

}  // namespace flashwell::catalogue
