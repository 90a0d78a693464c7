#include "tests/support/flasher_run.h"

#include <sstream>

#include "tools/cli/cli_options.h"
#include "tools/cli/headless_run.h"
#include "tools/cli/terminal_prompts.h"

namespace flashwell::support {

ProgramRun runFlasher(std::vector<std::string> args, const FlasherSide& side) {
  args.insert(args.begin(), "flashwell-cli");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const cli::Console console{side.typed.has_value(), false};
  const cli::ParseResult parsed =
      cli::parseCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, console);
  ProgramRun r;
  if (parsed.options) {
    std::istringstream typed(side.typed.value_or(""));
    cli::TerminalPrompts prompts(typed, out);
    cli::Outside outside;
    outside.keepAwake = side.keepAwake;
    if (side.watch) {
      outside.nextSignal = [&] {
        const int signal = side.watch(out.str());
        if (signal != kCloseOutput) return signal;
        out.setstate(std::ios::badbit);
        return 0;
      };
    }
    cli::TerminalPrompts* asks = side.typed ? &prompts : nullptr;
    r.code = side.output ? cli::runHeadless(*parsed.options, *side.output, err, asks, outside)
                         : cli::runHeadless(*parsed.options, out, err, asks, outside);
  }
  r.out = out.str();
  r.err = err.str();
  return r;
}

}  // namespace flashwell::support
