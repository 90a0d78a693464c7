#pragma once

// One run of the headless flasher: the dialog on a console view, the real worker thread, the
// virtual key or the platform's USB driver.

#include <functional>
#include <ostream>

#include "app/keep_awake.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/run_output.h"
#include "tools/cli/terminal_prompts.h"

namespace flashwell::cli {

// What the run meets outside the dialog. After every tick it asks for the next pending signal
// (0 when there is none) and whether the output has gone away; either stops it as EXIT does.
struct Outside {
  std::function<int()> nextSignal;
  std::function<bool()> outputLost;
  app::KeepAwake* keepAwake = nullptr;  // holds the machine awake during the upgrade
  // Told true before a question waits on the terminal and false after it: nothing has been
  // written to the key yet, so a signal may end the program at once meanwhile.
  std::function<void(bool)> prompting;
};

// Runs the upgrade as the options say; the exit code of cli_options.h, or 128 + the signal
// after one stopped the run. `prompts` asks for what the options leave open (options.ask).
// Unless `outside` says otherwise, a failed write to `out` is a lost output.
int runHeadless(const CliOptions& options, std::ostream& out, std::ostream& err,
                TerminalPrompts* prompts = nullptr, Outside outside = {});
// The same, telling the run's events to `output`; `err` takes what goes wrong outside the run.
int runHeadless(const CliOptions& options, RunOutput& output, std::ostream& err,
                TerminalPrompts* prompts = nullptr, const Outside& outside = {});

}  // namespace flashwell::cli
