#include "tests/faults/cell_run.h"

#include <algorithm>
#include <map>

#include "emulator/key_file.h"
#include "sequencer/control_ids.h"
#include "sequencer/sequencer.h"
#include "sequencer/text_ids.h"
#include "tests/faults/key_checks.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::faults {

namespace {

using namespace sequencer;
using protocol::UpgradeOption;
using support::UpgradeRun;

constexpr int kCleanRunTicks = 20000;
// Enough for a key found in its booter: the firmware restored, then a second whole pass.
constexpr int kRecoveryPasses = 3;

std::string faultText(const Cell& cell) {
  return std::string(emulator::siteName(cell.place.site)) + ":" +
         std::string(emulator::kindName(cell.kind)) + "@" + std::to_string(cell.place.occurrence);
}

// The exit's ticks from tick `from` on, by finish mode; a problem when a part took too long.
std::string countExit(const UpgradeRun& run, std::size_t from, CellResult& r) {
  r.exitTicks = static_cast<int>(run.ticks.size() - from);
  for (std::size_t i = from; i < run.ticks.size(); ++i) {
    r.booterWaitTicks += run.ticks[i].finishMode == FinishMode::awaitFirmware;
    r.workerStopTicks += run.ticks[i].finishMode == FinishMode::stopWorker;
  }
  if (r.booterWaitTicks > kBooterWaitTicks) {
    return "waited " + std::to_string(r.booterWaitTicks) + " ticks for the booter to end";
  }
  if (r.workerStopTicks > kWorkerStopTicks) {
    return "waited " + std::to_string(r.workerStopTicks) + " ticks for the worker to stop";
  }
  return {};
}

// Presses EXIT and runs until the dialog ends.
std::string exitAndCount(UpgradeRun& run, CellResult& r) {
  run.dialog->OnExit();
  const std::size_t from = run.ticks.size();
  run.runUntil(kExitTicks + 1);
  if (!run.ended()) {
    return "EXIT did not end the program within " + std::to_string(kExitTicks) + " ticks (state " +
           std::to_string(stateNumber(run.state())) + ", finish mode " +
           std::to_string(static_cast<int>(run.dialog->status().finishMode)) + ")";
  }
  return countExit(run, from, r);
}

// The faulted run up to its end. Sets the problem when it does not end in a clear state or
// does not leave within the orderly exit's bounds.
void faultedRun(const Cell& cell, UpgradeRun& run, CellResult& r) {
  const int limit = reference(cell.start, cell.mode).ticks + kSlackTicks;
  int reportAt = -1;
  run.runUntil(limit, [&] {
    if (reportAt < 0 && run.state() == UpgradeState::finalReport)
      reportAt = static_cast<int>(run.ticks.size());
    return run.dialog->failureReached();
  });

  if (run.ended()) {
    r.ending = Ending::kReport;
    const std::string exit = countExit(run, static_cast<std::size_t>(std::max(reportAt, 0)), r);
    const std::string expected =
        run.text(cell.mode == UpgradeOption::never ? kTextNoUpgrade : kTextCongratulations);
    if (run.view.messageBoxes.empty() || run.view.messageBoxes.back().text != expected) {
      r.problem = "ended without the final report";
    } else if (*run.view.endResult != kEndOrderly) {
      r.problem = "the final report did not lead to the orderly exit";
    } else if (!exit.empty()) {
      r.problem = "after the report: " + exit;
    } else if (const auto held = holdsPackage(*run.key, run.dialog->block().regions, cell.mode);
               !held) {
      // A report over an incomplete key would be a failure shown as success.
      r.problem = std::string("the final report over an incomplete key: ") + held.message();
    }
    return;
  }

  const RunStatus& f = run.dialog->status();
  if (run.dialog->failureReached()) {
    r.ending = Ending::kFailure;
    const std::string impossible = run.text(kTextImpossible);
    const std::string copyError = run.text(kTextCopyError);
    std::string shown;
    run.runUntil(20, [&] {
      shown = run.view.text(kIdStatus);
      return shown == impossible || shown == copyError;
    });
    if (shown != impossible && shown != copyError) {
      r.problem = "failure without text 131 or 171 (state " +
                  std::to_string(stateNumber(run.state())) + ", status \"" + shown + "\")";
      return;
    }
  } else {
    r.ending = Ending::kWaitingForKey;
    if (cell.kind != emulator::FaultKind::unplugForGood || run.driver->keyPresent()) {
      r.problem =
          "hangs in state " + std::to_string(stateNumber(run.state())) + " with the key present";
      return;
    }
  }
  if (f.exitLocked != 0 || !run.view.control(kIdExit).enabled || !run.view.control(kIdExit).shown) {
    r.problem = "EXIT is not usable in state " + std::to_string(stateNumber(run.state()));
    return;
  }
  r.problem = exitAndCount(run, r);
}

}  // namespace

std::string cellName(const Cell& cell) {
  const char* const mode = cell.mode == UpgradeOption::only     ? "Only"
                           : cell.mode == UpgradeOption::always ? "Always"
                                                                : "Never";
  return cell.step + " " + faultText(cell) + " (" + mode + ", " + cell.start + " key)";
}

const Reference& reference(const std::string& start, UpgradeOption mode) {
  static std::map<std::pair<std::string, UpgradeOption>, Reference> cache;
  auto found = cache.find({start, mode});
  if (found != cache.end()) return found->second;
  Reference& ref = cache[{start, mode}];
  UpgradeRun run(start);
  run.choose(mode);
  run.runUntil(kCleanRunTicks);
  if (!run.ended() || run.dialog->failureReached()) return ref;  // no steps: the tests say so
  ref.ticks = static_cast<int>(run.ticks.size());
  run.dialog.reset();
  ref.events = run.traceEvents();
  ref.steps = upgradeSteps(ref.events, run.ticks);
  return ref;
}

std::string refusalMisplaced(const std::vector<emulator::TraceEvent>& clean,
                             const std::vector<emulator::TraceEvent>& faulted,
                             const FaultPlace& place) {
  auto same = [](const emulator::TraceEvent& a, const emulator::TraceEvent& b) {
    return a.ev == b.ev && a.path == b.path && a.setup == b.setup && a.ep == b.ep && a.len == b.len;
  };
  std::uint32_t count = 0;
  for (std::size_t i = 0; i < faulted.size(); ++i) {
    const bool struck = siteOfEvent(faulted[i]) == place.site && ++count == place.occurrence;
    // What an in transfer returned differs once it is refused; the request itself may not.
    const bool data = !struck || faulted[i].ev != "in";
    if (i >= clean.size() || !same(clean[i], faulted[i]) ||
        (data && clean[i].data != faulted[i].data)) {
      return "the run went otherwise than the clean one at event " + std::to_string(i) +
             ", before " + placeText(place);
    }
    if (!struck) {
      if (faulted[i].ok == false && clean[i].ok != false) {
        return "event " + std::to_string(i) + " failed before " + placeText(place);
      }
      continue;
    }
    if (faulted[i].ok != false) return placeText(place) + " was not refused";
    return {};
  }
  return placeText(place) + " never came";
}

CellResult runCell(const Cell& cell) {
  CellResult r;
  emulator::KeyImage left;
  bool present = true;
  {
    const bool traced = cell.kind == emulator::FaultKind::refuse;
    UpgradeRun run(cell.start, {.keepTrace = traced});
    run.choose(cell.mode);
    run.addFault(faultText(cell));
    faultedRun(cell, run, r);
    if (!r.problem.empty()) return r;
    if (traced) {
      r.problem =
          refusalMisplaced(reference(cell.start, cell.mode).events, run.traceEvents(), cell.place);
      if (!r.problem.empty()) return r;
    }
    run.dialog.reset();  // the worker has stopped; the key is the test's alone now
    left = run.key->image();
    present = run.driver->keyPresent();
  }

  // The next run takes the key over through its save format, plugged in again if it was gone.
  std::string why;
  std::optional<emulator::KeyImage> image =
      emulator::decodeKeyImage(emulator::encodeKeyImage(left), &why);
  if (!image) {
    r.problem = "the key state does not survive its file: " + why;
    return r;
  }
  if (!present) {
    emulator::VirtualKey replugged(std::move(*image));
    replugged.bootAfterPowerCycle();
    image = replugged.image();
  }

  UpgradeRun next(std::move(*image), {.keepTrace = false});
  next.choose(UpgradeOption::only);
  next.runUntil(kRecoveryPasses * reference("fresh", UpgradeOption::only).ticks + kSlackTicks);
  if (!next.ended()) {
    r.problem = "the next run did not end (state " +
                std::to_string(sequencer::stateNumber(next.state())) + ")";
  } else if (next.dialog->failureReached()) {
    r.problem =
        "the next run failed in state " + std::to_string(sequencer::stateNumber(next.state()));
  } else if (next.view.messageBoxes.empty() ||
             next.view.messageBoxes.back().text != next.text(kTextCongratulations)) {
    r.problem = "the next run ended without the final report";
  } else if (const auto held =
                 holdsPackage(*next.key, next.dialog->block().regions, UpgradeOption::only);
             !held) {
    r.problem = std::string("the next run left the key incomplete: ") + held.message();
  }
  r.recovered = r.problem.empty();
  return r;
}

}  // namespace flashwell::faults
