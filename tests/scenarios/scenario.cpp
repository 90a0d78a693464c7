#include "scenario.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue/embedded_package.h"
#include "emulator/faults.h"
#include "emulator/named_states.h"
#include "sequencer/control_ids.h"

namespace flashwell::scenarios {

std::vector<std::uint8_t> embeddedPackageCopy() {
  const std::span<const std::uint8_t> p = catalogue::embeddedPackage();
  return {p.begin(), p.end()};
}

namespace {
emulator::KeyImage namedImage(std::string_view keyState) {
  std::optional<emulator::KeyImage> image = emulator::namedKeyState(keyState);
  EXPECT_TRUE(image.has_value()) << keyState;
  return image.value_or(emulator::KeyImage{});
}
}  // namespace

Scenario::Scenario(std::string_view keyState, std::vector<std::uint8_t> package, std::uint32_t lcid)
    : Scenario(namedImage(keyState), std::move(package), lcid) {}

Scenario::Scenario(emulator::KeyImage image, std::vector<std::uint8_t> package, std::uint32_t lcid)
    : locale(lcid) {
  key = std::make_unique<emulator::VirtualKey>(std::move(image));
  driver = std::make_unique<emulator::EmulatedDriver>(clock, *key, &trace);
  dialog = std::make_unique<app::CFlashwell_02Dlg>(
      view, app::DialogEnvironment{*driver, clock, notices, locale}, std::move(package));
  dialog->OnInitDialog();
}

Scenario::~Scenario() {
  dialog.reset();
}

void Scenario::addFault(std::string_view fault) {
  std::string error;
  std::optional<std::vector<emulator::Fault>> faults = emulator::parseFault(fault, &error);
  ASSERT_TRUE(faults.has_value()) << error;
  driver->addFaults(*faults);
}

void Scenario::chooseWhenRead(std::uint8_t mode, bool answerYes) {
  mode_ = mode;
  if (mode != 3) {
    view.answers.push_back(answerYes ? sequencer::MessageBoxAnswer::yes
                                     : sequencer::MessageBoxAnswer::no);
  }
}

void Scenario::choose() {
  if (mode_ == 0 || proceedPressed_) return;
  if (dialog->fields().selectedOption == 0 && state() == 53) {
    if (mode_ == 1) dialog->OnOnly();
    if (mode_ == 2) dialog->OnAlways();
    if (mode_ == 3) dialog->OnNever();
  }
  if (dialog->fields().selectedOption != 0 && view.control(sequencer::kIdProceed).enabled) {
    proceedPressed_ = true;
    dialog->OnProceed();
  }
}

bool Scenario::run(int maxTicks, const std::function<void()>& each) {
  for (int i = 0; i < maxTicks && !view.ended(); ++i) {
    clock.sleepMs(sequencer::kTimerPeriodMs);
    if (!view.timerSet(sequencer::kTimerId)) continue;
    note();
    const std::size_t boxes = view.messageBoxes.size();
    const auto start = std::chrono::steady_clock::now();
    dialog->OnTimer(sequencer::kTimerId);
    tickTimes.push_back(std::chrono::steady_clock::now() - start);
    if (view.messageBoxes.size() != boxes && reportTick < 0 && state() == 130) {
      reportTick = static_cast<int>(tickTimes.size()) - 1;
    }
    tickStates.push_back(state());
    tickFinishModes.push_back(dialog->fields().finishMode);
    note();
    choose();
    if (each) each();
  }
  return view.ended();
}

void Scenario::note() {
  if (states.empty() || states.back() != state()) states.push_back(state());
  const std::uint8_t mode = dialog->fields().finishMode;
  if (finishModes.empty() || finishModes.back() != mode) finishModes.push_back(mode);
}

bool Scenario::traceHasRestart() const {
  // The restart command: vendor request 15, parameter 4.
  for (const emulator::TraceEvent& e : trace.events()) {
    if (e.ev == "control" && e.setup && e.setup->substr(2, 2) == "0f" && e.data &&
        e.data->substr(0, 2) == "04") {
      return true;
    }
  }
  return false;
}

std::vector<std::string> Scenario::keyWrites() const {
  std::vector<std::string> writes;
  for (const emulator::TraceEvent& e : trace.events()) {
    if (e.ev != "control" || !e.setup || !e.data || e.setup->size() < 4 || e.data->size() < 2) {
      continue;
    }
    const std::string request = e.setup->substr(2, 2);
    const std::string sub = e.data->substr(0, 2);
    const std::string line = "t=" + std::to_string(e.t) + " " + *e.setup + " " + *e.data;
    // Flash command (15): 1 erases the firmware area, 2 programs a block of it.
    if (request == "0f" && (sub == "01" || sub == "02")) writes.push_back(line);
    // The data erase: short command (14) 18 on a small-packet key, long command (13) 7.
    if ((request == "0e" && sub == "12") || (request == "0d" && sub == "07")) {
      writes.push_back(line);
    }
    // Long command 15 commits a component block; with 0xFFFF in its second parameter it only
    // opens the region.
    if (request == "0d" && sub == "0f" && e.data->substr(6, 4) != "ffff") writes.push_back(line);
  }
  return writes;
}

bool inOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
  auto at = whole.begin();
  for (const std::string& p : part) {
    at = std::find(at, whole.end(), p);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

}  // namespace flashwell::scenarios
