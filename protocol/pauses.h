#pragma once

// The pauses the worker makes in an upgrade, for the jobs that make them and for anyone who
// plans how long a run takes.

#include <cstdint>

namespace flashwell::protocol {

// The key leaves the bus when it restarts; these are the times it is given to come back.
inline constexpr std::uint32_t kAfterRestartIntoBooterMs = 2000;
inline constexpr std::uint32_t kBeforeRestartIntoFirmwareMs = 500;
inline constexpr std::uint32_t kAfterRestartIntoFirmwareMs = 10000;
// After a region is opened, before its first block.
inline constexpr std::uint32_t kAfterRegionOpenMs = 2000;

}  // namespace flashwell::protocol
