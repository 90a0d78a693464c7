#pragma once

// The traffic log of the windowed programs, which take no command line: when FLASHWELL_TRACE
// names a file, the program's driver is wrapped so that everything crossing it is written there.

#include <memory>

#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::trace {

inline constexpr const char* kTraceVariable = "FLASHWELL_TRACE";

// `driver` itself when FLASHWELL_TRACE is unset or empty; otherwise a driver that logs to that
// file and keeps `driver` alive. A file that cannot be written is said on the standard error
// and the program goes on without a log.
std::shared_ptr<usb::UsbDriver> withEnvironmentLog(std::shared_ptr<usb::UsbDriver> driver,
                                                   usb::Clock& clock);

}  // namespace flashwell::trace
