#include "trace/log_file.h"

namespace flashwell::trace {

void LogWriter::write(const LogEvent& event) {
  const std::string line = toLogLine(event) + '\n';
  std::lock_guard lock(mutex_);
  writeLine_(line);
}

}  // namespace flashwell::trace
