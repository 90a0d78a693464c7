#pragma once

// The record of everything that crosses the emulated driver, one JSON object per line:
// {"t":..,"ev":..,"path":..,"ok":..,"setup":..,"data":..,"ep":..,"len":..}, each field only
// on the events that carry it. Times are milliseconds since the trace began.

#include <cstdint>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "trace/log_event.h"

namespace flashwell::emulator {

// The key's trace is a traffic log taken at the key's side: same events, same lines.
using TraceEvent = trace::LogEvent;
using trace::toHex;

class Trace {
 public:
  // Writes each event to `out` (when given) as it is recorded, and keeps it in memory as well
  // when `keepEvents` is set. Safe to record from several threads.
  explicit Trace(std::ostream* out = nullptr, bool keepEvents = false);

  void plug(std::uint64_t t);
  void unplug(std::uint64_t t);
  void open(std::uint64_t t, std::string_view path, bool ok);
  void close(std::uint64_t t);
  void descriptor(std::uint64_t t, bool ok);
  void control(std::uint64_t t, bool ok, std::span<const std::uint8_t> setup,
               std::span<const std::uint8_t> payload);
  // `data`: for out the bytes sent, for in the bytes returned.
  void out(std::uint64_t t, bool ok, std::uint32_t endpoint, std::uint32_t length,
           std::span<const std::uint8_t> data);
  void in(std::uint64_t t, bool ok, std::uint32_t endpoint, std::uint32_t length,
          std::span<const std::uint8_t> data);

  void record(TraceEvent event);

  // The events kept so far (empty unless keepEvents was set). Copies, so that another thread
  // may go on recording.
  std::vector<TraceEvent> events() const;

 private:
  mutable std::mutex mutex_;
  std::ostream* out_;
  bool keep_;
  std::vector<TraceEvent> events_;
};

}  // namespace flashwell::emulator
