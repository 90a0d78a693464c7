#pragma once

// One run of the whole program on the virtual key in simulated time: the dialog on a recording
// view, the real worker thread, the emulated driver. The test's thread is the window thread; it
// only ever waits by sleeping on the clock.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/flashwell_dlg.h"
#include "catalogue/system_locale.h"
#include "emulator/emulated_driver.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "sequencer/recording_view.h"
#include "usb/clock.h"

namespace flashwell::scenarios {

// The link's notices, counted; they return at once like a dismissed message box.
class CountingNotices final : public usb::LinkNotices {
 public:
  void anotherProgramUsesKey() override { ++busy; }
  void keyAccessDenied(const std::string&) override { ++denied; }
  int busy = 0;
  int denied = 0;
};

std::vector<std::uint8_t> embeddedPackageCopy();

class Scenario {
 public:
  explicit Scenario(std::string_view keyState = "fresh",
                    std::vector<std::uint8_t> package = embeddedPackageCopy(),
                    std::uint32_t lcid = 0x0409);
  // A key as an earlier run left it.
  explicit Scenario(emulator::KeyImage image,
                    std::vector<std::uint8_t> package = embeddedPackageCopy(),
                    std::uint32_t lcid = 0x0409);
  ~Scenario();

  // Adds a fault by its WHERE:WHAT[@N] form or its shorthand name.
  void addFault(std::string_view fault);

  // The window thread: every 100 ms on the clock, one tick while timer 10 is set, then `each`
  // (when given), until the dialog ends or `maxTicks` ticks have run. True when it ended.
  bool run(int maxTicks, const std::function<void()>& each = {});

  // An answer for the erase question and a mode that is ticked as soon as the key has been
  // read; PROCEED is pressed once the sequencer enables it. Mode 0 ticks nothing.
  void chooseWhenRead(std::uint8_t mode, bool answerYes = true);

  std::uint16_t state() const { return dialog->fields().state; }
  std::string text(std::uint16_t id) { return dialog->text(id); }
  // Whether the trace holds a restart command for the key.
  bool traceHasRestart() const;
  // The commands of the trace that change what the key holds (a firmware erase, a programmed
  // firmware block, the data erase, a component block), one line each; opening a region, which
  // a "Never" run does to leave it empty, is not among them.
  std::vector<std::string> keyWrites() const;

  usb::SimulatedClock clock;
  emulator::Trace trace{nullptr, true};
  std::unique_ptr<emulator::VirtualKey> key;
  std::unique_ptr<emulator::EmulatedDriver> driver;
  CountingNotices notices;
  catalogue::FixedSystemLocale locale;
  sequencer::RecordingView view;
  std::unique_ptr<app::CFlashwell_02Dlg> dialog;

  // What the run went through: each state and finish mode once per change, and how long each
  // tick took in wall time (the tick that shows the final report flagged).
  std::vector<std::uint16_t> states;
  std::vector<std::uint8_t> finishModes;
  std::vector<std::chrono::nanoseconds> tickTimes;
  std::vector<std::uint16_t> tickStates;  // the state after each tick
  std::vector<std::uint8_t> tickFinishModes;
  int reportTick = -1;

 private:
  void choose();
  void note();
  std::uint8_t mode_ = 0;
  bool proceedPressed_ = false;
};

// Whether `part` occurs in `whole` in the same order, with other entries allowed between.
bool inOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part);

}  // namespace flashwell::scenarios
