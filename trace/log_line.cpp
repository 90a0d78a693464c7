// Writing a log line: apart from the reading in log_event.cpp, so that a program that only writes
// its traffic log (the Windows programs) does not carry the JSON parser.

#include <nlohmann/json.hpp>

#include "trace/log_event.h"

namespace flashwell::trace {

std::string toHex(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    text.push_back(kDigits[b >> 4]);
    text.push_back(kDigits[b & 0x0F]);
  }
  return text;
}

std::string toLogLine(const LogEvent& event) {
  nlohmann::ordered_json line;
  line["t"] = event.t;
  line["ev"] = event.ev;
  if (event.path) line["path"] = *event.path;
  if (event.ok) line["ok"] = *event.ok;
  if (event.setup) line["setup"] = *event.setup;
  if (event.data) line["data"] = *event.data;
  if (event.ep) line["ep"] = *event.ep;
  if (event.len) line["len"] = *event.len;
  if (event.error) line["error"] = *event.error;
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace flashwell::trace
