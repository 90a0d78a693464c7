#pragma once

// How the libusb backend names the devices it offers: interface paths of the same shape as
// the Windows driver's, so that the one path test serves both.

#include <cstdint>
#include <span>
#include <string>

namespace flashwell::usb::libusb {

// Devices of these vendors are offered as members of the key's class.
bool isOfferedVendor(std::uint16_t vendorId);

// "\\?\usb#vid_5f3a&pid_1001#3-1.4#{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}" for bus 3, port
// chain 1.4; the bus and port chain tell two keys of the same product apart.
std::string interfacePathFor(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t bus,
                             std::span<const std::uint8_t> ports);

}  // namespace flashwell::usb::libusb
