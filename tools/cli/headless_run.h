#pragma once

// One run of the headless flasher: the dialog on a console view, the real worker thread, the
// virtual key or the platform's USB driver.

#include <functional>
#include <ostream>

#include "app/keep_awake.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/run_output.h"

namespace flashwell::cli {

// What the run meets outside the dialog. After every tick it asks for the next pending signal
// (0 when there is none) and whether the output has gone away; either stops it as EXIT does.
struct Outside {
  std::function<int()> nextSignal;
  std::function<bool()> outputLost;
  app::KeepAwake* keepAwake = nullptr;  // holds the machine awake during the upgrade
};

// Runs the upgrade as the options say; the exit code of cli_options.h, or 128 + the signal
// after one stopped the run. Unless `outside` says otherwise, a failed write to `out` is a lost
// output.
int runHeadless(const CliOptions& options, std::ostream& out, std::ostream& err,
                Outside outside = {});
// The same, telling the run's events to `output`; `err` takes what goes wrong outside the run.
int runHeadless(const CliOptions& options, RunOutput& output, std::ostream& err,
                const Outside& outside = {});

}  // namespace flashwell::cli
