// flashwell: the desktop program, reaching the key through libusb.

#include <memory>

#include "app/qt/desktop_program.h"
#include "trace/environment_log.h"
#include "usb/libusb/libusb_driver.h"

int main(int argc, char** argv) {
  return flashwell::app::qt::runDesktopProgram(argc, argv, [](flashwell::usb::Clock& clock) {
    // FLASHWELL_TRACE=FILE logs the traffic with the key.
    return flashwell::trace::withEnvironmentLog(
        std::make_shared<flashwell::usb::libusb::LibusbDriver>(), clock);
  });
}
