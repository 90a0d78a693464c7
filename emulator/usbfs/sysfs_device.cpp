#include "emulator/usbfs/sysfs_device.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "emulator/trace.h"

namespace flashwell::emulator::usbfs {

namespace {

constexpr std::uint16_t kKeyVendor = 0x5F3A;
constexpr std::uint16_t kKeyProduct = 0x1001;

std::string hex4(std::uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", v);
  return text;
}

std::string three(unsigned v) {
  char text[8];
  std::snprintf(text, sizeof text, "%03u", v);
  return text;
}

}  // namespace

std::string devNode(std::uint8_t devnum) {
  return "/dev/bus/usb/" + three(kBus) + "/" + three(devnum);
}

std::vector<std::uint8_t> descriptorsFile(const SysfsDevice& d) {
  const std::uint8_t device[] = {
      18,
      1,
      0x10,
      0x01,  // USB 1.1
      d.deviceClass,
      0,
      0,
      d.maxPacket0,
      static_cast<std::uint8_t>(d.vendor),
      static_cast<std::uint8_t>(d.vendor >> 8),
      static_cast<std::uint8_t>(d.product),
      static_cast<std::uint8_t>(d.product >> 8),
      0x00,
      0x01,  // device release 1.00
      0,
      0,
      0,  // no strings
      1,  // one configuration
  };
  std::vector<std::uint8_t> bytes(sizeof device + d.configuration.size());
  std::copy(std::begin(device), std::end(device), bytes.begin());
  std::copy(d.configuration.begin(), d.configuration.end(),
            bytes.begin() + static_cast<std::ptrdiff_t>(sizeof device));
  return bytes;
}

std::string testbedText(const SysfsDevice& d) {
  const std::string node = devNode(d.devnum);
  std::string t;
  t += "P: " + d.sysPath + "\n";
  t += "N: " + node.substr(5) + "\n";
  t += "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n";
  t += "E: BUSNUM=" + three(kBus) + "\nE: DEVNUM=" + three(d.devnum) + "\n";
  t += "E: DEVNAME=" + node + "\n";
  char product[32];
  std::snprintf(product, sizeof product, "%x/%x/100", d.vendor, d.product);
  t += std::string("E: PRODUCT=") + product + "\n";
  t += "A: busnum=" + std::to_string(kBus) + "\\n\n";
  t += "A: devnum=" + std::to_string(d.devnum) + "\\n\n";
  t += "A: idVendor=" + hex4(d.vendor) + "\\n\n";
  t += "A: idProduct=" + hex4(d.product) + "\\n\n";
  // An unconfigured device's attribute is empty, without even a newline.
  t += std::string("A: bConfigurationValue=") + (d.configured ? "1\\n" : "") + "\n";
  t += "A: speed=12\\n\n";
  t += "H: descriptors=" + toHex(descriptorsFile(d)) + "\n";
  return t;
}

SysfsDevice rootHub() {
  SysfsDevice d;
  d.sysPath = "/devices/usb1";
  d.devnum = 1;
  d.vendor = 0x1d6b;  // the kernel's own root hubs
  d.product = 0x0001;
  d.deviceClass = 9;
  d.configuration = {9, 2, 25,   0, 1, 1, 0, 0xE0, 0,  // self-powered
                     9, 4, 0,    0, 1, 9, 0, 0,    0,  // the hub interface
                     7, 5, 0x81, 3, 2, 0, 12};         // its status endpoint
  return d;
}

SysfsDevice keyDevice(std::uint8_t devnum, std::span<const std::uint8_t> configuration,
                      bool configured) {
  SysfsDevice d;
  d.sysPath = "/devices/usb1/1-2";
  d.devnum = devnum;
  d.vendor = kKeyVendor;
  d.product = kKeyProduct;
  d.configured = configured;
  d.configuration.assign(configuration.begin(), configuration.end());
  return d;
}

SysfsDevice foreignDevice(std::uint8_t devnum) {
  SysfsDevice d;
  d.sysPath = "/devices/usb1/1-3";
  d.devnum = devnum;
  d.vendor = kKeyVendor;
  d.product = kKeyProduct;
  // A mass-storage interface with two bulk endpoints: the same vendor and product, but not the
  // key's interface.
  d.configuration = {9, 2,  32, 0, 1, 1,    0,    0x80, 50,  //
                     9, 4,  0,  0, 2, 0x08, 0x06, 0x50, 0,  7, 5, 0x81,
                     2, 64, 0,  0, 7, 5,    0x02, 2,    64, 0, 0};
  return d;
}

}  // namespace flashwell::emulator::usbfs
