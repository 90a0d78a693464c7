#pragma once

// The headless flasher run in this process, as its command line would start it, in simulated
// time unless the arguments say otherwise: the same ProgramRun as a child process gives.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/keep_awake.h"
#include "tests/support/program_run.h"
#include "tools/cli/run_output.h"

namespace flashwell::support {

// What a watch answers to have the run's output closed, as a reader that leaves closes it.
inline constexpr int kCloseOutput = -1;

// What stands beside the run.
struct FlasherSide {
  // A terminal on stdin that types this; the prompts go to out.
  std::optional<std::string> typed{};
  // Told the run's events instead of the plain lines on out.
  cli::RunOutput* output = nullptr;
  app::KeepAwake* keepAwake = nullptr;
  // After every tick, sees the output so far and answers the signal that arrives then (0 for
  // none), or kCloseOutput.
  std::function<int(const std::string& out)> watch{};
};

ProgramRun runFlasher(std::vector<std::string> args, const FlasherSide& side = {});

}  // namespace flashwell::support
