#include "tests/support/key_traffic.h"

#include <algorithm>

namespace flashwell::support {

std::vector<KeyRequest> keyRequests(const KeyBench& bench) {
  std::vector<KeyRequest> requests;
  for (const emulator::TraceEvent& e : bench.traceEvents()) {
    if (e.ev == "plug" || e.ev == "unplug") continue;
    KeyRequest r;
    r.ev = e.ev;
    r.t = e.t;
    r.ok = e.ok.value_or(false);
    if (e.setup) {
      const auto setup = trace::fromHex(*e.setup);
      if (setup && setup->size() == r.setup.size()) {
        std::copy(setup->begin(), setup->end(), r.setup.begin());
      }
    }
    if (e.data) r.data = trace::fromHex(*e.data).value_or(std::vector<std::uint8_t>{});
    r.endpoint = e.ep.value_or(0);
    r.length = e.len.value_or(0);
    requests.push_back(std::move(r));
  }
  return requests;
}

std::vector<KeyRequest> keyControls(const KeyBench& bench) {
  std::vector<KeyRequest> controls = keyRequests(bench);
  std::erase_if(controls, [](const KeyRequest& r) { return r.ev != "control"; });
  return controls;
}

std::size_t countControls(const KeyBench& bench, std::uint8_t code, std::uint8_t sub) {
  const std::vector<KeyRequest> controls = keyControls(bench);
  return static_cast<std::size_t>(std::count_if(
      controls.begin(), controls.end(), [&](const KeyRequest& r) { return r.is(code, sub); }));
}

std::size_t countOpens(const KeyBench& bench) {
  const std::vector<KeyRequest> requests = keyRequests(bench);
  return static_cast<std::size_t>(std::count_if(
      requests.begin(), requests.end(), [](const KeyRequest& r) { return r.ev == "open"; }));
}

}  // namespace flashwell::support
