#include "tests/support/key_bench.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "emulator/faults.h"
#include "emulator/named_states.h"
#include "trace/traced_driver.h"

namespace flashwell::support {

emulator::KeyImage namedKey(std::string_view name) {
  std::optional<emulator::KeyImage> image = emulator::namedKeyState(name);
  if (!image) throw std::invalid_argument("no key state named " + std::string(name));
  return std::move(*image);
}

KeyBench::KeyBench(emulator::KeyImage image, bool keepTrace, usb::Clock* time, bool plugged)
    : time_(time != nullptr ? *time : clock) {
  if (keepTrace) trace = std::make_unique<emulator::Trace>(nullptr, true);
  key = std::make_unique<emulator::VirtualKey>(std::move(image));
  driver = std::make_unique<emulator::EmulatedDriver>(time_, *key, trace.get(), plugged);
  link = std::make_unique<usb::UsbLink>(*driver, notices);
}

KeyBench::~KeyBench() = default;

void KeyBench::logHost() {
  hostWriter_ = std::make_unique<trace::LogWriter>(hostLog_);
  traced_ = std::make_unique<trace::TracedDriver>(*driver, time_, hostWriter_.get());
  link = std::make_unique<usb::UsbLink>(*traced_, notices);
}

std::vector<trace::LogEvent> KeyBench::hostEvents() const {
  std::istringstream in(hostLog_.str());
  std::string why;
  std::optional<std::vector<trace::LogEvent>> events = trace::readLog(in, &why);
  if (!events) throw std::runtime_error("the host's log does not read back: " + why);
  return std::move(*events);
}

void KeyBench::addFault(std::string_view fault) {
  std::string error;
  const std::optional<std::vector<emulator::Fault>> faults = emulator::parseFault(fault, &error);
  if (!faults) throw std::invalid_argument("not a fault: " + std::string(fault) + ": " + error);
  driver->addFaults(*faults);
}

std::vector<emulator::TraceEvent> KeyBench::traceEvents() const {
  return trace ? trace->events() : std::vector<emulator::TraceEvent>{};
}

bool KeyBench::traceHasRestart() const {
  // The restart command: vendor request 15, parameter 4.
  for (const emulator::TraceEvent& e : traceEvents()) {
    if (e.ev == "control" && e.setup && e.setup->substr(2, 2) == "0f" && e.data &&
        e.data->substr(0, 2) == "04") {
      return true;
    }
  }
  return false;
}

std::vector<std::string> KeyBench::keyWrites() const {
  std::vector<std::string> writes;
  for (const emulator::TraceEvent& e : traceEvents()) {
    if (e.ev != "control" || !e.setup || !e.data || e.setup->size() < 4 || e.data->size() < 2) {
      continue;
    }
    const std::string request = e.setup->substr(2, 2);
    const std::string sub = e.data->substr(0, 2);
    const std::string line = "t=" + std::to_string(e.t) + " " + *e.setup + " " + *e.data;
    // Flash command (15): 1 erases the firmware area, 2 programs a block of it.
    if (request == "0f" && (sub == "01" || sub == "02")) writes.push_back(line);
    // The data erase: short command (14) 18 on a small-packet key, long command (13) 7.
    if ((request == "0e" && sub == "12") || (request == "0d" && sub == "07")) {
      writes.push_back(line);
    }
    // Long command 15 commits a component block; with 0xFFFF in its second parameter it only
    // opens the region.
    if (request == "0d" && sub == "0f" && e.data->substr(6, 4) != "ffff") writes.push_back(line);
  }
  return writes;
}

bool inOrder(const std::vector<std::string>& whole, const std::vector<std::string>& part) {
  auto at = whole.begin();
  for (const std::string& p : part) {
    at = std::find(at, whole.end(), p);
    if (at == whole.end()) return false;
    ++at;
  }
  return true;
}

}  // namespace flashwell::support
