#include "tests/cli/run_logs.h"

#include <gtest/gtest.h>

#include <fstream>

#include "trace/log_file.h"

namespace flashwell::cli::testing {

namespace {

std::string withoutTime(trace::LogEvent e) {
  e.t = 0;
  e.line = 0;
  return trace::toLogLine(e);
}

}  // namespace

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

}  // namespace flashwell::cli::testing
