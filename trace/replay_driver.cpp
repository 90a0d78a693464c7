#include "trace/replay_driver.h"

#include <algorithm>

#include "usb/transfer_request.h"

namespace flashwell::trace {

namespace {

constexpr std::uint32_t kErrorGenFailure = 31;
// The longest the program waits without a request: the 10 s it gives a key to come back from
// a restart, plus the longest limit of a command (12 s). A run still waiting that long after
// the log's last event waits for something the log does not hold.
constexpr std::uint64_t kLongestPauseMs = 10000 + 12000;
// The latest time a replayable log may give an event.
constexpr std::uint64_t kMaxEventMs = 24ull * 60 * 60 * 1000;
constexpr std::uint8_t kDeviceToHost = 0x80;

bool isRequest(const std::string& ev) {
  return ev == "open" || ev == "descriptor" || ev == "control" || ev == "out" || ev == "in" ||
         ev == "close";
}

bool readsFromKey(const std::string& setupHex) {
  const auto setup = fromHex(setupHex);
  return setup && !setup->empty() && ((*setup)[0] & kDeviceToHost) != 0;
}

std::vector<std::uint8_t> bytesOf(const std::optional<std::string>& hex) {
  if (!hex) return {};
  return fromHex(*hex).value_or(std::vector<std::uint8_t>{});
}

// The request that a driver call makes, as an event of the log (without answer fields).
LogEvent transferRequest(std::uint32_t code, std::span<const std::uint8_t> record,
                         std::span<const std::uint8_t> data) {
  LogEvent e;
  const auto decoded = usb::decodeRecord(record);
  const usb::UsbTransferRequest r = decoded ? decoded->request : usb::UsbTransferRequest{};
  const auto bytes = data.first(std::min<std::size_t>(r.length, data.size()));
  if (code == usb::kIoctlControlTransfer) {
    e.ev = "control";
    e.setup = toHex(r.setup);
    e.data = toHex(bytes);
  } else {
    e.ev = r.endpoint == 0x02 ? "out" : "in";
    e.ep = r.endpoint;
    e.len = r.length;
    if (e.ev == "out") e.data = toHex(bytes);
  }
  return e;
}

}  // namespace

std::string describeRequest(const LogEvent& e) {
  if (e.ev == "open") return "open " + e.path.value_or("");
  if (e.ev == "control") {
    const std::string setup = e.setup.value_or("");
    const std::string data = e.data.value_or("");
    if (readsFromKey(setup))
      return "control setup=" + setup + " len=" + std::to_string(data.size() / 2);
    return "control setup=" + setup + " data=" + data;
  }
  if (e.ev == "out") {
    return "out ep=" + std::to_string(e.ep.value_or(0)) + " data=" + e.data.value_or("");
  }
  if (e.ev == "in") {
    return "in ep=" + std::to_string(e.ep.value_or(0)) +
           " len=" + std::to_string(e.len.value_or(0));
  }
  return e.ev;
}

std::string whyNotReplayable(const std::vector<LogEvent>& events) {
  if (events.empty()) return "the log is empty";
  bool searched = false;
  for (const LogEvent& e : events) {
    const std::string at = "line " + std::to_string(e.line) + ": ";
    if (e.t > kMaxEventMs) {
      return at + "\"t\" is " + std::to_string(e.t) + " ms, more than a day into the log";
    }
    if (e.ev == "search") searched = true;
    if ((e.ev == "search" || e.ev == "member" || isRequest(e.ev)) && e.ev != "close" && !e.ok) {
      return at + e.ev + " without \"ok\"";
    }
    if (e.ev == "open" && !e.path) return at + "open without \"path\"";
    if (e.ev == "control" && (!e.setup || !e.data)) return at + "control without setup or data";
    if ((e.ev == "out" || e.ev == "in") && (!e.ep || !e.len || !e.data)) {
      return at + e.ev + " without ep, len or data";
    }
    if (e.ev == "descriptor" && *e.ok && !e.data) return at + "descriptor without data";
  }
  if (!searched) return "no search of the bus: a log taken on the key's side cannot be replayed";
  return {};
}

ReplayDriver::ReplayDriver(usb::Clock& clock, std::vector<LogEvent> events)
    : clock_(clock), events_(std::move(events)), lastTick_(clock.tickMs()) {
  for (std::size_t i = 0; i < events_.size(); ++i) {
    const LogEvent& e = events_[i];
    lastLine_ = std::max(lastLine_, e.line);
    lastEventMs_ = std::max(lastEventMs_, e.t);
    if (isRequest(e.ev)) requests_.push_back(i);
    if (e.ev == "search") searches_.push_back({i, e.t, e.ok.value_or(false), {}});
    if (e.ev == "member" && !searches_.empty()) {
      usb::InterfaceEntry entry;
      entry.error = e.ok.value_or(false) ? usb::kErrorSuccess : e.error.value_or(kErrorGenFailure);
      entry.path = e.path;
      searches_.back().members.push_back(entry);
    }
  }
}

std::uint64_t ReplayDriver::nowMs() {
  std::lock_guard lock(timeMutex_);
  const std::uint32_t tick = clock_.tickMs();
  now_ += static_cast<std::uint32_t>(tick - lastTick_);
  lastTick_ = tick;
  return now_;
}

std::optional<ReplayDifference> ReplayDriver::difference() {
  const std::uint64_t now = nowMs();
  std::lock_guard lock(mutex_);
  if (!difference_ && now > lastEventMs_ + kLongestPauseMs) {
    difference_ =
        ReplayDifference{0,
                         "nothing after line " + std::to_string(lastLine_) +
                             ", its last event at " + std::to_string(lastEventMs_) + " ms",
                         "nothing yet, still waiting at " + std::to_string(now) + " ms"};
  }
  return difference_;
}

std::optional<ReplayDifference> ReplayDriver::leftOver() {
  if (auto d = difference()) return d;
  if (next_ >= requests_.size()) return std::nullopt;
  const LogEvent& e = events_[requests_[next_]];
  return ReplayDifference{e.line, describeRequest(e), "nothing: the run had ended"};
}

const LogEvent* ReplayDriver::take(const std::string& sent) {
  {
    std::lock_guard lock(mutex_);
    if (difference_) return nullptr;
    if (next_ >= requests_.size()) {
      difference_ = ReplayDifference{
          0, "nothing: the log had ended after line " + std::to_string(lastLine_), sent};
      return nullptr;
    }
    const LogEvent& e = events_[requests_[next_]];
    if (describeRequest(e) != sent) {
      difference_ = ReplayDifference{e.line, describeRequest(e), sent};
      return nullptr;
    }
  }
  const LogEvent& e = events_[requests_[next_++]];
  // The request is answered when it was answered then.
  const std::uint64_t now = nowMs();
  if (e.t > now)
    clock_.sleepMs(static_cast<std::uint32_t>(std::min<std::uint64_t>(e.t - now, 0xFFFFFFFFu)));
  return &e;
}

bool ReplayDriver::beginSearch() {
  // The bus as the last search recorded before the next request found it, at or before now.
  const std::size_t limit = next_ < requests_.size() ? requests_[next_] : events_.size();
  const std::uint64_t now = nowMs();
  searching_ = nullptr;
  for (const Search& s : searches_) {
    if (s.at > limit) break;
    if (!searching_ || s.t <= now) searching_ = &s;
  }
  if (difference()) searching_ = nullptr;
  return searching_ && searching_->ok;
}

usb::InterfaceEntry ReplayDriver::interfaceAt(std::uint32_t index) {
  if (!searching_ || index >= searching_->members.size()) {
    return {usb::kErrorNoMoreItems, std::nullopt};
  }
  return searching_->members[index];
}

usb::OpenResult ReplayDriver::openExclusive(const std::string& path) {
  LogEvent request;
  request.ev = "open";
  request.path = path;
  const LogEvent* e = take(describeRequest(request));
  if (!e) return {usb::kNoHandle, kErrorGenFailure};
  if (!*e->ok) return {usb::kNoHandle, e->error.value_or(kErrorGenFailure)};
  return {nextHandle_++, usb::kErrorSuccess};
}

std::optional<std::size_t> ReplayDriver::ioControlCounted(usb::DriverHandle, std::uint32_t code,
                                                          std::span<std::uint8_t> record,
                                                          std::span<std::uint8_t> data) {
  if (code == usb::kIoctlReadDescriptors) {
    LogEvent request;
    request.ev = "descriptor";
    const LogEvent* e = take(describeRequest(request));
    if (!e || !*e->ok) return std::nullopt;
    const std::vector<std::uint8_t> set = bytesOf(e->data);
    const std::size_t count = std::min(set.size(), record.size());
    std::copy_n(set.begin(), count, record.begin());
    return count;
  }
  const LogEvent request = transferRequest(code, record, data);
  const LogEvent* e = take(describeRequest(request));
  if (!e || !*e->ok) return std::nullopt;
  const auto decoded = usb::decodeRecord(record);
  if (!decoded) return std::nullopt;
  const std::uint32_t length = decoded->request.length;
  std::uint32_t moved = length;
  const bool answered = request.ev == "in" || (request.ev == "control" && readsFromKey(*e->setup));
  if (answered) {
    const std::vector<std::uint8_t> bytes = bytesOf(e->data);
    const std::size_t count = std::min({bytes.size(), data.size(), std::size_t{length}});
    std::copy_n(bytes.begin(), count, data.begin());
    if (request.ev == "in") moved = static_cast<std::uint32_t>(count);
  }
  usb::writeResult(record, moved, usb::kTransferStatusSuccess);
  return record.size();
}

void ReplayDriver::close(usb::DriverHandle) {
  LogEvent request;
  request.ev = "close";
  take(describeRequest(request));
}

}  // namespace flashwell::trace
