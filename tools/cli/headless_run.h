#pragma once

// One run of the headless flasher: the dialog on a console view, the real worker thread, the
// virtual key or the platform's USB driver.

#include <functional>
#include <ostream>

#include "tools/cli/cli_options.h"
#include "tools/cli/run_output.h"

namespace flashwell::cli {

// What stops a run from outside, as EXIT does, asked after every tick: the next pending signal
// (0 when there is none) and whether the output has gone away.
struct OutsideStops {
  std::function<int()> nextSignal;
  std::function<bool()> outputLost;
};

// Runs the upgrade as the options say; the exit code of cli_options.h, or 128 + the signal
// after one stopped the run. A failed write to `out` stops the run as EXIT does.
int runHeadless(const CliOptions& options, std::ostream& out, std::ostream& err,
                std::function<int()> nextSignal = {});
// The same, telling the run's events to `output`; `err` takes what goes wrong outside the run.
int runHeadless(const CliOptions& options, RunOutput& output, std::ostream& err,
                const OutsideStops& stops = {});

}  // namespace flashwell::cli
