#pragma once

// Sends one framed command to the key and judges it against its time limit. The limit is
// checked after the transfer has returned (the transfer itself is never cut short), on the
// unsigned 32-bit difference of two ticks, so a wrap of the tick counter does not matter.
//
//   SendCommand(code, sub, address, length, p1..p4) -> true when accepted in time
//       (no key: false and nothing closed; failed or late transfer: false and the key closed)
//   SendCommandOrClose(...)                          -> same, and closes the key on false
//   RestartTimer()                                   -> starts a time measurement
//   CheckElapsed(limit)                              -> tooLong when more than limit ms passed,
//                                                       else restarts the measurement, inTime
//
// One channel per link; it is used by the worker thread only.

#include <cstdint>

#include "protocol/command_frame.h"
#include "usb/clock.h"
#include "usb/link.h"

namespace flashwell::protocol {

enum class Elapsed { inTime = 1, tooLong = 57 };

class CommandChannel {
 public:
  CommandChannel(usb::UsbLink& link, usb::Clock& clock) : link_(link), clock_(clock) {}

  bool SendCommand(std::uint8_t code, std::uint8_t sub, std::uint32_t address, std::uint32_t length,
                   std::uint32_t p1 = 0, std::uint32_t p2 = 0, std::uint32_t p3 = 0,
                   std::uint32_t p4 = 0);
  bool SendCommandOrClose(std::uint8_t code, std::uint8_t sub, std::uint32_t address,
                          std::uint32_t length, std::uint32_t p1 = 0, std::uint32_t p2 = 0,
                          std::uint32_t p3 = 0, std::uint32_t p4 = 0);

  void RestartTimer();
  Elapsed CheckElapsed(std::uint32_t limitMs);

 private:
  usb::UsbLink& link_;
  usb::Clock& clock_;
  std::uint32_t startTick_ = 0;
};

}  // namespace flashwell::protocol
