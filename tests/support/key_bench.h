#pragma once

// The key's side of a whole run in tests: the virtual key in any state, the emulated driver in
// front of it on a clock, the trace of everything that crossed the driver, and the program's
// link to it (optionally through the traffic log's decorator). The dialog's run
// (upgrade_run.h), the Qt window's rig and the tests of the key and of the log all stand on it;
// key_frames.h speaks to the key through the link with hand-built command frames.

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_driver.h"
#include "emulator/key_image.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "tests/support/recording_notices.h"
#include "trace/log_file.h"
#include "usb/clock.h"
#include "usb/link.h"

// Declared only: its header has a member named like Qt's `emit` keyword, and the Qt tests
// include this one.
namespace flashwell::trace {
class TracedDriver;
}

namespace flashwell::support {

// The key state of that name ("fresh", "booter", ...); throws std::invalid_argument when there
// is none, which the test reports as its failure.
emulator::KeyImage namedKey(std::string_view name);

class KeyBench {
 public:
  // The driver runs on `time` when given (a real clock, say), else on the bench's simulated
  // clock. `keepTrace`: keep every event crossing the driver (costly over a whole upgrade).
  // `plugged`: the key is on the bus from the start.
  explicit KeyBench(emulator::KeyImage image, bool keepTrace = true, usb::Clock* time = nullptr,
                    bool plugged = true);
  ~KeyBench();
  KeyBench(const KeyBench&) = delete;
  KeyBench& operator=(const KeyBench&) = delete;

  // Adds a fault by its WHERE:WHAT[=MS][@N[+]] form or its shorthand name; throws
  // std::invalid_argument when it is neither.
  void addFault(std::string_view fault);

  // Every event of the trace (empty unless kept).
  std::vector<emulator::TraceEvent> traceEvents() const;
  // Whether the trace holds a restart command for the key.
  bool traceHasRestart() const;
  // The commands of the trace that change what the key holds (a firmware erase, a programmed
  // firmware block, the data erase, a component block), one line each; opening a region, which
  // a "Never" run does to leave it empty, is not among them.
  std::vector<std::string> keyWrites() const;

  usb::SimulatedClock clock;
  std::unique_ptr<emulator::Trace> trace;
  std::unique_ptr<emulator::VirtualKey> key;
  std::unique_ptr<emulator::EmulatedDriver> driver;
  RecordingNotices notices;

  // Puts the traffic log's decorator in front of the driver, as the programs do when asked for
  // a log, and the link on it: from then on the link's requests are logged as the host sees
  // them. Call it before the link is used.
  void logHost();
  // The host's log, read back as a replay reads it (empty without logHost()).
  std::vector<trace::LogEvent> hostEvents() const;

 private:
  usb::Clock& time_;
  std::ostringstream hostLog_;
  std::unique_ptr<trace::LogWriter> hostWriter_;
  std::unique_ptr<trace::TracedDriver> traced_;

 public:
  // The program's link, on the driver or on the decorator in front of it (logHost()); last, so
  // that it closes the key before the drivers go.
  std::unique_ptr<usb::UsbLink> link;
};

// Whether `part` occurs in `whole` in the same order, with other entries allowed between.
bool inOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part);

}  // namespace flashwell::support
