#pragma once

// The traffic logs of the headless flasher's runs: read, and cut to lines that compare across
// runs; and the recorded logs of whole upgrades.

#include <filesystem>
#include <string>
#include <vector>

#include "trace/log_event.h"

namespace flashwell::cli::testing {

// The events of a log file (none when it cannot be read).
std::vector<trace::LogEvent> readEvents(const std::filesystem::path& path);
// Its control and endpoint transfers, and its requests to the driver, as comparable lines
// without their times.
std::vector<std::string> transfers(const std::vector<trace::LogEvent>& events);
std::vector<std::string> requests(const std::vector<trace::LogEvent>& events);

// The recorded log of a whole upgrade in `mode` on the virtual key.
std::filesystem::path fixture(const std::string& mode);

}  // namespace flashwell::cli::testing
