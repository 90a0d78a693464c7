// flashwell-cli: the upgrade without a window.

#include <unistd.h>

#include <iostream>

#include "tools/cli/cli_options.h"
#include "tools/cli/headless_run.h"

int main(int argc, char** argv) {
  using namespace flashwell::cli;
  // A terminal on stdin can be asked for the mode; on stdout it gets a progress bar, where a
  // pipe or a file gets the plain lines.
  const Console console{::isatty(STDIN_FILENO) == 1, ::isatty(STDOUT_FILENO) == 1};
  ParseResult parsed = parseCommandLine(argc, argv, std::cout, std::cerr, console);
  if (!parsed.options) return parsed.exitCode;
  TerminalPrompts prompts(std::cin, std::cout, console.output);
  return runHeadless(*parsed.options, std::cout, std::cerr, &prompts);
}
