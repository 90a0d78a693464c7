#pragma once

// A small scripted key behind the driver seam, for the protocol's unit tests: it answers the
// descriptor request, control transfers and endpoint transfers from a simple model (identity,
// memory, the program it runs, a restart that takes it off the bus for a while), records every
// request, and lets a test fail or delay any of them.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/request_block.h"
#include "tests/protocol/pause_recorder.h"
#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::protocol::testing {

struct FakeEvent {
  enum Kind { kOpen, kClose, kControl, kOut, kIn } kind = kOpen;
  std::uint64_t t = 0;
  std::array<std::uint8_t, 8> setup{};
  std::vector<std::uint8_t> data;  // payload, bytes sent or bytes returned
  std::uint32_t endpoint = 0;
  std::uint32_t length = 0;

  std::uint8_t code() const { return setup[1]; }
  std::uint8_t sub() const { return data.empty() ? 0 : data[0]; }
};

class FakeKey final : public usb::UsbDriver {
 public:
  explicit FakeKey(usb::SimulatedClock& clock);

  // Model.
  bool present = true;
  bool largePacket = true;
  KeyIdentity identity{};  // the identify reply; bytes 28-29 follow `program`
  std::uint16_t program = kProgramFirmware;
  // After a restart: the program the key comes back in, and how long it is off the bus.
  std::optional<std::uint16_t> programAfterRestart;  // default: the other one
  std::uint32_t restartAbsenceMs = 1500;
  // Plugged in at this virtual time (0: from the start).
  std::uint64_t plugInAt = 0;
  // Byte at a memory address (the 32-bit address of the read request, bit 30 included).
  std::function<std::uint8_t(std::uint32_t)> memory = [](std::uint32_t a) {
    return static_cast<std::uint8_t>((a * 7) ^ (a >> 8));
  };

  // Faults. Called for every transfer before it is answered: return false to fail it.
  std::function<bool(const FakeEvent&)> accept = [](const FakeEvent&) { return true; };
  // Milliseconds the key takes to acknowledge a control transfer.
  std::function<std::uint32_t(const FakeEvent&)> latencyMs = [](const FakeEvent&) { return 0; };
  // Called after every accepted control transfer (for tests that sample the request block).
  std::function<void(const FakeEvent&)> onCommand;

  std::vector<FakeEvent> events;
  std::vector<FakeEvent> controls() const;  // the control transfers only
  bool handleOpen() const { return openHandle_ != usb::kNoHandle; }
  std::size_t opens() const;

  // usb::UsbDriver
  bool beginSearch() override;
  usb::InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override {}
  usb::OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(usb::DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override {
    if (!answer(handle, code, record, data)) return std::nullopt;
    return record.size();
  }
  void close(usb::DriverHandle handle) override;
  std::uint16_t nativeProcessorArchitecture() override { return 0; }

  static constexpr const char* kPath =
      "\\\\?\\usb#vid_5f3a&pid_1001#1-1#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}";

 private:
  bool answer(usb::DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> record,
              std::span<std::uint8_t> data);
  bool onBus();
  FakeEvent makeEvent(FakeEvent::Kind kind);
  bool answerControl(FakeEvent& event);
  bool answerEndpoint(FakeEvent& event, std::span<std::uint8_t> data);

  usb::SimulatedClock& clock_;
  usb::DriverHandle openHandle_ = usb::kNoHandle;
  usb::DriverHandle nextHandle_ = 100;
  std::uint64_t backAt_ = 0;
  std::uint32_t readAddress_ = 0;
  std::uint32_t announced_ = 0;
  std::uint8_t lastShort_ = 0;
};

using usb::SilentNotices;

}  // namespace flashwell::protocol::testing
