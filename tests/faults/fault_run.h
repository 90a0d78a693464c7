#pragma once

// One run of the whole program for the fault matrix, in simulated time: the dialog on a
// recording view, the real worker thread, the emulated driver presenting a virtual key that
// starts from any key image (a named state, or what an earlier run left). The test's thread is
// the window thread and plays the user's part after each tick: it ticks the mode once the key
// has been read, confirms the erase and presses PROCEED once.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/flashwell_dlg.h"
#include "catalogue/system_locale.h"
#include "emulator/emulated_driver.h"
#include "emulator/key_image.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "sequencer/recording_view.h"
#include "usb/clock.h"
#include "usb/link.h"

namespace flashwell::faults {

// One tick as the run saw it: the virtual time at which it ran, the state and the finish mode
// after it.
struct TickRecord {
  std::uint64_t atMs;
  std::uint16_t state;
  std::uint8_t finishMode;
};

class FaultRun {
 public:
  // `keepTrace`: keep every event crossing the driver (costly over a whole upgrade).
  FaultRun(emulator::KeyImage image, std::uint8_t mode, bool keepTrace = false);
  ~FaultRun();
  FaultRun(const FaultRun&) = delete;
  FaultRun& operator=(const FaultRun&) = delete;

  // WHERE:WHAT[@N] or a shorthand; false when the text is not a fault.
  bool addFault(std::string_view fault);

  // One period of timer 10 on the clock, the tick when the timer is set, then the user's part.
  void tick();
  // Ticks until the dialog ends, `until` holds after a tick, or `maxTicks` ticks have run.
  // The number of ticks run.
  int runUntil(int maxTicks, const std::function<bool()>& until = {});

  bool ended() const { return view.ended(); }
  std::uint16_t state() const { return dialog->fields().state; }
  std::string text(std::uint16_t id) { return dialog->text(id); }

  // Every event of the trace (empty unless kept).
  std::vector<emulator::TraceEvent> traceEvents() const;

  usb::SimulatedClock clock;
  std::unique_ptr<emulator::Trace> trace;
  std::unique_ptr<emulator::VirtualKey> key;
  std::unique_ptr<emulator::EmulatedDriver> driver;
  usb::SilentNotices notices;
  catalogue::FixedSystemLocale locale{0x0409};
  sequencer::RecordingView view;
  std::unique_ptr<app::CFlashwell_02Dlg> dialog;
  std::vector<TickRecord> ticks;

 private:
  void playUser();
  std::uint8_t mode_;
  bool proceedPressed_ = false;
};

}  // namespace flashwell::faults
