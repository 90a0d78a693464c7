#include "tests/cli/cli_run.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "tools/cli/headless_run.h"
#include "trace/log_file.h"

namespace flashwell::cli::testing {

namespace {

std::optional<CliOptions> parsed(std::vector<std::string> args, CliRun& r, Console console = {}) {
  args.insert(args.begin(), "flashwell-cli");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  const ParseResult p =
      parseCommandLine(static_cast<int>(argv.size()), argv.data(), out, err, console);
  r.out = out.str();
  r.err = err.str();
  if (!p.options) r.code = -1;
  return p.options;
}

std::string withoutTime(trace::LogEvent e) {
  e.t = 0;
  e.line = 0;
  return trace::toLogLine(e);
}

}  // namespace

CliRun run(std::vector<std::string> args) {
  CliRun r;
  const auto options = parsed(std::move(args), r);
  if (!options) return r;
  std::ostringstream out, err;
  r.code = runHeadless(*options, out, err);
  r.out = out.str();
  r.err = err.str();
  return r;
}

CliRun runOnTerminal(std::vector<std::string> args, const std::string& typed) {
  CliRun r;
  const auto options = parsed(std::move(args), r, Console{true, false});
  if (!options) return r;
  std::istringstream in(typed);
  std::ostringstream out, err;
  TerminalPrompts prompts(in, out);
  r.code = runHeadless(*options, out, err, &prompts);
  r.out = out.str();
  r.err = err.str();
  return r;
}

CliRun runInto(std::vector<std::string> args, RunOutput& output) {
  CliRun r;
  const auto options = parsed(std::move(args), r);
  if (!options) return r;
  std::ostringstream err;
  r.code = runHeadless(*options, output, err);
  r.err = err.str();
  return r;
}

std::vector<trace::LogEvent> readEvents(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::string why;
  auto events = trace::readLog(in, &why);
  EXPECT_TRUE(events) << path << ": " << why;
  return events ? *events : std::vector<trace::LogEvent>{};
}

std::vector<std::string> transfers(const std::vector<trace::LogEvent>& events) {
  std::vector<std::string> lines;
  for (const trace::LogEvent& e : events) {
    if (e.ev == "control" || e.ev == "out" || e.ev == "in") lines.push_back(withoutTime(e));
  }
  return lines;
}

std::vector<std::string> requests(const std::vector<trace::LogEvent>& events) {
  std::vector<std::string> lines;
  for (const trace::LogEvent& e : events) {
    if (e.ev != "search" && e.ev != "member" && e.ev != "plug" && e.ev != "unplug") {
      lines.push_back(withoutTime(e));
    }
  }
  return lines;
}

std::filesystem::path fixture(const std::string& mode) {
  return std::filesystem::path(FLASHWELL_FIXTURES) / (mode + ".jsonl");
}

Scratch::Scratch() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  folder = std::filesystem::temp_directory_path() /
           ("flashwell-cli-" + std::string(test->name()) + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
}

Scratch::~Scratch() {
  std::filesystem::remove_all(folder);
}

}  // namespace flashwell::cli::testing
