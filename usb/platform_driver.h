#pragma once

// The driver of the platform a program is built for: SetupAPI and the key's kernel driver on
// Windows (library flashwell_usb_windows), libusb elsewhere (flashwell_usb_libusb). Programs
// link flashwell_usb_platform, which is the right one of the two.

#include <memory>

#include "usb/driver.h"

namespace flashwell::usb {

std::unique_ptr<UsbDriver> makePlatformDriver();

}  // namespace flashwell::usb
