#pragma once

// A driver that passes every request on to another one and writes what crossed the seam to a
// traffic log: the same log for SetupAPI, libusb and the emulated driver. It only looks at the
// requests and their answers, after the fact; what is sent and when stays the wrapped driver's.

#include <cstdint>
#include <functional>
#include <mutex>

#include "trace/log_file.h"
#include "usb/clock.h"
#include "usb/forwarding_driver.h"

namespace flashwell::trace {

class TracedDriver final : public usb::ForwardingDriver {
 public:
  // Times are taken on `clock`, from now. `inner` and `writer` must outlive the driver; without a
  // writer the events only go to the observer.
  TracedDriver(usb::UsbDriver& inner, usb::Clock& clock, LogWriter* writer);

  // Called with every event after it is written (on the thread that made the request).
  void setObserver(std::function<void(const LogEvent&)> observer);

  // The requests that are logged; the end of a search and the architecture pass as they are.
  bool beginSearch() override;
  usb::InterfaceEntry interfaceAt(std::uint32_t index) override;
  usb::OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(usb::DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(usb::DriverHandle handle) override;

 private:
  LogEvent event(const char* name);
  void emit(const LogEvent& event);
  void descriptorEvent(std::span<const std::uint8_t> buffer, std::optional<std::size_t> returned);
  void transferEvent(std::uint32_t code, std::span<const std::uint8_t> record,
                     std::span<const std::uint8_t> data, bool returned);

  usb::Clock& clock_;
  LogWriter* writer_;
  std::mutex mutex_;  // guards the time below
  std::uint32_t lastTick_;
  std::uint64_t now_ = 0;
  std::function<void(const LogEvent&)> observer_;
};

}  // namespace flashwell::trace
