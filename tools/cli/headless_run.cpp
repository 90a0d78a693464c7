#include "tools/cli/headless_run.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "app/flashwell_dlg.h"
#include "app/posix_locale.h"
#include "catalogue/cp1252.h"
#include "catalogue/embedded_package.h"
#include "catalogue/system_locale.h"
#include "emulator/emulated_driver.h"
#include "emulator/faults.h"
#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tools/cli/console_view.h"
#include "usb/clock.h"
#include "usb/platform_driver.h"

namespace flashwell::cli {

namespace {

// The link's notices on the console. The worker calls them; they are printed by the window
// thread between ticks, and the worker goes on at once, as after a dismissed box. The worker
// asks again at every retry, so a notice is printed only when it differs from the last.
class ConsoleNotices final : public usb::LinkNotices {
 public:
  explicit ConsoleNotices(std::ostream& out) : out_(out) {}
  void anotherProgramUsesKey() override { post("ANOTHER PROGRAM UTILIZES USB"); }
  void keyAccessDenied(const std::string& path) override {
    post("no access to the key at " + path + " (is the udev rule for the key installed?)");
  }

  // On the window thread.
  void printPending() {
    std::vector<std::string> pending;
    {
      std::lock_guard lock(mutex_);
      pending.swap(pending_);
    }
    for (const std::string& text : pending) out_ << "message:\n  " << text << "\n" << std::flush;
  }

 private:
  void post(std::string text) {
    std::lock_guard lock(mutex_);
    if (text == last_) return;
    last_ = text;
    pending_.push_back(std::move(text));
  }

  std::ostream& out_;
  std::mutex mutex_;
  std::string last_;
  std::vector<std::string> pending_;
};

// The virtual key of an emulated run, with its trace.
struct Emulation {
  std::unique_ptr<std::ofstream> traceFile;
  std::unique_ptr<emulator::Trace> trace;
  std::unique_ptr<emulator::VirtualKey> key;
  std::unique_ptr<emulator::EmulatedDriver> driver;
};

bool setUpEmulation(const CliOptions& o, usb::Clock& clock, Emulation& e, std::ostream& err) {
  std::optional<emulator::KeyImage> image;
  if (o.keyStatePath && std::filesystem::exists(*o.keyStatePath)) {
    std::string why;
    image = emulator::loadKeyImage(*o.keyStatePath, &why);
    if (!image) {
      err << "flashwell-cli: " << *o.keyStatePath << ": " << why << "\n";
      return false;
    }
  } else {
    image = emulator::namedKeyState(*o.emulated);
  }
  if (o.tracePath) {
    e.traceFile = std::make_unique<std::ofstream>(*o.tracePath, std::ios::trunc);
    if (!*e.traceFile) {
      err << "flashwell-cli: cannot write the trace to " << *o.tracePath << "\n";
      return false;
    }
    e.trace = std::make_unique<emulator::Trace>(e.traceFile.get());
  }
  e.key = std::make_unique<emulator::VirtualKey>(std::move(*image));
  e.driver = std::make_unique<emulator::EmulatedDriver>(clock, *e.key, e.trace.get());
  for (const std::string& f : o.faults) e.driver->addFaults(*emulator::parseFault(f));
  return true;
}

// What the tool does in place of a user, once per tick.
class Operator {
 public:
  Operator(const CliOptions& o, app::CFlashwell_02Dlg& dialog, ConsoleView& view, usb::Clock& clock)
      : o_(o), dialog_(dialog), view_(view), clock_(clock), start_(clock.tickMs()) {}

  void afterTick() {
    // A failure display is left up for one whole blink, so that its text is printed, and then
    // left with EXIT, as a user would.
    if (dialog_.failureReached() && !failurePressed_ && ++ticksInFailure_ >= kBlinkTicks) {
      failurePressed_ = true;
      dialog_.OnExit();
    }
    chooseAndProceed();
    const std::uint32_t elapsed = clock_.tickMs() - start_;
    if (o_.timeoutSeconds && elapsed >= *o_.timeoutSeconds * 1000u &&
        dialog_.fields().finishMode == sequencer::kRunning) {
      // Pressed again on later ticks while EXIT is locked.
      timedOut_ = true;
      dialog_.OnExit();
    }
  }

  int exitCode() const {
    if (timedOut_) return kExitTimedOut;
    if (failurePressed_) return kExitFailure;
    if (view_.declined()) return kExitDeclined;
    if (view_.informationBoxes() > 0) return kExitDone;
    return kExitFailure;
  }

 private:
  void chooseAndProceed() {
    if (o_.mode == 0 || proceedPressed_ || dialog_.fields().finishMode != sequencer::kRunning) {
      return;
    }
    if (dialog_.fields().selectedOption == 0 && dialog_.fields().state == 53) {
      if (o_.mode == 1) dialog_.OnOnly();
      if (o_.mode == 2) dialog_.OnAlways();
      if (o_.mode == 3) dialog_.OnNever();
    }
    if (dialog_.fields().selectedOption != 0 && view_.enabled(sequencer::kIdProceed) &&
        dialog_.fields().state == 53) {
      proceedPressed_ = true;
      dialog_.OnProceed();
    }
  }

  const CliOptions& o_;
  app::CFlashwell_02Dlg& dialog_;
  ConsoleView& view_;
  usb::Clock& clock_;
  std::uint32_t start_;
  static constexpr int kBlinkTicks = 13;
  int ticksInFailure_ = 0;
  bool failurePressed_ = false;
  bool proceedPressed_ = false;
  bool timedOut_ = false;
};

}  // namespace

int runHeadless(const CliOptions& o, std::ostream& out, std::ostream& err) {
  std::unique_ptr<usb::Clock> clock;
  if (o.simulatedClock) {
    clock = std::make_unique<usb::SimulatedClock>();
  } else {
    clock = std::make_unique<usb::SystemClock>();
  }

  Emulation emulation;
  std::unique_ptr<usb::UsbDriver> platformDriver;
  usb::UsbDriver* driver = nullptr;
  if (o.emulated) {
    if (!setUpEmulation(o, *clock, emulation, err)) return kExitUsage;
    driver = emulation.driver.get();
  } else {
    platformDriver = usb::makePlatformDriver();
    driver = platformDriver.get();
  }

  ConsoleNotices notices(out);
  catalogue::FixedSystemLocale locale(o.lcid ? *o.lcid : app::processLocaleLcid());
  ConsoleView view(out, o.yes);
  const std::span<const std::uint8_t> embedded = catalogue::embeddedPackage();

  int code = kExitFailure;
  {
    app::CFlashwell_02Dlg dialog(view, app::DialogEnvironment{*driver, *clock, notices, locale},
                                 std::vector<std::uint8_t>(embedded.begin(), embedded.end()));
    dialog.OnInitDialog();
    view.setConnectPrompt(dialog.text(sequencer::kTextConnectPrompt));
    Operator user(o, dialog, view, *clock);
    // The window thread: it only ever waits by sleeping on the clock.
    while (!view.ended()) {
      clock->sleepMs(sequencer::kTimerPeriodMs);
      if (view.timerSet(sequencer::kTimerId)) dialog.OnTimer(sequencer::kTimerId);
      notices.printPending();
      if (!view.ended()) user.afterTick();
    }
    code = user.exitCode();
  }  // the dialog stops and joins its worker here

  if (o.emulated && o.keyStatePath) {
    std::string why;
    if (!emulator::saveKeyImage(emulation.key->image(), *o.keyStatePath, &why)) {
      err << "flashwell-cli: " << *o.keyStatePath << ": " << why << "\n";
      // The next run cannot take the key over: whatever this one reached, it failed.
      return kExitFailure;
    }
  }
  return code;
}

}  // namespace flashwell::cli
