#pragma once

// Which blocks the two writers send: the key's own firmware in 4096-byte blocks, from the last
// to the first, then each component's 2048-byte blocks. The writers send exactly the blocks these
// functions list, so the plan of a run is known from the package and the mode before its first
// request.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "protocol/component_table.h"
#include "protocol/key_records.h"
#include "protocol/request_block.h"
#include "protocol/upgrade_option.h"

namespace flashwell::protocol {

// The bytes of a region slot's data up to the end of the flash image inside the package; empty
// when the slot lies outside it.
std::span<std::uint8_t> slotData(std::span<std::uint8_t> package, const RegionSlot& slot);

// The key firmware of slot 0 as the firmware writer sends it; none when it refuses the slot.
struct FirmwareImage {
  std::span<const std::uint8_t> data;  // the slot's bytes, at least `length` of them
  std::uint32_t length = 0;
  std::uint32_t maxAddress = 0;
  // Block `i` in the order of sending (from the end of the region), and its address on the key.
  std::span<const std::uint8_t> block(std::uint32_t i) const;
  std::uint32_t address(std::uint32_t i) const;
};
std::optional<FirmwareImage> firmwareImage(const RequestBlock& block);
// The blocks that are sent, in order: the blank ones are skipped.
std::vector<std::uint32_t> firmwareBlocksSent(const FirmwareImage& image);

// A component as the region writer sends it; none when it cannot be sent (the writer then does
// not even open its region). `count` is 0 when only the region is opened.
struct ComponentImage {
  std::span<const std::uint8_t> data;
  std::uint8_t code = 0;    // the component code of its header
  std::uint32_t count = 0;  // whole blocks of the byte count
  std::uint32_t byteCount = 0;
  bool policyMark = false;
  // Block `i`, with the policy mark set in it where there is one to set.
  std::array<std::uint8_t, kRegionBlockSize> block(std::uint32_t i) const;
};
std::optional<ComponentImage> componentImage(const RequestBlock& block, const ComponentRow& row,
                                             const OptionWrites& writes);
// The blocks that are sent, in order: only those at the end of the used image are skipped, a
// block whose whole byte count from it on is blank.
std::vector<std::uint32_t> componentBlocksSent(const ComponentImage& image);

// The blocks of a whole run under `option`; `booterRuns`: the key was found in its booter, so
// its firmware is restored whatever the mode.
struct BlockPlan {
  std::uint32_t firmware = 0;
  std::array<std::uint32_t, kComponentTable.size()> components{};  // per row of the table
  bool keyFirmware = false;                                        // the key's firmware is written
  std::uint32_t total() const;
};
BlockPlan planBlocks(const RequestBlock& block, UpgradeOption option, bool booterRuns);

}  // namespace flashwell::protocol
