#pragma once

// How one command to the key is framed: a vendor control request, host to device, whose data
// stage is a 6- or 9-byte payload. Pure functions, no I/O.
//
//   buildCommandFrame(code, sub, address, length, p1, p2, p3, p4) -> optional<CommandFrame>
//   commandTimeLimitMs(code, sub)                                  -> 4800 or 12000
//
// Codes: 12 transfer setup, 13 long command, 14 short command, 15 flash command; any other code
// has no frame.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace flashwell::protocol {

inline constexpr std::uint8_t kTransferSetup = 12;
inline constexpr std::uint8_t kLongCommand = 13;
inline constexpr std::uint8_t kShortCommand = 14;
inline constexpr std::uint8_t kFlashCommand = 15;

// Direction byte of a transfer setup.
inline constexpr std::uint8_t kHostSends = 0;
inline constexpr std::uint8_t kHostReads = 1;

inline constexpr std::uint32_t kNormalLimitMs = 4800;
inline constexpr std::uint32_t kLongLimitMs = 12000;

struct CommandFrame {
  std::array<std::uint8_t, 8> setup{};
  std::array<std::uint8_t, 9> payload{};
  std::size_t payloadLength = 0;  // 6 or 9
  std::uint32_t limitMs = kNormalLimitMs;

  std::span<const std::uint8_t> payloadBytes() const { return {payload.data(), payloadLength}; }
};

// The time the key may take to accept a command before it counts as failed.
std::uint32_t commandTimeLimitMs(std::uint8_t code, std::uint8_t sub);

// Which arguments a code uses:
//   12: sub = direction, address bits 0-23, length bits 0-15
//   13: sub and p1..p4 (each cut to 16 bits)
//   14: sub, address (bits 16-31 go into wIndex), length, low byte of p1 as the value byte
//   15: sub, address bits 0-23, length as the count
std::optional<CommandFrame> buildCommandFrame(std::uint8_t code, std::uint8_t sub,
                                              std::uint32_t address, std::uint32_t length,
                                              std::uint32_t p1 = 0, std::uint32_t p2 = 0,
                                              std::uint32_t p3 = 0, std::uint32_t p4 = 0);

}  // namespace flashwell::protocol
