#pragma once

// The base of a driver that wraps another one: every request goes on to the wrapped driver as it
// is, so that a wrapper overrides only the requests it has something to add to.

#include "usb/driver.h"

namespace flashwell::usb {

class ForwardingDriver : public UsbDriver {
 public:
  // `inner` must outlive the wrapper.
  explicit ForwardingDriver(UsbDriver& inner) : inner_(inner) {}

  bool beginSearch() override { return inner_.beginSearch(); }
  InterfaceEntry interfaceAt(std::uint32_t index) override { return inner_.interfaceAt(index); }
  void endSearch() override { inner_.endSearch(); }
  OpenResult openExclusive(const std::string& path) override { return inner_.openExclusive(path); }
  std::optional<std::size_t> ioControlCounted(DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override {
    return inner_.ioControlCounted(handle, code, record, data);
  }
  void close(DriverHandle handle) override { inner_.close(handle); }
  std::uint16_t nativeProcessorArchitecture() override {
    return inner_.nativeProcessorArchitecture();
  }

 private:
  UsbDriver& inner_;
};

}  // namespace flashwell::usb
