#pragma once

// The command line of the headless flasher.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace flashwell::cli {

struct CliOptions {
  std::optional<std::string> emulated;  // the virtual key's starting state, when emulated
  std::uint8_t mode = 0;                // 0 none, 1 only, 2 always, 3 never
  bool yes = false;                     // answer the erase question Yes
  std::vector<std::string> faults;
  std::optional<std::string> tracePath;
  bool simulatedClock = false;
  std::optional<std::uint16_t> lcid;
  std::optional<std::string> keyStatePath;
  std::optional<std::uint32_t> timeoutSeconds;
};

// Exit codes.
inline constexpr int kExitDone = 0;     // the final report was shown
inline constexpr int kExitFailure = 1;  // a failure display was reached, or the key state
                                        // could not be saved
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;  // the erase question was answered No
inline constexpr int kExitTimedOut = 4;

struct ParseResult {
  std::optional<CliOptions> options;  // none when the program is to end with `exitCode`
  int exitCode = kExitDone;
};

// Parses argv; a usage error or --help is printed to `out` or `err` and ends the program.
ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err);

// "0C0A" or "0x0C0A"; none when it is not a 16-bit hexadecimal number.
std::optional<std::uint16_t> parseLcid(const std::string& text);

}  // namespace flashwell::cli
