#pragma once

// A short session through the real link, on any driver (the virtual key on a bench, with the
// host's log or without, or a replay): open, identify, announce a read, read.

#include <cstdint>
#include <vector>

#include "usb/link.h"

namespace flashwell::trace::testing {

// What the host got back from a session.
struct SessionResult {
  std::vector<int> returns;  // every primitive's result
  std::vector<std::uint8_t> read;
  bool operator==(const SessionResult&) const = default;
};

// The commands of the session, on any link.
inline SessionResult runSession(usb::UsbLink& link, std::uint8_t firstCommand = 14) {
  SessionResult r;
  r.returns.push_back(link.UsbEnsureOpen());
  // Identify, then a read of 128 bytes through endpoint 2.
  std::vector<std::uint8_t> identify{7, 0, 0, 0, 0, 0};
  r.returns.push_back(link.UsbControlTransfer(identify, {0x40, firstCommand, 0, 0, 0, 0, 6, 0}));
  std::vector<std::uint8_t> setupRead{0, 0, 0, 128, 0, 1};
  r.returns.push_back(link.UsbControlTransfer(setupRead, {0x40, 12, 0, 0, 0x71, 0x04, 6, 0}));
  r.read.resize(128);
  r.returns.push_back(link.UsbReadEp2(r.read));
  link.UsbClose();
  return r;
}

}  // namespace flashwell::trace::testing
