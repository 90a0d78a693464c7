// flashwell-cli: the upgrade without a window.

#include <unistd.h>

#include <iostream>

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
  return runHeadless(*parsed.options, std::cout, std::cerr, [&signals] { return signals.take(); });
}
