// flashwell-cli: the upgrade without a window.

#include <iostream>

#include "tools/cli/cli_options.h"
#include "tools/cli/headless_run.h"

int main(int argc, char** argv) {
  using namespace flashwell::cli;
  const ParseResult parsed = parseCommandLine(argc, argv, std::cout, std::cerr);
  if (!parsed.options) return parsed.exitCode;
  return runHeadless(*parsed.options, std::cout, std::cerr);
}
