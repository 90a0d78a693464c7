#pragma once

// The key's command set and the sequences built from it. Every command goes through the
// CommandChannel; data moves through the link's endpoint primitives.
//
//   lookupHardwareFamily(type)              -> memory family, or none for an unknown type
//   KeyCommands::ReadIdentity(destination)  -> true and the assembled identity, or false
//   KeyCommands::ReadMemory(large, address, length, destination) -> true when all was read
//   KeyCommands::ReadMemoryOrFill(...)      -> ReadMemory; on failure 0x55 filler, false
//   KeyCommands::EraseData()                -> true when accepted (always closes the key)
//   KeyCommands::StoreIdentity(identity)    -> true when all three steps succeeded
//   KeyCommands::Restart()                  -> accepted; the caller closes the key afterwards
//   KeyCommands::EraseFirmwareArea()        -> accepted
//   KeyCommands::SendBlock(bytes)           -> transfer setup write + endpoint 0x02 write made
//
// Destinations carry their size: a read whose length (after the length rule) does not fit
// its destination fails without traffic; nothing is ever written past a destination.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "protocol/command_channel.h"
#include "protocol/request_block.h"
#include "usb/link.h"

namespace flashwell::protocol {

// Sub-commands.
inline constexpr std::uint8_t kSubIdentify = 7;         // short command
inline constexpr std::uint8_t kSubStoreIdentity = 8;    // short command
inline constexpr std::uint8_t kSubMemoryRead = 1;       // short command
inline constexpr std::uint8_t kSubEraseDataSmall = 18;  // short command, small-packet key
inline constexpr std::uint8_t kSubEraseDataLarge = 7;   // long command, large-packet key
inline constexpr std::uint8_t kSubRegion = 15;          // long command: open and commit
inline constexpr std::uint8_t kSubEraseFirmware = 1;    // flash command
inline constexpr std::uint8_t kSubProgramBlock = 2;     // flash command
inline constexpr std::uint8_t kSubRestart = 4;          // flash command

// The memory family of a hardware type (identity bytes 30-31).
std::optional<std::uint8_t> lookupHardwareFamily(std::uint16_t type);

// The length a memory read really moves: on a large-packet key 8, 16, 128 or 256, any other
// value read as 128; otherwise rounded down to a multiple of 8.
std::uint32_t effectiveReadLength(bool largePacket, std::uint32_t length);

class KeyCommands {
 public:
  KeyCommands(usb::UsbLink& link, CommandChannel& channel) : link_(link), channel_(channel) {}

  // Copies the first destination.size() bytes (at most 128) of the assembled identity.
  bool ReadIdentity(std::span<std::uint8_t> destination);

  bool ReadMemory(bool largePacket, std::uint32_t address, std::uint32_t length,
                  std::span<std::uint8_t> destination);
  bool ReadMemoryOrFill(bool largePacket, std::uint32_t address, std::uint32_t length,
                        std::span<std::uint8_t> destination);

  bool EraseData();
  bool StoreIdentity(std::span<const std::uint8_t, kIdentitySize> identity);
  bool Restart();
  bool EraseFirmwareArea();
  bool SendBlock(std::span<const std::uint8_t> block);

 private:
  usb::UsbLink& link_;
  CommandChannel& channel_;
};

}  // namespace flashwell::protocol
