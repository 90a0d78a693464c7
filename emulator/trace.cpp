#include "emulator/trace.h"

namespace flashwell::emulator {

Trace::Trace(std::ostream* out, bool keepEvents) : out_(out), keep_(keepEvents) {}

void Trace::record(TraceEvent event) {
  std::lock_guard lock(mutex_);
  if (out_) *out_ << trace::toLogLine(event) << '\n' << std::flush;
  if (keep_) events_.push_back(std::move(event));
}

std::vector<TraceEvent> Trace::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

namespace {
TraceEvent event(std::uint64_t t, const char* name) {
  TraceEvent e;
  e.t = t;
  e.ev = name;
  return e;
}

// An endpoint transfer: `data` is what was sent (out) or returned (in).
TraceEvent transfer(std::uint64_t t, const char* name, bool ok, std::uint32_t endpoint,
                    std::uint32_t length, std::span<const std::uint8_t> data) {
  TraceEvent e = event(t, name);
  e.ok = ok;
  e.data = toHex(data);
  e.ep = endpoint;
  e.len = length;
  return e;
}
}  // namespace

void Trace::plug(std::uint64_t t) {
  record(event(t, "plug"));
}
void Trace::unplug(std::uint64_t t) {
  record(event(t, "unplug"));
}

void Trace::open(std::uint64_t t, std::string_view path, bool ok) {
  TraceEvent e = event(t, "open");
  e.path = std::string(path);
  e.ok = ok;
  record(std::move(e));
}

void Trace::close(std::uint64_t t) {
  record(event(t, "close"));
}

void Trace::descriptor(std::uint64_t t, bool ok) {
  TraceEvent e = event(t, "descriptor");
  e.ok = ok;
  record(std::move(e));
}

void Trace::control(std::uint64_t t, bool ok, std::span<const std::uint8_t> setup,
                    std::span<const std::uint8_t> payload) {
  TraceEvent e = event(t, "control");
  e.ok = ok;
  e.setup = toHex(setup);
  e.data = toHex(payload);
  record(std::move(e));
}

void Trace::out(std::uint64_t t, bool ok, std::uint32_t endpoint, std::uint32_t length,
                std::span<const std::uint8_t> data) {
  record(transfer(t, "out", ok, endpoint, length, data));
}

void Trace::in(std::uint64_t t, bool ok, std::uint32_t endpoint, std::uint32_t length,
               std::span<const std::uint8_t> data) {
  record(transfer(t, "in", ok, endpoint, length, data));
}

}  // namespace flashwell::emulator
