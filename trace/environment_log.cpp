#include "trace/environment_log.h"

#include <cstdio>
#include <cstdlib>

#include "trace/log_file.h"
#include "trace/traced_driver.h"

namespace flashwell::trace {

namespace {

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file, its writer and the decorator, alive as long as the program holds the driver. Plain
// file writes: the Windows programs carry no stream library for the log.
struct LoggedDriver {
  LoggedDriver(std::shared_ptr<usb::UsbDriver> inner, usb::Clock& clock, const char* path)
      : inner(std::move(inner)),
        file(std::fopen(path, "w")),
        writer([this](std::string_view line) {
          std::fwrite(line.data(), 1, line.size(), file.get());
          std::fflush(file.get());
        }),
        driver(*this->inner, clock, &writer) {}
  std::shared_ptr<usb::UsbDriver> inner;
  std::unique_ptr<std::FILE, CloseFile> file;
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
    std::fprintf(stderr, "flashwell: cannot write the traffic log to %s\n", path);
    return driver;
  }
  return std::shared_ptr<usb::UsbDriver>(logged, &logged->driver);
}

}  // namespace flashwell::trace
