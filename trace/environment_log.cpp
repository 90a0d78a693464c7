#include "trace/environment_log.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "trace/log_file.h"
#include "trace/traced_driver.h"

namespace flashwell::trace {

namespace {

// The file, its writer and the decorator, alive as long as the program holds the driver.
struct LoggedDriver {
  LoggedDriver(std::shared_ptr<usb::UsbDriver> inner, usb::Clock& clock, const char* path)
      : inner(std::move(inner)),
        file(path, std::ios::trunc),
        writer(file),
        driver(*this->inner, clock, &writer) {}
  std::shared_ptr<usb::UsbDriver> inner;
  std::ofstream file;
  LogWriter writer;
  TracedDriver driver;
};

}  // namespace

std::shared_ptr<usb::UsbDriver> withEnvironmentLog(std::shared_ptr<usb::UsbDriver> driver,
                                                   usb::Clock& clock) {
  const char* path = std::getenv(kTraceVariable);
  if (!path || !*path) return driver;
  auto logged = std::make_shared<LoggedDriver>(driver, clock, path);
  if (!logged->file) {
    std::cerr << "flashwell: cannot write the traffic log to " << path << "\n";
    return driver;
  }
  return std::shared_ptr<usb::UsbDriver>(logged, &logged->driver);
}

}  // namespace flashwell::trace
