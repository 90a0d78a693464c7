#pragma once

// One event of a traffic log: what crossed the driver seam, one JSON object per line,
// {"t":..,"ev":..,"path":..,"ok":..,"setup":..,"data":..,"ep":..,"len":..,"error":..}, each field
// only on the events that carry it. It is the virtual key's trace format; a log taken on the
// host side adds what a replay needs to answer the host as the bus did:
//   search      ok: whether the class query succeeded
//   member      ok; path when the member has one; error (the system error) when not ok
//   open        path, ok; error when not ok
//   descriptor  ok; data: the bytes the driver wrote back
//   control     ok, setup, data (the payload after the transfer)
//   out, in     ok, data (sent, respectively returned), ep, len
//   close

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace flashwell::trace {

struct LogEvent {
  std::uint64_t t = 0;  // milliseconds since the log began
  std::string ev;
  std::optional<std::string> path;
  std::optional<bool> ok;
  std::optional<std::string> setup;  // 16 lower-case hex digits
  std::optional<std::string> data;   // lower-case hex, no separators
  std::optional<std::uint32_t> ep;
  std::optional<std::uint32_t> len;
  std::optional<std::uint32_t> error;
  std::size_t line = 0;  // the line it was read from; not written
};

// Lower-case hex, two digits a byte, no separators.
std::string toHex(std::span<const std::uint8_t> bytes);
// The bytes of a hex string; none when it has an odd length or a character that is no digit.
std::optional<std::vector<std::uint8_t>> fromHex(std::string_view text);

// One line of the log, without its newline. Paths that are not valid UTF-8 are written with
// replacement characters rather than refused.
std::string toLogLine(const LogEvent& event);
// Parses one line; none (and why) when it is not an event of the log.
std::optional<LogEvent> parseLogLine(std::string_view line, std::string* why);

}  // namespace flashwell::trace
