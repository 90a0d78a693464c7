// The trace writer over arbitrary transfer bytes and interface paths: every event becomes one
// line of JSON that reads back to the same fields, the bytes as lower-case hex.

#include <fuzzer/FuzzedDataProvider.h>

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>

#include "emulator/trace.h"

namespace {

// Whether `text` is valid UTF-8 (the writer keeps such a path as it is).
bool validUtf8(const std::string& text) {
  try {
    (void)nlohmann::json(text).dump();
    return true;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace flashwell::emulator;
  FuzzedDataProvider in(data, size);
  std::ostringstream out;
  Trace trace(&out, true);

  while (in.remaining_bytes() > 0) {
    const std::uint64_t t = in.ConsumeIntegral<std::uint64_t>();
    const bool ok = in.ConsumeBool();
    const std::uint32_t endpoint = in.ConsumeIntegral<std::uint32_t>();
    const std::uint32_t length = in.ConsumeIntegral<std::uint32_t>();
    switch (in.ConsumeIntegralInRange(0, 7)) {
      case 0:
        trace.open(t, in.ConsumeRandomLengthString(300), ok);
        break;
      case 1: {
        const auto setup = in.ConsumeBytes<std::uint8_t>(8);
        const auto payload = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 64));
        trace.control(t, ok, setup, payload);
        break;
      }
      case 2:
        trace.out(t, ok, endpoint, length,
                  in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 4096)));
        break;
      case 3:
        trace.in(t, ok, endpoint, length,
                 in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 4096)));
        break;
      case 4:
        trace.descriptor(t, ok);
        break;
      case 5:
        trace.plug(t);
        break;
      case 6:
        trace.unplug(t);
        break;
      default:
        trace.close(t);
    }
  }

  // One line per event, each of them JSON with the event's own fields.
  const std::vector<TraceEvent> events = trace.events();
  std::istringstream lines(out.str());
  std::string line;
  std::size_t n = 0;
  while (std::getline(lines, line)) {
    if (n >= events.size()) std::abort();
    const TraceEvent& e = events[n++];
    const auto j = nlohmann::json::parse(line, nullptr, false);
    if (j.is_discarded() || !j.is_object()) std::abort();
    if (j.value("t", std::uint64_t{0}) != e.t || j.value("ev", std::string()) != e.ev) std::abort();
    if (e.data && j.value("data", std::string("?")) != *e.data) std::abort();
    if (e.setup && j.value("setup", std::string("?")) != *e.setup) std::abort();
    if (e.ok && j.value("ok", !*e.ok) != *e.ok) std::abort();
    if (e.ep && j.value("ep", std::uint64_t{1} << 40) != *e.ep) std::abort();
    if (e.len && j.value("len", std::uint64_t{1} << 40) != *e.len) std::abort();
    if (e.path && !j.contains("path")) std::abort();
    if (e.path && validUtf8(*e.path) && j["path"].get<std::string>() != *e.path) std::abort();
    for (const std::string* hex : {e.data ? &*e.data : nullptr, e.setup ? &*e.setup : nullptr}) {
      if (!hex) continue;
      if (hex->size() % 2 != 0) std::abort();
      for (char c : *hex) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) std::abort();
      }
    }
  }
  if (n != events.size()) std::abort();
  return 0;
}
