#pragma once

// Runs of the headless flasher in this process, as its command line would start them, in a
// scratch folder of the test's.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/cli/cli_options.h"
#include "tools/cli/run_output.h"
#include "trace/log_event.h"

namespace flashwell::cli::testing {

struct CliRun {
  int code = -1;  // -1 when the command line was refused
  std::string out;
  std::string err;
};

CliRun run(std::vector<std::string> args);
// The same run with a terminal on stdin that types `typed`, and its prompts in `out`.
CliRun runOnTerminal(std::vector<std::string> args, const std::string& typed);
// The same run, telling its events to `output`.
CliRun runInto(std::vector<std::string> args, RunOutput& output);

// The events of a log file (none when it cannot be read).
std::vector<trace::LogEvent> readEvents(const std::filesystem::path& path);
// Its control and endpoint transfers, and its requests to the driver, as comparable lines
// without their times.
std::vector<std::string> transfers(const std::vector<trace::LogEvent>& events);
std::vector<std::string> requests(const std::vector<trace::LogEvent>& events);

std::filesystem::path fixture(const std::string& mode);

// A fresh folder for one test, removed with the object.
struct Scratch {
  Scratch();
  ~Scratch();
  std::string operator/(const std::string& name) const { return (folder / name).string(); }
  std::filesystem::path folder;
};

}  // namespace flashwell::cli::testing
