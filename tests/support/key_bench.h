#pragma once

// The key's side of a whole run in tests: the virtual key in any state, the emulated driver in
// front of it on a clock, and the trace of everything that crossed the driver. The dialog's
// run (upgrade_run.h) and the Qt window's rig both stand on it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/emulated_driver.h"
#include "emulator/key_image.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "usb/clock.h"
#include "usb/link.h"

namespace flashwell::support {

// A copy of the package built into the program.
std::vector<std::uint8_t> embeddedPackageCopy();

// The key state of that name ("fresh", "booter", ...); throws std::invalid_argument when there
// is none, which the test reports as its failure.
emulator::KeyImage namedKey(std::string_view name);

// The link's notices, counted; they return at once like a dismissed message box.
class CountingNotices final : public usb::LinkNotices {
 public:
  void anotherProgramUsesKey() override { ++busy; }
  void keyAccessDenied(const std::string&) override { ++denied; }
  int busy = 0;
  int denied = 0;
};

class KeyBench {
 public:
  // The driver runs on `time` when given (a real clock, say), else on the bench's simulated
  // clock. `keepTrace`: keep every event crossing the driver (costly over a whole upgrade).
  // `plugged`: the key is on the bus from the start.
  explicit KeyBench(emulator::KeyImage image, bool keepTrace = true, usb::Clock* time = nullptr,
                    bool plugged = true);
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
  CountingNotices notices;
};

// Whether `part` occurs in `whole` in the same order, with other entries allowed between.
bool inOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part);

}  // namespace flashwell::support
