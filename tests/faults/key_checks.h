#pragma once

// Whether a virtual key holds what a complete upgrade from the program's package leaves on it.

#include <gtest/gtest.h>

#include <array>

#include "emulator/virtual_key.h"
#include "protocol/request_block.h"
#include "protocol/upgrade_option.h"

namespace flashwell::faults {

using RegionSlots = std::array<protocol::RegionSlot, 10>;

// The firmware area is slot 0 of the package (its blank blocks erased) and the key runs it,
// every component region holds the bytes the package gives it (with the pass-on mark under
// "Always") and nothing after them, the mark byte is cleared, and the key's identity carries
// the new firmware's version and date. `slots` are the region slots of the package, `option`
// the mode the regions were written with; under "Never" the key's own firmware is left as
// it was and is not checked.
::testing::AssertionResult holdsPackage(const emulator::VirtualKey& key, const RegionSlots& slots,
                                        protocol::UpgradeOption option);

// The region slots of the program's package, as state 0 assigns them.
RegionSlots packageSlots();

}  // namespace flashwell::faults
