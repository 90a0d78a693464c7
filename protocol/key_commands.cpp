#include "protocol/key_commands.h"

#include <algorithm>
#include <array>
#include <utility>

#include "protocol/command_frame.h"

namespace flashwell::protocol {

namespace {

struct FamilyRow {
  std::uint16_t type;
  std::uint8_t family;
};

constexpr std::uint16_t kEndOfTable = 0xFFFF;
constexpr std::size_t kMaxFamilyRows = 200;

// The duplicate row of type 0x0006 is kept as the key makers list it; the first match wins.
constexpr std::array<FamilyRow, 17> hardwareFamilyTable{{
    {0x0005, 11},
    {0x0009, 11},
    {0x000C, 11},
    {0x000D, 11},
    {0x0002, 12},
    {0x0401, 19},
    {0x0006, 13},
    {0x0006, 13},
    {0x0007, 12},
    {0x0008, 10},
    {0x000B, 12},
    {0x0015, 18},
    {0x0018, 18},
    {0x0016, 14},
    {0x0017, 18},
    {0x0301, 15},
    {kEndOfTable, 0},
}};

// Where a family keeps its configuration (the first read) and the bytes for identity 62-63 and
// 25 (the second read).
struct FamilyReads {
  std::uint32_t firstAddress;
  std::uint32_t firstLength;
  std::uint32_t secondAddress;
  std::uint32_t secondLength;
  bool firstByteTo62;  // byte 62 from the first byte read (else from the second)
  bool setsByte25;
};

FamilyReads readsOf(std::optional<std::uint8_t> family) {
  if (family == 10 || family == 11) return {0xFFBF30, 80, 0xFF000A, 16, true, false};
  if (family == 14) return {0x00F030, 128, 0x0E000A, 128, false, true};
  return {0xFFA030, 128, 0xFE000A, 128, false, true};
}

constexpr std::uint8_t kFamilyWithoutReads = 19;
// The byte of the second read that becomes the firmware's patch byte.
constexpr std::size_t kPatchInSecondRead = 22;
// What the booter keeps of the identity, in the bytes below the configuration base: its own
// kind, serial number, date (40-43) and counters (32-33).
constexpr std::uint32_t kBooterInfoSize = 0x30;
constexpr std::pair<std::size_t, std::size_t> kBooterOwnBytes[] = {
    {kIdentityKind, 4}, {kIdentitySerial, 4}, {40, 4}, {32, 2}};
constexpr std::uint8_t kFiller = 0x55;
constexpr std::uint32_t kLargeChunk = 128;
constexpr std::uint32_t kSmallChunk = 16;

}  // namespace

std::optional<std::uint8_t> lookupHardwareFamily(std::uint16_t type) {
  const std::size_t rows = std::min(hardwareFamilyTable.size(), kMaxFamilyRows);
  for (std::size_t i = 0; i < rows && hardwareFamilyTable[i].type != kEndOfTable; ++i) {
    if (hardwareFamilyTable[i].type == type) return hardwareFamilyTable[i].family;
  }
  return std::nullopt;
}

std::uint32_t effectiveReadLength(bool largePacket, std::uint32_t length) {
  if (largePacket) {
    return (length == 8 || length == 16 || length == 128 || length == 256) ? length : 128;
  }
  return length & ~std::uint32_t{7};
}

bool KeyCommands::ReadIdentity(std::span<std::uint8_t> destination) {
  if (destination.size() > kIdentitySize) return false;
  KeyIdentity identity;
  std::array<std::uint8_t, kIdentitySize> scratch;
  identity.fill(0xFF);
  scratch.fill(0xFF);

  if (!channel_.SendCommand(kShortCommand, kSubIdentify, 0, 0)) return false;
  if (!channel_.SendCommand(kTransferSetup, kHostReads, 0, kIdentitySize)) return false;
  if (link_.UsbReadEp2(identity) != static_cast<int>(kIdentitySize)) return false;

  const auto family = lookupHardwareFamily(hardwareType(identity));
  if (family != kFamilyWithoutReads) {
    const bool large = link_.UsbIsLargePacketKey();
    const FamilyReads reads = readsOf(family);
    if (!ReadMemoryOrFill(large, reads.firstAddress, reads.firstLength, scratch)) return false;
    std::copy_n(scratch.begin(), kIdentityConfigurationSize,
                identity.begin() + kIdentityConfiguration);
    if (!ReadMemoryOrFill(large, reads.secondAddress, reads.secondLength, scratch)) return false;
    identity[kIdentitySecondRead] = reads.firstByteTo62 ? scratch[0] : scratch[1];
    identity[kIdentitySecondRead + 1] = reads.firstByteTo62 ? scratch[1] : scratch[0];
    if (reads.setsByte25) identity[kIdentityFirmwarePatch] = scratch[kPatchInSecondRead];

    // A booter on a large-packet key reports its own kind, serial, date and counters just below
    // the configuration. Only the low byte of the program code is asked here.
    if (identity[kIdentityProgram] == kProgramBooter && large) {
      if (!ReadMemoryOrFill(large, reads.firstAddress - kBooterInfoSize, kBooterInfoSize,
                            scratch)) {
        return false;
      }
      for (auto [from, count] : kBooterOwnBytes) {
        std::copy_n(scratch.begin() + from, count, identity.begin() + from);
      }
    }
  }
  std::copy_n(identity.begin(), destination.size(), destination.begin());
  return true;
}

bool KeyCommands::ReadMemory(bool largePacket, std::uint32_t address, std::uint32_t length,
                             std::span<std::uint8_t> destination) {
  if (destination.data() == nullptr) return false;
  if (length == 0) return true;
  const std::uint32_t total = effectiveReadLength(largePacket, length);
  if (total == 0) return true;
  if (destination.size() < total) return false;

  const std::uint32_t chunkLimit = largePacket ? kLargeChunk : kSmallChunk;
  for (std::uint32_t done = 0; done < total;) {
    const std::uint32_t chunk = std::min(chunkLimit, total - done);
    const std::uint32_t announced = largePacket ? chunk : 0;
    if (!channel_.SendCommandOrClose(kShortCommand, kSubMemoryRead, address + done, announced)) {
      return false;
    }
    if (!channel_.SendCommandOrClose(kTransferSetup, kHostReads, 0, chunk)) return false;
    auto into = destination.subspan(done, chunk);
    const int got = largePacket ? link_.UsbReadEp2(into) : link_.UsbReadEp1(into);
    if (got != static_cast<int>(chunk)) return false;
    done += chunk;
  }
  return true;
}

bool KeyCommands::ReadMemoryOrFill(bool largePacket, std::uint32_t address, std::uint32_t length,
                                   std::span<std::uint8_t> destination) {
  if (ReadMemory(largePacket, address, length, destination)) return true;
  std::fill_n(destination.begin(), std::min<std::size_t>(length, destination.size()), kFiller);
  return false;
}

bool KeyCommands::EraseData() {
  if (!link_.UsbEnsureOpen()) return false;
  const bool accepted =
      link_.UsbIsLargePacketKey()
          ? channel_.SendCommand(kLongCommand, kSubEraseDataLarge, 0, 0, 0, 0, 0, 0)
          : channel_.SendCommand(kShortCommand, kSubEraseDataSmall, 0, 0);
  link_.UsbClose();
  return accepted;
}

bool KeyCommands::SendBlock(std::span<const std::uint8_t> block) {
  if (!channel_.SendCommand(kTransferSetup, kHostSends, 0,
                            static_cast<std::uint32_t>(block.size()))) {
    return false;
  }
  return link_.UsbWriteEp2(block) == static_cast<int>(block.size());
}

bool KeyCommands::StoreIdentity(std::span<const std::uint8_t, kIdentitySize> identity) {
  if (!SendBlock(identity)) return false;
  return channel_.SendCommand(kShortCommand, kSubStoreIdentity, 0, 0);
}

bool KeyCommands::Restart() {
  return channel_.SendCommand(kFlashCommand, kSubRestart, 0, 0);
}

bool KeyCommands::EraseFirmwareArea() {
  return channel_.SendCommand(kFlashCommand, kSubEraseFirmware, 0, 2048);
}

}  // namespace flashwell::protocol
