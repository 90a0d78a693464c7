#include "tools/cli/headless_run.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "app/claim_texts.h"
#include "app/flashwell_dlg.h"
#include "app/outside_stop.h"
#include "app/posix_locale.h"
#include "app/stop_texts.h"
#include "catalogue/cp1252.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"
#include "catalogue/system_locale.h"
#include "emulator/emulated_driver.h"
#include "emulator/faults.h"
#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "files/file_checks.h"
#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tools/cli/console_view.h"
#include "tools/cli/json_output.h"
#include "tools/cli/plain_output.h"
#include "tools/cli/run_phases.h"
#include "tools/cli/run_progress.h"
#include "tools/cli/terminal_output.h"
#include "tools/cli/traffic_facts.h"
#include "trace/log_file.h"
#include "trace/replay_driver.h"
#include "trace/traced_driver.h"
#include "usb/clock.h"
#include "usb/platform_driver.h"

namespace flashwell::cli {

namespace {

constexpr std::size_t kIdentityMarkByte = 54;
// How long a run looks for the key before it says that it waits for one.
constexpr std::uint32_t kKeyWaitNoticeMs = 3000;

// The link's notices on the console. The worker calls them; they are printed by the window
// thread between ticks, and the worker goes on at once, as after a dismissed box. The worker
// asks again at every retry, so a notice is printed only when it differs from the last.
class ConsoleNotices final : public usb::LinkNotices {
 public:
  ConsoleNotices(RunOutput& output, std::uint16_t language)
      : output_(output), language_(language) {}
  void anotherProgramUsesKey() override { post("ANOTHER PROGRAM UTILIZES USB"); }
  // Once, when the run has looked for the key for a while and found none.
  void waitingForKey() {
    output_.text(TextKind::notice, std::string(catalogue::programText(
                                       catalogue::ProgramText::waitingForKey, language_)));
  }
  void keyAccessDenied(const std::string& path) override {
    post(catalogue::fillIn(
        catalogue::programText(catalogue::ProgramText::consoleAccessDenied, language_), {path}));
  }

  // On the window thread.
  void printPending() {
    std::vector<std::string> pending;
    {
      std::lock_guard lock(mutex_);
      pending.swap(pending_);
    }
    for (const std::string& text : pending) output_.text(TextKind::notice, text);
  }

 private:
  void post(std::string text) {
    std::lock_guard lock(mutex_);
    if (text == last_) return;
    last_ = text;
    pending_.push_back(std::move(text));
  }

  RunOutput& output_;
  const std::uint16_t language_;
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

// Empty, or why the run cannot start.
std::string setUpEmulation(const CliOptions& o, usb::Clock& clock, Emulation& e) {
  std::optional<emulator::KeyImage> image;
  if (o.keyStatePath && std::filesystem::exists(*o.keyStatePath)) {
    std::string why;
    image = emulator::loadKeyImage(*o.keyStatePath, &why);
    if (!image) return *o.keyStatePath + ": " + why;
  } else {
    image = emulator::namedKeyState(*o.emulated);
  }
  if (o.keyTracePath) {
    e.traceFile =
        std::make_unique<std::ofstream>(files::outputTarget(*o.keyTracePath), std::ios::trunc);
    if (!*e.traceFile) return "cannot write the key's trace to " + *o.keyTracePath;
    e.trace = std::make_unique<emulator::Trace>(e.traceFile.get());
  }
  e.key = std::make_unique<emulator::VirtualKey>(std::move(*image));
  e.driver = std::make_unique<emulator::EmulatedDriver>(clock, *e.key, e.trace.get());
  for (const std::string& f : o.faults) e.driver->addFaults(*emulator::parseFault(f));
  return {};
}

// What the tool does in place of a user, once per tick.
class Operator {
 public:
  Operator(const CliOptions& o, app::CFlashwell_02Dlg& dialog, ConsoleView& view, usb::Clock& clock,
           TerminalPrompts* prompts, const std::function<void(bool)>& prompting)
      : o_(o),
        dialog_(dialog),
        view_(view),
        clock_(clock),
        prompts_(o.ask ? prompts : nullptr),
        prompting_(prompting),
        mode_(o.mode),
        start_(clock.tickMs()) {}

  void afterTick() {
    // A failure display is left up for one whole blink, so that its text is printed, and then
    // left with EXIT, as a user would.
    if (dialog_.failureReached() && !failurePressed_ && ++ticksInFailure_ >= kBlinkTicks) {
      failurePressed_ = true;
      dialog_.OnExit();
    }
    if (o_.info) {
      readOnly();
    } else {
      chooseAndProceed();
    }
    if (o_.timeoutSeconds && elapsedMs() >= *o_.timeoutSeconds * 1000u &&
        dialog_.status().finishMode == sequencer::FinishMode::running) {
      // Pressed again on later ticks while EXIT is locked.
      if (!timedOut_) noKey_ = stillSearching();
      timedOut_ = true;
      dialog_.OnExit();
    }
  }

  std::uint32_t elapsedMs() const { return clock_.tickMs() - start_; }
  // The key was read for info, and the dialog left without a further request to the key.
  bool keyRead() const { return keyRead_; }
  // info's time ran out before a key was found.
  bool noKey() const { return o_.info && noKey_; }

  int exitCode() const {
    if (noKey()) return kExitNoKey;
    if (timedOut_) return kExitTimedOut;
    if (noModeChosen_) return kExitDeclined;
    if (failurePressed_) return kExitFailure;
    if (keyRead_) return kExitDone;
    if (view_.declined()) return kExitDeclined;
    if (view_.informationBoxes() > 0) return kExitDone;
    return kExitFailure;
  }

 private:
  // The key has not been found yet.
  bool stillSearching() const {
    using sequencer::UpgradeState;
    const UpgradeState state = dialog_.status().state;
    return state == UpgradeState::checkPackage || state == UpgradeState::awaitStart ||
           state == UpgradeState::connect;
  }

  void chooseAndProceed() {
    if (proceedPressed_ || dialog_.status().finishMode != sequencer::FinishMode::running) return;
    const bool choosing = !dialog_.status().selectedOption &&
                          dialog_.status().state == sequencer::UpgradeState::awaitChoice;
    if (choosing && !mode_ && prompts_ && !asked_) {
      asked_ = true;
      const auto text = [this](std::uint16_t id) {
        return catalogue::cp1252ToUtf8(dialog_.text(id));
      };
      if (prompting_) prompting_(true);
      mode_ = protocol::optionFromByte(prompts_->askMode(
          text(sequencer::kTextModePrompt),
          {text(sequencer::kTextOnly), text(sequencer::kTextAlways), text(sequencer::kTextNever)}));
      if (prompting_) prompting_(false);
      if (!mode_) {
        noModeChosen_ = true;
        dialog_.OnExit();
        return;
      }
    }
    if (!mode_) return;
    if (choosing) dialog_.OnMode(*mode_);
    if (dialog_.status().selectedOption && view_.enabled(sequencer::kIdProceed) &&
        dialog_.status().state == sequencer::UpgradeState::awaitChoice) {
      proceedPressed_ = true;
      dialog_.OnProceed();
    }
  }

  // Once the key has been read and both columns stand, the dialog ends at once: no mode is
  // chosen, so nothing is asked of the key beyond what reading it took.
  void readOnly() {
    if (keyRead_ || dialog_.status().finishMode != sequencer::FinishMode::running ||
        dialog_.status().state != sequencer::UpgradeState::awaitChoice) {
      return;
    }
    keyRead_ = true;
    dialog_.OnCancelCommand();
  }

  const CliOptions& o_;
  app::CFlashwell_02Dlg& dialog_;
  ConsoleView& view_;
  usb::Clock& clock_;
  TerminalPrompts* prompts_;  // asks for the mode when the options give none
  const std::function<void(bool)>& prompting_;
  std::optional<protocol::UpgradeOption> mode_;
  std::uint32_t start_;
  static constexpr int kBlinkTicks = 13;
  int ticksInFailure_ = 0;
  bool failurePressed_ = false;
  bool proceedPressed_ = false;
  bool timedOut_ = false;
  bool noKey_ = false;
  bool asked_ = false;
  bool noModeChosen_ = false;
  bool keyRead_ = false;
};

// The locale of the run: --lcid, or the environment's.
std::uint32_t runLcid(const CliOptions& o) {
  return o.lcid ? *o.lcid : app::processLocaleLcid();
}

// The language number of the run's texts, chosen as the dialog chooses it.
std::uint16_t runLanguage(const CliOptions& o) {
  return catalogue::chosenLanguage(catalogue::embeddedTables().locales, runLcid(o));
}

std::unique_ptr<RunOutput> makeOutput(const CliOptions& o, std::ostream& out, std::ostream& err) {
  if (o.json) return std::make_unique<JsonOutput>(out);
  if (o.terminal) {
    return std::make_unique<TerminalOutput>(
        out, err,
        [] {
          using namespace std::chrono;
          return static_cast<std::uint64_t>(
              duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
        },
        runLanguage(o));
  }
  return std::make_unique<PlainOutput>(out, err, runLanguage(o));
}

// The progress of the upgrade: its plan once PROCEED is confirmed, the blocks counted since.
class ProgressWatch {
 public:
  ProgressWatch(const app::CFlashwell_02Dlg& dialog, const ConsoleView& view,
                const TrafficFacts& traffic)
      : dialog_(dialog), view_(view), traffic_(traffic) {}

  Progress now(std::uint32_t elapsedMs) {
    const sequencer::RunStatus& f = dialog_.status();
    if (!percent_ && f.proceedStarted != 0 && f.selectedOption) {
      const bool booterRuns = f.booterPasses >= 1;
      blocks_ = protocol::planBlocks(dialog_.block(), *f.selectedOption, booterRuns);
      percent_.emplace(planRun(blocks_, booterRuns));
      sentBefore_ = traffic_.blocksSent();
      plannedAtMs_ = elapsedMs;
    }
    Progress p;
    p.step = view_.status();
    p.elapsedMs = elapsedMs;
    p.finished = view_.informationBoxes() > 0 && !dialog_.failureReached();
    if (percent_) {
      p.total = blocks_.total();
      p.firmwareBlocks = blocks_.firmware;
      p.sent = traffic_.blocksSent() - sentBefore_;
      p.plannedMs = percent_->plannedMs();
      p.sinceProceedMs = elapsedMs - plannedAtMs_;
      p.percent = percent_->at(p.sinceProceedMs, p.sent, p.finished);
    } else if (p.finished) {
      p.percent = 100;
    }
    return p;
  }

 private:
  const app::CFlashwell_02Dlg& dialog_;
  const ConsoleView& view_;
  const TrafficFacts& traffic_;
  protocol::BlockPlan blocks_;
  std::optional<RunPercent> percent_;
  std::uint32_t sentBefore_ = 0;
  std::uint32_t plannedAtMs_ = 0;
};

KeyInfo keyInfo(const app::CFlashwell_02Dlg& dialog, const ConsoleView& view,
                const TrafficFacts& traffic) {
  KeyInfo info;
  const protocol::KeyIdentity& id = dialog.block().identity;
  const std::uint16_t program = protocol::programCode(id);
  info.programCode = program;
  info.program = program == protocol::kProgramFirmware ? "firmware"
                 : program == protocol::kProgramBooter ? "booter"
                                                       : "program " + std::to_string(program);
  info.packet = traffic.maxPacket() == 8 ? "small" : "large";
  info.mark = id[kIdentityMarkByte];
  info.rows = view.columnsSideBySide();
  return info;
}

// Signals and a lost output, after a tick: EXIT for the run, said once when it must wait.
class StopWatch {
 public:
  StopWatch(const Outside& stops, app::CFlashwell_02Dlg& dialog, RunOutput& output,
            std::uint16_t language)
      : stops_(stops), stop_(dialog), output_(output), language_(language) {}

  void afterTick() {
    stop_.afterTick();
    for (int signal = next(); signal != 0; signal = next()) tell(stop_.ask(signal));
    if (!outputLost_ && stops_.outputLost && stops_.outputLost()) {
      outputLost_ = true;
      tell(stop_.ask(0));
    }
  }

  int exitStatus(int runStatus) const { return stop_.exitStatus(runStatus); }

 private:
  int next() { return stops_.nextSignal ? stops_.nextSignal() : 0; }
  void tell(app::OutsideStop::Asked asked) {
    if (asked == app::OutsideStop::Asked::held) {
      output_.text(TextKind::message, std::string(app::stopText(app::StopText::held, language_)));
    } else if (asked == app::OutsideStop::Asked::alreadyHeld) {
      output_.text(TextKind::message,
                   std::string(app::stopText(app::StopText::alreadyHeld, language_)));
    }
  }

  const Outside& stops_;
  app::OutsideStop stop_;
  RunOutput& output_;
  const std::uint16_t language_;
  bool outputLost_ = false;
};

}  // namespace

int runHeadless(const CliOptions& o, std::ostream& out, std::ostream& err, TerminalPrompts* prompts,
                Outside outside) {
  const std::unique_ptr<RunOutput> output = makeOutput(o, out, err);
  // A closed pipe shows only once the buffered lines are sent.
  if (!outside.outputLost) outside.outputLost = [&out] { return !out.flush(); };
  return runHeadless(o, *output, err, prompts, outside);
}

int runHeadless(const CliOptions& o, RunOutput& output, std::ostream& err, TerminalPrompts* prompts,
                const Outside& outside) {
  // A file the run cannot start with: said on stderr, and told as the run's end.
  const auto refuse = [&](const std::string& why) {
    err << "flashwell-cli: " << why << "\n";
    output.error("usage", why);
    output.end(kExitUsage);
    return kExitUsage;
  };
  std::unique_ptr<usb::Clock> clock;
  if (o.simulatedClock) {
    clock = std::make_unique<usb::SimulatedClock>();
  } else {
    clock = std::make_unique<usb::SystemClock>();
  }

  Emulation emulation;
  std::unique_ptr<trace::ReplayDriver> replay;
  std::unique_ptr<usb::UsbDriver> platformDriver;
  usb::UsbDriver* driver = nullptr;
  if (o.emulated) {
    if (const std::string why = setUpEmulation(o, *clock, emulation); !why.empty()) {
      return refuse(why);
    }
    driver = emulation.driver.get();
  } else if (o.replayPath) {
    replay = std::make_unique<trace::ReplayDriver>(*clock, o.replayLog);
    driver = replay.get();
  } else {
    platformDriver = usb::makePlatformDriver(app::claimTexts(runLanguage(o)));
    driver = platformDriver.get();
  }

  // The traffic log, and what the run learns from its own traffic, on any backend.
  std::ofstream logFile;
  std::unique_ptr<trace::LogWriter> log;
  if (o.tracePath) {
    logFile.open(files::outputTarget(*o.tracePath), std::ios::trunc);
    if (!logFile) return refuse("cannot write the traffic log to " + *o.tracePath);
    log = std::make_unique<trace::LogWriter>(logFile);
  }
  TrafficFacts traffic;
  trace::TracedDriver traced(*driver, *clock, log.get());
  traced.setObserver([&traffic](const trace::LogEvent& e) { traffic.see(e); });

  ConsoleNotices notices(output, runLanguage(o));
  catalogue::FixedSystemLocale locale(runLcid(o));
  ConsoleView view(output, [&o, prompts, &outside](const std::string& question) {
    if (o.yes || !o.ask || !prompts) return o.yes;
    if (outside.prompting) outside.prompting(true);
    const bool yes = prompts->askYes(question);
    if (outside.prompting) outside.prompting(false);
    return yes;
  });
  if (o.info) view.keepColumns();
  const std::span<const std::uint8_t> embedded = catalogue::embeddedPackage();

  int code = kExitFailure;
  bool replayDiffers = false;
  {
    app::CFlashwell_02Dlg dialog(view, app::DialogEnvironment{traced, *clock, notices, locale},
                                 std::vector<std::uint8_t>(embedded.begin(), embedded.end()));
    dialog.OnInitDialog();
    view.setConnectPrompt(dialog.text(sequencer::kTextConnectPrompt));
    Operator user(o, dialog, view, *clock, prompts, outside.prompting);
    ProgressWatch progress(dialog, view, traffic);
    dialog.setKeepAwake(outside.keepAwake);
    StopWatch stops(outside, dialog, output, runLanguage(o));
    PhaseWatch phases(dialog, output);
    bool waitTold = false;
    bool keySeen = false;
    // The window thread: it only ever waits by sleeping on the clock.
    while (!view.ended()) {
      clock->sleepMs(sequencer::kTimerPeriodMs);
      if (view.timerSet(sequencer::kTimerId)) dialog.OnTimer(sequencer::kTimerId);
      phases.afterTick();
      view.endTick();
      notices.printPending();
      // A key that is plugged in answers well before this; later passes find it restarting.
      if (dialog.status().state != sequencer::UpgradeState::connect &&
          dialog.status().state > sequencer::UpgradeState::awaitStart) {
        keySeen = true;
      } else if (!keySeen && !waitTold && user.elapsedMs() >= kKeyWaitNoticeMs) {
        waitTold = true;
        notices.waitingForKey();
      }
      if (replay && replay->difference()) {
        // The log cannot answer the rest of this run.
        replayDiffers = true;
        dialog.OnCancelCommand();
      }
      if (!view.ended()) user.afterTick();
      if (!view.ended()) stops.afterTick();
      output.progress(progress.now(user.elapsedMs()));
    }
    if (user.keyRead()) output.key(keyInfo(dialog, view, traffic));
    if (const auto& differing = dialog.readBackDifferences(); !differing.empty()) {
      std::string names;
      for (const std::string& name : differing) names += (names.empty() ? "" : ", ") + name;
      err << "flashwell-cli: "
          << catalogue::fillIn(
                 catalogue::programText(catalogue::ProgramText::readBackDiffers, runLanguage(o)),
                 {names})
          << "\n";
    }
    if (user.noKey()) {
      const std::string text(
          catalogue::programText(catalogue::ProgramText::noKeyFound, runLanguage(o)));
      err << text << "\n";
      output.error("no-key", text);
    }
    code = stops.exitStatus(user.exitCode());
  }  // the dialog stops and joins its worker here

  if (replay) {
    if (const auto difference = replay->leftOver()) {
      replayDiffers = true;
      output.replayDiffers(difference->line, difference->recorded, difference->sent);
    }
  }
  if (replayDiffers) code = kExitReplayDiffers;

  if (o.emulated && o.keyStatePath) {
    std::string why;
    // A key left in the middle of a restart (the worker may stop in the pause that follows
    // it) finishes it by itself: wait for that, so the key is saved in the program it then runs.
    for (int waited = 0; emulation.driver->eventsPending() && waited < 10000; waited += 10) {
      clock->sleepMs(10);
    }
    if (!emulator::saveKeyImage(emulation.key->image(), *o.keyStatePath, &why)) {
      err << "flashwell-cli: " << *o.keyStatePath << ": " << why << "\n";
      output.error("key-state", *o.keyStatePath + ": " + why);
      // The next run cannot take the key over: whatever this one reached, it failed.
      code = kExitFailure;
    }
  }
  // A log that could not be written whole is lost: whatever the run reached, it failed.
  const std::pair<std::ostream*, const std::optional<std::string>*> logs[] = {
      {&logFile, &o.tracePath}, {emulation.traceFile.get(), &o.keyTracePath}};
  for (const auto& [stream, path] : logs) {
    if (stream && *path && !stream->flush()) {
      const std::string why = **path + ": could not be written whole (is the disk full?)";
      err << "flashwell-cli: " << why << "\n";
      output.error("log", why);
      code = kExitFailure;
    }
  }
  output.end(code);
  return code;
}

}  // namespace flashwell::cli
