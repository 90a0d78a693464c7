#include "emulator/standin/key_host.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "emulator/faults.h"
#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "usb/driver.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator::standin {

std::unique_ptr<KeyHost> KeyHost::start(const StandinConfig& config, std::ostream* log,
                                        std::string* error) {
  std::optional<KeyImage> image;
  if (config.keyFile && std::filesystem::exists(*config.keyFile)) {
    std::string why;
    image = loadKeyImage(*config.keyFile, &why);
    if (!image) {
      if (error) *error = *config.keyFile + ": " + why;
      return nullptr;
    }
  } else {
    image = namedKeyState(config.state);
    if (!image) {
      if (error) *error = "no starting state named '" + config.state + "'";
      return nullptr;
    }
  }
  std::unique_ptr<KeyHost> host(new KeyHost(config, log, VirtualKey(std::move(*image))));
  if (config.trace && !host->traceFile_.is_open()) {
    if (error) *error = *config.trace + ": cannot be written";
    return nullptr;
  }
  return host;
}

KeyHost::KeyHost(const StandinConfig& config, std::ostream* log, VirtualKey key)
    : config_(config), log_(log), key_(std::move(key)) {
  if (config_.trace) traceFile_.open(*config_.trace, std::ios::binary | std::ios::trunc);
  trace_ = std::make_unique<Trace>(traceFile_.is_open() ? &traceFile_ : nullptr);
  driver_ = std::make_unique<EmulatedDriver>(clock_, key_, trace_.get(), config_.plugged);
  // A 64-bit driver expects the 56-byte record from a 32-bit program, a 32-bit one the 48-byte
  // record: the architecture the emulated driver checks the layout against is the stand-in's own.
  driver_->setNativeArchitecture(sizeof(void*) == 8 ? usb::kArchitectureX64
                                                    : usb::kArchitectureX86);
  for (const std::string& fault : config_.faults) {
    if (const auto parsed = parseFault(fault)) driver_->addFaults(*parsed);
  }
}

KeyHost::~KeyHost() {
  stop_ = true;
  if (watcher_.joinable()) watcher_.join();
}

std::string KeyHost::interfacePathOfLink(std::string link) {
  if (link.rfind("\\??\\", 0) == 0) link.replace(0, 4, "\\\\?\\");
  std::transform(link.begin(), link.end(), link.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return link;
}

void KeyHost::setInterfaceLink(std::string link) {
  std::lock_guard lock(keyMutex_);
  keyPath_ = interfacePathOfLink(std::move(link));
  driver_->setKeyPath(keyPath_);
}

void KeyHost::watch(std::function<void(bool)> changed, std::uint32_t periodMs) {
  if (watcher_.joinable()) return;
  // The state the caller knows now, so that a change before the thread runs is reported too.
  watcher_ = std::thread([this, changed = std::move(changed), periodMs, was = present()]() mutable {
    while (!stop_) {
      clock_.sleepMs(periodMs);
      const bool now = present();
      if (now != was) changed(now);
      was = now;
    }
  });
}

bool KeyHost::present() {
  std::lock_guard lock(keyMutex_);
  return driver_->keyPresent();
}

usb::OpenResult KeyHost::open() {
  std::lock_guard lock(keyMutex_);
  return driver_->openExclusive(keyPath_);
}

void KeyHost::close(usb::DriverHandle handle) {
  std::lock_guard lock(keyMutex_);
  driver_->close(handle);
}

RelayResult KeyHost::request(usb::DriverHandle handle, std::uint32_t code,
                             std::span<std::uint8_t> systemBuffer, std::size_t inSize,
                             std::size_t outSize, CallerMemory& caller) {
  std::lock_guard lock(keyMutex_);
  const RelayResult result =
      relayRequest(*driver_, handle, code, systemBuffer, inSize, outSize, caller, counts_);
  if (!result.completed && log_) {
    *log_ << driver_->nowMs() << " ms: request " << std::hex << code << std::dec << " with "
          << inSize << " bytes failed: "
          << (result.callerMemoryFailed ? "the caller's buffer cannot be reached"
                                        : driver_->lastRejection())
          << std::endl;
  }
  return result;
}

bool KeyHost::finish(std::string* error) {
  std::lock_guard lock(keyMutex_);
  // A key left in the middle of a restart finishes it by itself: wait for that, so the key is
  // saved in the program it then runs.
  for (int waited = 0; driver_->eventsPending() && waited < 10000; waited += 10) clock_.sleepMs(10);
  if (config_.keyFile && !saveKeyImage(key_.image(), *config_.keyFile, error)) return false;
  if (config_.records) {
    std::ofstream out(*config_.records, std::ios::binary | std::ios::trunc);
    for (const auto& [size, count] : counts_.transferRecords) out << size << " " << count << "\n";
    out << "descriptor " << counts_.descriptorRequests << "\n";
    if (!out.flush()) {
      if (error) *error = *config_.records + ": cannot be written";
      return false;
    }
  }
  traceFile_.flush();
  return true;
}

void KeyHost::plug() {
  std::lock_guard lock(keyMutex_);
  driver_->plug();
}

void KeyHost::unplug() {
  std::lock_guard lock(keyMutex_);
  driver_->unplug();
}

RecordCounts KeyHost::counts() {
  std::lock_guard lock(keyMutex_);
  return counts_;
}

}  // namespace flashwell::emulator::standin
