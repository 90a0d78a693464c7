#include "trace/log_file.h"

#include <streambuf>

namespace flashwell::trace {

namespace {

enum class LineRead { line, end, tooLarge };

// The next line without its newline, reading no more than `budget` bytes over the whole log.
LineRead nextLine(std::streambuf& in, std::string& line, std::size_t& budget) {
  line.clear();
  bool any = false;
  for (int c = in.sbumpc(); c != std::char_traits<char>::eof(); c = in.sbumpc()) {
    if (budget == 0) return LineRead::tooLarge;
    --budget;
    any = true;
    if (c == '\n') return LineRead::line;
    line.push_back(static_cast<char>(c));
  }
  return any ? LineRead::line : LineRead::end;
}

}  // namespace

std::optional<std::vector<LogEvent>> readLog(std::istream& in, std::string* why) {
  std::vector<LogEvent> events;
  std::string line;
  std::size_t budget = kMaxLogBytes;
  if (!in.rdbuf()) return events;
  for (std::size_t number = 1;; ++number) {
    const LineRead read = nextLine(*in.rdbuf(), line, budget);
    if (read == LineRead::end) break;
    if (read == LineRead::tooLarge || events.size() == kMaxLogEvents) {
      if (why) {
        *why = "the log is larger than " + std::to_string(kMaxLogBytes / (1024 * 1024)) +
               " MB or " + std::to_string(kMaxLogEvents) + " events, more than a replay reads";
      }
      return std::nullopt;
    }
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
