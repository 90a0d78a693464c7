// flashwell-cli: the upgrade without a window.

#include <unistd.h>

#include <iostream>

#include "app/logind_keep_awake.h"
#include "app/posix_signals.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/headless_run.h"

int main(int argc, char** argv) {
  using namespace flashwell::cli;
  // Before any thread starts: SIGINT, SIGTERM and SIGHUP become EXIT, SIGPIPE a failed write.
  flashwell::app::StopSignals signals;
  // A terminal on stdin can be asked for the mode; on stdout it gets a progress bar, where a
  // pipe or a file gets the plain lines.
  const Console console{::isatty(STDIN_FILENO) == 1, ::isatty(STDOUT_FILENO) == 1};
  ParseResult parsed = parseCommandLine(argc, argv, std::cout, std::cerr, console);
  if (!parsed.options) return parsed.exitCode;
  TerminalPrompts prompts(std::cin, std::cout, console.output);
  const bool verbose = parsed.options->verbose;
  flashwell::app::LogindKeepAwake keepAwake([verbose](const std::string& note) {
    if (verbose) std::cerr << "flashwell-cli: " << note << "\n";
  });
  Outside outside;
  outside.nextSignal = [&signals] { return signals.take(); };
  outside.keepAwake = &keepAwake;
  outside.prompting = [&signals](bool waiting) { signals.passThrough(waiting); };
  return runHeadless(*parsed.options, std::cout, std::cerr, &prompts, outside);
}
