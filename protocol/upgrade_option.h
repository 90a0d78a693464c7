#pragma once

// The upgrade modes and what the writers send under each. In the request block the mode is its
// byte (kOptionOnly, kOptionAlways, kOptionNever); everywhere else it is an UpgradeOption.

#include <array>
#include <cstdint>
#include <optional>

namespace flashwell::protocol {

// The upgrade option, as the user chose it and the worker reads it: "Only" writes the
// components that differ, "Always" all of them, "Never" none and leaves the key's firmware.
// Its value is its byte in the request block.
enum class UpgradeOption : std::uint8_t { only = 1, always = 2, never = 3 };

constexpr std::uint8_t optionByte(UpgradeOption option) {
  return static_cast<std::uint8_t>(option);
}

// The request block's byte while no mode is chosen, and the modes' bytes.
inline constexpr std::uint8_t kOptionNone = 0;
inline constexpr std::uint8_t kOptionOnly = optionByte(UpgradeOption::only);
inline constexpr std::uint8_t kOptionAlways = optionByte(UpgradeOption::always);
inline constexpr std::uint8_t kOptionNever = optionByte(UpgradeOption::never);

// What the writers do under one mode.
struct OptionWrites {
  UpgradeOption option;
  bool keyFirmware;  // the key's own firmware is rewritten through its booter
  bool components;   // the components' bytes are sent; otherwise each region is only opened
  bool policyMark;   // the package's policy mark is set, so that the key takes every component
};

inline constexpr std::array<OptionWrites, 3> kOptionWrites{{
    {UpgradeOption::only, true, true, false},
    {UpgradeOption::always, true, true, true},
    {UpgradeOption::never, false, false, false},
}};

// The mode a block byte names; none for kOptionNone and for a byte that no mode has.
constexpr std::optional<UpgradeOption> optionFromByte(std::uint8_t byte) {
  for (const OptionWrites& w : kOptionWrites) {
    if (optionByte(w.option) == byte) return w.option;
  }
  return std::nullopt;
}

// Every mode has its row: the table is the list of modes.
constexpr const OptionWrites& writesOf(UpgradeOption option) {
  std::size_t at = 0;
  while (at + 1 < kOptionWrites.size() && kOptionWrites[at].option != option) ++at;
  return kOptionWrites[at];
}

}  // namespace flashwell::protocol
