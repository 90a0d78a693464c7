#pragma once

// A short session with the virtual key through the real link: open, a command, a block sent, a
// block read. Recorded on the key's side and, through the decorator, on the host's.

#include <sstream>
#include <vector>

#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "trace/log_file.h"
#include "trace/traced_driver.h"
#include "usb/clock.h"
#include "usb/link.h"

namespace flashwell::trace::testing {

// What the host got back from a session.
struct SessionResult {
  std::vector<int> returns;  // every primitive's result
  std::vector<std::uint8_t> read;
  bool operator==(const SessionResult&) const = default;
};

// The commands of the session, on any link.
inline SessionResult runSession(usb::UsbLink& link, std::uint8_t firstCommand = 14) {
  SessionResult r;
  r.returns.push_back(link.UsbEnsureOpen());
  // Identify, then a read of 128 bytes through endpoint 2.
  std::vector<std::uint8_t> identify{7, 0, 0, 0, 0, 0};
  r.returns.push_back(link.UsbControlTransfer(identify, {0x40, firstCommand, 0, 0, 0, 0, 6, 0}));
  std::vector<std::uint8_t> setupRead{0, 0, 0, 128, 0, 1};
  r.returns.push_back(link.UsbControlTransfer(setupRead, {0x40, 12, 0, 0, 0x71, 0x04, 6, 0}));
  r.read.resize(128);
  r.returns.push_back(link.UsbReadEp2(r.read));
  link.UsbClose();
  return r;
}

struct NullNotices : usb::LinkNotices {
  void anotherProgramUsesKey() override {}
  void keyAccessDenied(const std::string&) override {}
};

// The virtual key behind the decorator, on a simulated clock.
struct TracedKey {
  TracedKey()
      : key(*emulator::namedKeyState("fresh")),
        keyTrace(nullptr, true),
        driver(clock, key, &keyTrace),
        writer(log),
        traced(driver, clock, &writer),
        link(traced, notices) {}

  std::vector<LogEvent> hostEvents() {
    std::istringstream in(log.str());
    std::string why;
    auto events = readLog(in, &why);
    return events ? *events : std::vector<LogEvent>{};
  }

  usb::SimulatedClock clock;
  emulator::VirtualKey key;
  emulator::Trace keyTrace;
  emulator::EmulatedDriver driver;
  std::ostringstream log;
  LogWriter writer;
  TracedDriver traced;
  NullNotices notices;
  usb::UsbLink link;
};

}  // namespace flashwell::trace::testing
