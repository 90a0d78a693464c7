#pragma once

// The start of a Linux desktop program: the single-instance guard, the application, the main
// dialog on the system clock. The programs differ only in how they reach the key.

#include <functional>
#include <memory>

#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::app::qt {

// Makes the program's driver once the guard has passed; it may use the clock.
using DriverFactory = std::function<std::shared_ptr<usb::UsbDriver>(usb::Clock& clock)>;

// Runs the program; the exit code: 0 after the dialog ended (or --help, --version), 1 when
// another instance runs, 2 when there is no display to open the window on.
int runDesktopProgram(int& argc, char** argv, const DriverFactory& makeDriver);

}  // namespace flashwell::app::qt
