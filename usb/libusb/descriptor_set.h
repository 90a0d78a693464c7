#pragma once

// The answer to the descriptor request, assembled from a device's configuration as libusb
// parses it: the configuration descriptor, the descriptor of interface 0 and that of its first
// endpoint, one after the other, each led by its length byte. The endpoint table is also what
// tells a bulk endpoint from an interrupt one.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace flashwell::usb::libusb {

struct EndpointFields {
  std::uint8_t address = 0;
  std::uint8_t attributes = 0;  // the low two bits: 0 control, 1 isochronous, 2 bulk, 3 interrupt
  std::uint16_t maxPacketSize = 0;
  std::uint8_t interval = 0;
};

struct InterfaceFields {
  std::uint8_t number = 0;
  std::uint8_t alternate = 0;
  std::uint8_t interfaceClass = 0;
  std::uint8_t subClass = 0;
  std::uint8_t protocol = 0;
  std::uint8_t stringIndex = 0;
  std::vector<EndpointFields> endpoints;
};

struct ConfigurationFields {
  std::uint16_t totalLength = 0;
  std::uint8_t interfaceCount = 0;
  std::uint8_t value = 0;
  std::uint8_t stringIndex = 0;
  std::uint8_t attributes = 0;
  std::uint8_t maxPower = 0;
  std::vector<InterfaceFields> interfaces;  // the first alternate setting of each
};

inline constexpr std::size_t kConfigurationDescriptorLength = 9;
inline constexpr std::size_t kInterfaceDescriptorLength = 9;
inline constexpr std::size_t kEndpointDescriptorLength = 7;

// Writes the three descriptors into `out` and gives the bytes written; nullopt when the
// configuration has no interface 0, that interface no endpoint, or `out` no room for them.
std::optional<std::size_t> assembleDescriptorSet(const ConfigurationFields& configuration,
                                                 std::span<std::uint8_t> out);

// Whether the configuration has the key's interface, as the udev rule knows it: interface 0 of
// the vendor class (0xFF, subclass 0, protocol 0) with interrupt in 0x81, bulk out 0x02 and bulk
// in 0x82. Other devices of the key's vendors (its storage devices, its other products) are
// left alone.
bool hasKeyInterface(const ConfigurationFields& configuration);

enum class EndpointKind { bulk, interrupt, other };

// The transfer type of an endpoint of interface 0; nullopt when it has no such endpoint.
std::optional<EndpointKind> endpointKind(const ConfigurationFields& configuration,
                                         std::uint8_t address);

}  // namespace flashwell::usb::libusb
