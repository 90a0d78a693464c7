#pragma once

// The command line of the headless flasher.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "trace/log_event.h"

namespace flashwell::cli {

struct CliOptions {
  std::optional<std::string> emulated;  // the virtual key's starting state, when emulated
  std::uint8_t mode = 0;                // 0 none, 1 only, 2 always, 3 never
  bool yes = false;                     // answer the erase question Yes
  std::vector<std::string> faults;
  std::optional<std::string> tracePath;     // the traffic log at the driver seam, any backend
  std::optional<std::string> keyTracePath;  // the virtual key's own trace
  std::optional<std::string> replayPath;    // answer from this recorded log instead of a key
  std::vector<trace::LogEvent> replayLog;   // its events
  bool info = false;                        // read the key and end, changing nothing
  bool json = false;                        // one JSON object per line for each event
  bool terminal = false;                    // the output is a terminal: a progress bar
  bool simulatedClock = false;
  std::optional<std::uint16_t> lcid;
  std::optional<std::string> keyStatePath;
  std::optional<std::uint32_t> timeoutSeconds;
  bool ask = false;  // no --mode: ask for it, and the erase question, on the terminal
};

// How long info waits for the key without --timeout.
inline constexpr std::uint32_t kInfoTimeoutSeconds = 30;

// Exit codes.
inline constexpr int kExitDone = 0;     // the final report was shown (info: the key was read)
inline constexpr int kExitFailure = 1;  // a failure display was reached, or the key state
                                        // could not be saved
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDeclined = 3;  // the erase question was answered No, or no mode chosen
inline constexpr int kExitTimedOut = 4;
inline constexpr int kExitReplayDiffers = 5;  // a replayed run made a request the log did not hold
inline constexpr int kExitNoKey = 6;          // info found no key in its time

struct ParseResult {
  std::optional<CliOptions> options;  // none when the program is to end with `exitCode`
  int exitCode = kExitDone;
};

// Which of the program's streams are terminals.
struct Console {
  bool input = false;   // a run without --mode can ask on it
  bool output = false;  // a progress bar rather than plain lines
};

// Parses argv; a usage error, --help or --version is printed to `out` or `err` and ends the
// program (under --json a usage error is also an "error" and an "end" event on `out`). A
// --replay log is read here: one that cannot be replayed is a usage error.
ParseResult parseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err, Console console = {});

// "0C0A" or "0x0C0A"; none when it is not a 16-bit hexadecimal number.
std::optional<std::uint16_t> parseLcid(const std::string& text);

// What --version prints: the program's version and that of the MEMPOD firmware it carries.
std::string versionText();

}  // namespace flashwell::cli
