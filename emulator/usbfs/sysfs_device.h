#pragma once

// How a USB device looks in sysfs and /dev to the system's libusb: the text that umockdev's
// testbed takes for one device (its properties, its attributes and the `descriptors` file, which
// is where libusb reads the device and configuration descriptors from).

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace flashwell::emulator::usbfs {

inline constexpr std::uint8_t kBus = 1;

struct SysfsDevice {
  std::string sysPath;  // "/devices/usb1/1-2"
  std::uint8_t devnum = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  std::uint8_t deviceClass = 0;
  std::uint8_t maxPacket0 = 64;
  bool configured = true;  // bConfigurationValue is 1, or empty for an unconfigured device
  // Configuration, interface and endpoint descriptors, each led by its length byte.
  std::vector<std::uint8_t> configuration;
};

// "/dev/bus/usb/001/002"
std::string devNode(std::uint8_t devnum);
// The 18-byte device descriptor followed by the configuration.
std::vector<std::uint8_t> descriptorsFile(const SysfsDevice& device);
// The testbed's description of the device (P:, N:, E:, A: and H: lines).
std::string testbedText(const SysfsDevice& device);

// The root hub the devices hang off, the virtual key on port 2 and a device of the key's vendor
// that is not a key (mass storage) on port 3, which libusb lists first.
SysfsDevice rootHub();
SysfsDevice keyDevice(std::uint8_t devnum, std::span<const std::uint8_t> configuration,
                      bool configured);
SysfsDevice foreignDevice(std::uint8_t devnum);

}  // namespace flashwell::emulator::usbfs
