#pragma once

// One cell of the fault matrix: a whole upgrade with one fault, then EXIT, then the next run
// on the key exactly as the first left it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/faults.h"
#include "emulator/key_image.h"
#include "protocol/upgrade_option.h"
#include "tests/faults/upgrade_steps.h"

namespace flashwell::faults {

// How the faulted run ended before EXIT.
enum class Ending {
  kReport,         // the final report, and the orderly exit on its own
  kFailure,        // a failure text with EXIT usable
  kWaitingForKey,  // the key is gone and the program waits for it with EXIT usable
};

// Ticks a faulted run may take beyond a clean one before it counts as hung: room for every
// late answer and pulled key of one fault.
inline constexpr int kSlackTicks = 1500;
// The orderly exit: up to 100 ticks for the key to leave its booter, then the worker's stop,
// which waits for the running job. The longest job that does not look at the stop is the
// component write (seven regions with their 2 s pauses, a late answer on top); the others
// end within their pause of at most 10.5 s and one late command.
inline constexpr int kBooterWaitTicks = 100;
inline constexpr int kWorkerStopTicks = 250;
inline constexpr int kExitTicks = 2 + kBooterWaitTicks + kWorkerStopTicks;

struct CellResult {
  std::string problem;  // empty when the cell passed both runs
  Ending ending = Ending::kReport;
  int exitTicks = 0;        // from EXIT (or the final report) to the end of the dialog
  int booterWaitTicks = 0;  // of those, waiting for the key to leave its booter
  int workerStopTicks = 0;  // and waiting for the worker to stop
  bool recovered = false;
};

struct Cell {
  std::string step;
  FaultPlace place;
  emulator::FaultKind kind;
  protocol::UpgradeOption mode;  // of the faulted run; the next run always upgrades with "Only"
  std::string start = "fresh";   // the named state the key starts the faulted run in
};

std::string cellName(const Cell& cell);

// The ticks a clean run of `mode` from the named key state takes, its trace and its steps.
struct Reference {
  int ticks = 0;
  std::vector<emulator::TraceEvent> events;
  std::vector<UpgradeStep> steps;
};
const Reference& reference(const std::string& start, protocol::UpgradeOption mode);

// Runs the cell. A refusal is also traced and checked against the clean run: everything up to
// the struck occurrence went as in the clean run, and the struck request is the same one, failed.
// (The other kinds strike the same occurrence, as the driver counts alike for all of them.)
CellResult runCell(const Cell& cell);

// Why `faulted` does not show a refusal of `place` where the clean run has it; empty when it does.
std::string refusalMisplaced(const std::vector<emulator::TraceEvent>& clean,
                             const std::vector<emulator::TraceEvent>& faulted,
                             const FaultPlace& place);

}  // namespace flashwell::faults
