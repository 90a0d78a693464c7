#pragma once

// Writing a traffic log as it is taken, and reading one back.

#include <cstddef>
#include <functional>
#include <istream>
#include <mutex>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trace/log_event.h"

namespace flashwell::trace {

// Writes each event as one line and flushes it, so that the log of a session that ends
// abruptly is whole up to its last request. Safe to use from several threads.
class LogWriter {
 public:
  // Writes one line, its '\n' included, and flushes it.
  using LineSink = std::function<void(std::string_view line)>;

  explicit LogWriter(LineSink writeLine) : writeLine_(std::move(writeLine)) {}
  // A stream as the sink. Defined here, so that a program that writes its log with plain file
  // writes (the Windows programs) links no stream code.
  explicit LogWriter(std::ostream& out)
      : LogWriter([&out](std::string_view line) {
          out.write(line.data(), static_cast<std::streamsize>(line.size()));
          out.flush();
        }) {}
  void write(const LogEvent& event) {
    const std::string line = toLogLine(event) + '\n';
    std::lock_guard lock(mutex_);
    writeLine_(line);
  }

 private:
  std::mutex mutex_;
  LineSink writeLine_;
};

// The largest log that is read, in bytes and in events. A whole upgrade logs about 1 MB in about
// a thousand lines; the bounds keep the memory a log takes well under 100 MB.
inline constexpr std::size_t kMaxLogBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxLogEvents = 100000;

// Every event of a log, read as a stream; none when a line is not an event (`why` names the
// line) or the log is larger than the bounds above. Empty lines are passed over.
std::optional<std::vector<LogEvent>> readLog(std::istream& in, std::string* why);

}  // namespace flashwell::trace
