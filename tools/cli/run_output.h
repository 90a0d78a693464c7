#pragma once

// Where the headless flasher says what happens: today's plain lines, a terminal with a progress
// bar, or one JSON object per line. Every text is UTF-8.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace flashwell::cli {

inline constexpr const char* kToolHeading = "Vers.  in  FLASHWELL";
inline constexpr const char* kKeyHeading = "Vers.  in  MEMPOD";

// One version column: its rows as (label, value), the labels of the dialog beside them.
struct Column {
  std::string side;     // "tool" or "key"
  std::string heading;  // "Vers.  in  FLASHWELL", "Vers.  in  MEMPOD"
  std::vector<std::pair<std::string, std::string>> rows;
};

// The texts of a run: the window's caption, its status line, the connect prompt (once), an
// information box, and a notice that asks nothing (another program holds the key, the run waits
// for the key). Where no one reads the difference, a notice is shown as a message.
enum class TextKind { caption, status, prompt, message, notice };

// How far the upgrade is: its share of the run's planned time (run_progress.h), and its blocks,
// key firmware blocks first, then region blocks.
struct Progress {
  std::string step;  // the status line's text
  int percent = 0;   // never goes back; 100 only once finished
  std::uint32_t sent = 0;
  std::uint32_t total = 0;           // 0 until the key has been read and the mode chosen
  std::uint32_t firmwareBlocks = 0;  // the first phase's share of the total
  bool finished = false;             // the final report was reached
  std::uint32_t elapsedMs = 0;
  std::uint32_t plannedMs = 0;       // the run's planned time from PROCEED on; 0 before
  std::uint32_t sinceProceedMs = 0;  // the time since then
  // The blocks sent end a phase: the key firmware's or the last.
  bool atPhaseEnd() const { return total != 0 && (sent == firmwareBlocks || sent >= total); }
};

// A step of the run by its name in every language: "wait-key", "read-key", "booter-entry",
// "firmware-erase", "firmware-write", "booter-leave", "data-erase", "mark", "component" (with
// the component's name), "read-back" or "exit".
struct Phase {
  std::string id;
  std::string component;  // for "component": "booter", "lapster4", "languages", "zunit",
                          // "lambda", "gps" or "lps4-exp"
  bool operator==(const Phase&) const = default;
};

// What `info` found on the key.
struct KeyInfo {
  std::string program;            // "firmware", "booter" or the identity's program code
  std::uint16_t programCode = 0;  // the identity's program code
  std::string packet;             // "large" or "small"
  std::uint8_t mark = 0;
  // The rows of both columns side by side: label, the tool's value, the key's value.
  std::vector<std::vector<std::string>> rows;
};

class RunOutput {
 public:
  virtual ~RunOutput() = default;
  virtual void text(TextKind kind, const std::string& text) = 0;
  virtual void column(const Column& column) = 0;
  virtual void question(const std::string& text, bool yes) = 0;
  // A new step of the run, with the window's text for it. The status line tells a reader as
  // much, so only outputs for programs show it.
  virtual void phase(const Phase&, const std::string&) {}
  // A failure display, once, with its stable code; the status line has shown the text.
  virtual void error(const std::string&, const std::string&) {}
  // On every tick of the window thread.
  virtual void progress(const Progress& progress) = 0;
  virtual void key(const KeyInfo& info) = 0;
  // A replayed run that left the log: the recorded request and the program's.
  virtual void replayDiffers(std::size_t line, const std::string& recorded,
                             const std::string& sent) = 0;
  virtual void end(int exitCode) = 0;
};

}  // namespace flashwell::cli
