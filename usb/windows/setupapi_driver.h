#pragma once

// The key's kernel driver reached the Windows way: the present devices of its interface class
// through SetupAPI, the interface opened with CreateFileA, requests sent with DeviceIoControl.

#include <windows.h>

#include <setupapi.h>

#include "usb/driver.h"

namespace flashwell::usb::windows {

class SetupApiDriver final : public UsbDriver {
 public:
  SetupApiDriver() = default;
  ~SetupApiDriver() override;
  SetupApiDriver(const SetupApiDriver&) = delete;
  SetupApiDriver& operator=(const SetupApiDriver&) = delete;

  bool beginSearch() override;
  InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override;
  OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(DriverHandle handle) override;
  std::uint16_t nativeProcessorArchitecture() override;

 private:
  HDEVINFO devices_ = INVALID_HANDLE_VALUE;
};

}  // namespace flashwell::usb::windows
