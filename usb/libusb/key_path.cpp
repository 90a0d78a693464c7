#include "usb/libusb/key_path.h"

#include <cstdio>

#include "usb/transfer_request.h"

namespace flashwell::usb::libusb {

bool isOfferedVendor(std::uint16_t vendorId) {
  return vendorId == 0x5F3A || vendorId == 0x0471;
}

std::string interfacePathFor(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t bus,
                             std::span<const std::uint8_t> ports) {
  char ids[32];
  std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendorId, productId);
  std::string path = std::string("\\\\?\\usb#") + ids + "#" + std::to_string(bus) + "-";
  if (ports.empty()) path += "0";
  for (std::size_t i = 0; i < ports.size(); ++i) {
    if (i > 0) path += ".";
    path += std::to_string(ports[i]);
  }
  return path + "#" + std::string(kKeyInterfaceClassText);
}

}  // namespace flashwell::usb::libusb
