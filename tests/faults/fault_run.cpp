#include "tests/faults/fault_run.h"

#include "catalogue/embedded_package.h"
#include "emulator/faults.h"
#include "sequencer/control_ids.h"

namespace flashwell::faults {

namespace {
std::vector<std::uint8_t> packageCopy() {
  const std::span<const std::uint8_t> p = catalogue::embeddedPackage();
  return {p.begin(), p.end()};
}
}  // namespace

FaultRun::FaultRun(emulator::KeyImage image, std::uint8_t mode, bool keepTrace) : mode_(mode) {
  if (keepTrace) trace = std::make_unique<emulator::Trace>(nullptr, true);
  key = std::make_unique<emulator::VirtualKey>(std::move(image));
  driver = std::make_unique<emulator::EmulatedDriver>(clock, *key, trace.get());
  dialog = std::make_unique<app::CFlashwell_02Dlg>(
      view, app::DialogEnvironment{*driver, clock, notices, locale}, packageCopy());
  if (mode_ != 3) view.answers.push_back(sequencer::MessageBoxAnswer::yes);
  dialog->OnInitDialog();
}

FaultRun::~FaultRun() {
  // The dialog stops and joins its worker, which uses the driver and the key.
  dialog.reset();
}

bool FaultRun::addFault(std::string_view fault) {
  const auto parsed = emulator::parseFault(fault);
  if (!parsed) return false;
  driver->addFaults(*parsed);
  return true;
}

void FaultRun::tick() {
  clock.sleepMs(sequencer::kTimerPeriodMs);
  if (!view.timerSet(sequencer::kTimerId)) return;
  dialog->OnTimer(sequencer::kTimerId);
  ticks.push_back({clock.elapsedMs(), state(), dialog->fields().finishMode});
  if (!view.ended()) playUser();
}

int FaultRun::runUntil(int maxTicks, const std::function<bool()>& until) {
  int n = 0;
  while (n < maxTicks && !view.ended()) {
    tick();
    ++n;
    if (until && until()) break;
  }
  return n;
}

void FaultRun::playUser() {
  if (mode_ == 0 || proceedPressed_ || dialog->fields().finishMode != sequencer::kRunning) return;
  if (dialog->fields().selectedOption == 0 && state() == 53) {
    if (mode_ == 1) dialog->OnOnly();
    if (mode_ == 2) dialog->OnAlways();
    if (mode_ == 3) dialog->OnNever();
  }
  if (dialog->fields().selectedOption != 0 && state() == 53 &&
      view.control(sequencer::kIdProceed).enabled) {
    proceedPressed_ = true;
    dialog->OnProceed();
  }
}

std::vector<emulator::TraceEvent> FaultRun::traceEvents() const {
  return trace ? trace->events() : std::vector<emulator::TraceEvent>{};
}

}  // namespace flashwell::faults
