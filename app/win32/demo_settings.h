#pragma once

// The demo program's two knobs, read from its environment.

#include <cstdint>
#include <optional>
#include <string_view>

namespace flashwell::app::win32 {

struct DemoSettings {
  double speed = 1.0;                // how many times faster than the wall clock the demo runs
  std::uint64_t plugAfterMs = 2000;  // when the virtual key is plugged in, in the demo's time
};

// A speed factor: a decimal number from 0.1 to 1000, at most 16 characters; none for anything
// else.
std::optional<double> parseSpeed(std::string_view text);
// Milliseconds: decimal digits only, at most 10^9; none for anything else.
std::optional<std::uint64_t> parseMilliseconds(std::string_view text);

// FLASHWELL_DEMO_SPEED and FLASHWELL_DEMO_PLUG_MS; a value that is absent or does not parse
// leaves the default.
DemoSettings demoSettingsFromEnvironment();

}  // namespace flashwell::app::win32
