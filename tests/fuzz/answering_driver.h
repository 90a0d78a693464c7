#pragma once

// A driver whose every answer comes from the fuzzer's input: the interface path, whether each
// request completes, the status and byte count it reports, the bytes an in transfer or the
// descriptor request returns, and how long the key takes (on the simulated clock). Once the
// input runs out every request fails.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "emulator/emulated_driver.h"
#include "usb/clock.h"
#include "usb/driver.h"
#include "usb/transfer_request.h"

namespace flashwell::fuzzing {

class AnsweringDriver final : public usb::UsbDriver {
 public:
  AnsweringDriver(FuzzedDataProvider& in, usb::SimulatedClock& clock) : in_(in), clock_(clock) {}

  bool beginSearch() override { return true; }
  usb::InterfaceEntry interfaceAt(std::uint32_t index) override {
    if (index > 0) return {usb::kErrorNoMoreItems, std::nullopt};
    return {usb::kErrorSuccess, std::string(emulator::kDefaultKeyPath)};
  }
  void endSearch() override {}
  usb::OpenResult openExclusive(const std::string&) override {
    if (in_.remaining_bytes() == 0) return {usb::kNoHandle, 2};
    return {1, usb::kErrorSuccess};
  }
  std::optional<std::size_t> ioControlCounted(usb::DriverHandle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override {
    if (in_.remaining_bytes() == 0 || !in_.ConsumeBool()) return std::nullopt;
    clock_.sleepMs(in_.ConsumeIntegralInRange<std::uint32_t>(0, 13000));
    if (code == usb::kIoctlReadDescriptors) {
      const auto bytes =
          in_.ConsumeBytes<std::uint8_t>(in_.ConsumeIntegralInRange<std::size_t>(0, record.size()));
      std::copy(bytes.begin(), bytes.end(), record.begin());
      return bytes.size();
    }
    const auto decoded = usb::decodeRecord(record);
    if (!decoded) return std::nullopt;
    const std::uint32_t length = decoded->request.length;
    // Mostly a clean answer, so that the reads get deep; otherwise any status and count.
    std::uint32_t moved = length;
    std::uint32_t status = usb::kTransferStatusSuccess;
    if (in_.ConsumeIntegralInRange(0, 7) == 0) {
      moved = in_.ConsumeIntegral<std::uint32_t>();
      status =
          in_.ConsumeBool() ? usb::kTransferStatusSuccess : in_.ConsumeIntegral<std::uint32_t>();
    }
    // A read gets bytes from the input: the endpoint reads have the direction bit set.
    if ((decoded->request.endpoint & 0x80) != 0) {
      const auto bytes = in_.ConsumeBytes<std::uint8_t>(std::min<std::size_t>(length, data.size()));
      std::copy(bytes.begin(), bytes.end(), data.begin());
    }
    usb::writeResult(record, moved, status);
    return record.size();
  }
  void close(usb::DriverHandle) override {}
  std::uint16_t nativeProcessorArchitecture() override { return architecture_; }
  void setArchitecture(std::uint16_t a) { architecture_ = a; }

 private:
  FuzzedDataProvider& in_;
  usb::SimulatedClock& clock_;
  std::uint16_t architecture_ = 0;
};

}  // namespace flashwell::fuzzing
