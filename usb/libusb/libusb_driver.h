#pragma once

// The key's driver stood in for by libusb: the devices of the key's vendors that carry the key's
// interface appear as members of the class, an exclusive open claims interface 0 (configuring
// the key first if it came up unconfigured, and detaching a kernel driver bound to it), and the
// three driver requests become descriptor look-ups and libusb transfers. A transfer is carried
// out as one libusb transfer of the length asked for, on a small-packet key's interrupt endpoint
// too: the key sends a whole report as full packets, and the transfer ends when it is full.

#include <map>
#include <string>
#include <vector>

#include "usb/driver.h"
#include "usb/libusb/descriptor_set.h"
#include "usb/platform_driver.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace flashwell::usb::libusb {

class LibusbDriver final : public UsbDriver {
 public:
  // `texts`: the lines that say why the key could not be claimed.
  explicit LibusbDriver(ClaimTexts texts = {});
  ~LibusbDriver() override;
  LibusbDriver(const LibusbDriver&) = delete;
  LibusbDriver& operator=(const LibusbDriver&) = delete;

  bool beginSearch() override;
  InterfaceEntry interfaceAt(std::uint32_t index) override;
  void endSearch() override;
  OpenResult openExclusive(const std::string& path) override;
  std::optional<std::size_t> ioControlCounted(DriverHandle handle, std::uint32_t code,
                                              std::span<std::uint8_t> record,
                                              std::span<std::uint8_t> data) override;
  void close(DriverHandle handle) override;
  // Always x86: the 48-byte record is the one this backend is given, whatever the machine.
  std::uint16_t nativeProcessorArchitecture() override { return kArchitectureX86; }

 private:
  struct OpenDevice {
    libusb_device_handle* handle;
    ConfigurationFields configuration;
  };

  std::vector<std::string> offeredPaths();
  int claimKeyInterface(libusb_device* device, libusb_device_handle* handle);
  // What the user should know about a key that cannot be opened, once on the standard error.
  void tell(const std::string& text);
  // One of the claim texts with libusb's reason for `error` in place of its "%1".
  static std::string withReason(const std::string& text, int error);
  bool transfer(OpenDevice& device, std::uint32_t code, std::span<std::uint8_t> record,
                std::span<std::uint8_t> data);

  libusb_context* context_ = nullptr;
  std::vector<std::string> searchPaths_;
  std::map<DriverHandle, OpenDevice> open_;
  DriverHandle nextHandle_ = 1;
  ClaimTexts texts_;
  std::string lastTold_;
};

}  // namespace flashwell::usb::libusb
