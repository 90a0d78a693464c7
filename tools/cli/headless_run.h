#pragma once

// One run of the headless flasher: the dialog on a console view, the real worker thread, the
// virtual key or the platform's USB driver.

#include <ostream>

#include "tools/cli/cli_options.h"
#include "tools/cli/run_output.h"
#include "tools/cli/terminal_prompts.h"

namespace flashwell::cli {

// Runs the upgrade as the options say; the exit code of cli_options.h. `prompts` asks for what
// the options leave open (options.ask).
int runHeadless(const CliOptions& options, std::ostream& out, std::ostream& err,
                TerminalPrompts* prompts = nullptr);
// The same, telling the run's events to `output`; `err` takes what goes wrong outside the run.
int runHeadless(const CliOptions& options, RunOutput& output, std::ostream& err,
                TerminalPrompts* prompts = nullptr);

}  // namespace flashwell::cli
