#pragma once

// The virtual key behind the stand-in driver: the key in its starting state, the emulated
// driver that checks and answers every request as the key's own driver would, the trace, and a
// watcher that tells the driver whenever the key leaves the bus or comes back. Runs at the
// pace of the system clock. Safe to call from several threads.

#include <atomic>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

#include "emulator/emulated_driver.h"
#include "emulator/standin/record_relay.h"
#include "emulator/standin/standin_config.h"
#include "emulator/trace.h"
#include "emulator/virtual_key.h"
#include "usb/clock.h"

namespace flashwell::emulator::standin {

class KeyHost {
 public:
  // The key as the configuration describes it; nullptr with the reason in `error` when its
  // saved state cannot be read or a file cannot be written. `log` (may be null) receives a line
  // for every request that fails, with the driver's reason; it must outlive the host.
  static std::unique_ptr<KeyHost> start(const StandinConfig& config, std::ostream* log,
                                        std::string* error);
  ~KeyHost();
  KeyHost(const KeyHost&) = delete;
  KeyHost& operator=(const KeyHost&) = delete;

  // The interface path of the key as the system lists it, from the kernel's name of the
  // interface link (\??\ROOT#VID_...#{...} becomes \\?\root#vid_...#{...}).
  void setInterfaceLink(std::string link);
  static std::string interfacePathOfLink(std::string link);

  // Polls the key's presence every `periodMs` and calls `changed` on each change, from a thread
  // of its own, until the host ends.
  void watch(std::function<void(bool present)> changed, std::uint32_t periodMs = 20);
  bool present();

  usb::OpenResult open();
  void close(usb::DriverHandle handle);
  RelayResult request(usb::DriverHandle handle, std::uint32_t code,
                      std::span<std::uint8_t> systemBuffer, std::size_t inSize, std::size_t outSize,
                      CallerMemory& caller);

  // Saves the key to its file (when it has one) and writes the record counts; false with the
  // reason in `error` when a file could not be written.
  bool finish(std::string* error);
  void plug();
  void unplug();

  RecordCounts counts();

 private:
  KeyHost(const StandinConfig& config, std::ostream* log, VirtualKey key);

  StandinConfig config_;
  std::ostream* log_;
  usb::SystemClock clock_;
  VirtualKey key_;
  std::ofstream traceFile_;
  std::unique_ptr<Trace> trace_;
  std::unique_ptr<EmulatedDriver> driver_;
  // Held over every call into the driver, so that the key is saved between requests.
  std::mutex keyMutex_;
  std::string keyPath_ = kDefaultKeyPath;
  RecordCounts counts_;
  std::atomic<bool> stop_{false};
  std::thread watcher_;
};

}  // namespace flashwell::emulator::standin
