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
  ParseResult parsed = parseCommandLine(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  // A terminal gets a progress bar; a pipe or a file gets the plain lines.
  parsed.options->terminal = ::isatty(STDOUT_FILENO) == 1;
  const bool verbose = parsed.options->verbose;
  flashwell::app::LogindKeepAwake keepAwake([verbose](const std::string& note) {
    if (verbose) std::cerr << "flashwell-cli: " << note << "\n";
  });
  Outside outside;
  outside.nextSignal = [&signals] { return signals.take(); };
  outside.keepAwake = &keepAwake;
  return runHeadless(*parsed.options, std::cout, std::cerr, outside);
}
