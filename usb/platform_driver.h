#pragma once

// The driver of the platform a program is built for: SetupAPI and the key's kernel driver on
// Windows (library flashwell_usb_windows), libusb elsewhere (flashwell_usb_libusb). Programs
// link flashwell_usb_platform, which is the right one of the two.

#include <memory>
#include <string>

#include "usb/driver.h"

namespace flashwell::usb {

// What a backend that claims the key itself (libusb) tells the user when it cannot, "%1"
// standing for the USB library's reason. English unless the program words them in the user's
// language (its own text table holds them in every language of the package).
struct ClaimTexts {
  std::string notConfigured = "the key is not configured and could not be configured: %1";
  std::string kernelDriverHolds =
      "a kernel driver holds the key's interface and could not be detached: %1";
};

std::unique_ptr<UsbDriver> makePlatformDriver(const ClaimTexts& texts = {});

}  // namespace flashwell::usb
