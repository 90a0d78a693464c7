#include "trace/log_file.h"

namespace flashwell::trace {

std::optional<std::vector<LogEvent>> readLog(std::istream& in, std::string* why) {
  std::vector<LogEvent> events;
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string lineWhy;
    auto event = parseLogLine(line, &lineWhy);
    if (!event) {
      if (why) *why = "line " + std::to_string(number) + ": " + lineWhy;
      return std::nullopt;
    }
    event->line = number;
    events.push_back(std::move(*event));
  }
  return events;
}

}  // namespace flashwell::trace
