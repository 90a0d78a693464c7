#pragma once

// A driver that answers the program from a recorded traffic log instead of a key: each request
// is checked against the next recorded one, in order, and answered as the key answered it then,
// at the time it was answered then. Searches of the bus are answered as the bus looked at that
// time, so a program that polls a little more or less often than the recorded one still
// follows the log. The first request that differs ends the replay: it and every request after
// it fail, and difference() tells which. So does a run that asks for more than the log holds,
// or that is still waiting well after the log's last event: the replay has run out.

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "trace/log_event.h"
#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::trace {

struct ReplayDifference {
  std::size_t line = 0;  // the line of the recorded request; 0 when the log ran out
  std::string recorded;  // the recorded request, or what was left of the log
  std::string sent;      // the program's request, or that it asked for none
};

// Why a log cannot be replayed (empty, no search of the bus, a request without the fields that
// its answer needs, a time more than a day in); empty when it can.
std::string whyNotReplayable(const std::vector<LogEvent>& events);

class ReplayDriver final : public usb::UsbDriver {
 public:
  // `events` must be replayable. Its time starts now on `clock`.
  ReplayDriver(usb::Clock& clock, std::vector<LogEvent> events);

  // The first request that differed, if one did, or where the log ran out. Any thread.
  std::optional<ReplayDifference> difference();
  // At the end of a run: the first request the program did not make, if the log holds more.
  std::optional<ReplayDifference> leftOver();

  bool beginSearch() override;
  usb::InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override {}
  usb::OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(usb::DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(usb::DriverHandle handle) override;
  std::uint16_t nativeProcessorArchitecture() override { return usb::kArchitectureX86; }

 private:
  struct Search {
    std::size_t at;  // index of the search event
    std::uint64_t t;
    bool ok;
    std::vector<usb::InterfaceEntry> members;
  };

  std::uint64_t nowMs();
  // The next recorded request when it is described as `sent`, after waiting until its time;
  // otherwise the difference is noted and none is returned.
  const LogEvent* take(const std::string& sent);

  usb::Clock& clock_;
  std::vector<LogEvent> events_;
  std::vector<std::size_t> requests_;  // indexes of the request events, in order
  std::vector<Search> searches_;
  std::size_t next_ = 0;  // into requests_
  const Search* searching_ = nullptr;
  usb::DriverHandle nextHandle_ = 1;
  std::uint32_t lastTick_;
  std::uint64_t now_ = 0;
  std::size_t lastLine_ = 0;
  std::uint64_t lastEventMs_ = 0;
  std::mutex timeMutex_;  // guards now_ and lastTick_
  std::mutex mutex_;      // guards difference_
  std::optional<ReplayDifference> difference_;
};

// How a request reads in a difference: "control setup=... data=...", "in ep=130 len=64"...
std::string describeRequest(const LogEvent& event);

}  // namespace flashwell::trace
