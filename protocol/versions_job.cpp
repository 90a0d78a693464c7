#include "protocol/worker.h"

#include <array>
#include <optional>

namespace flashwell::protocol {

namespace {

// Where the key stores the header of each component, by entry of the versions column.
constexpr std::array<std::optional<std::uint32_t>, 8> kStorageAddresses{
    0x00000,       // LAPSTER4 firmware
    0x30000,       // ZUNIT
    0x40000,       // LAMBDA
    0x50000,       // GPS
    0x74000,       // Lps4 EXP
    std::nullopt,  // unused
    std::nullopt,  // unused
    0x20000,       // languages
};

constexpr std::uint32_t kExternalFlash = 0x40000000;
constexpr std::uint32_t kHeaderReadLength = std::tuple_size_v<ComponentHead>;

}  // namespace

bool Worker::ReadVersions() {
  for (std::size_t entry = 0; entry < kStorageAddresses.size(); ++entry) {
    if (!CheckExit()) return false;
    if (!kStorageAddresses[entry]) continue;
    ComponentHead header;
    // Stored headers are always read in 128-byte chunks through endpoint 0x82, whatever the
    // key's packet size.
    if (!commands_.ReadMemoryOrFill(true, *kStorageAddresses[entry] | kExternalFlash,
                                    kHeaderReadLength, header)) {
      block_.versionsDone.set(kJobRefused);
      return true;
    }
    const ComponentHeader stored(header);
    if (entry == 0) block_.keyVariant.set(stored.policyMark());
    block_.componentVersions[entry] = stored.version();
    block_.componentHeads[entry] = header;
  }
  block_.versionsDone.set(kJobDone);
  return true;
}

}  // namespace flashwell::protocol
