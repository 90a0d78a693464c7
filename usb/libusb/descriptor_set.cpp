#include "usb/libusb/descriptor_set.h"

#include "usb/bytes.h"

namespace flashwell::usb::libusb {

namespace {

constexpr std::uint8_t kTypeConfiguration = 2;
constexpr std::uint8_t kTypeInterface = 4;
constexpr std::uint8_t kTypeEndpoint = 5;

const InterfaceFields* interfaceZero(const ConfigurationFields& configuration) {
  for (const InterfaceFields& interface : configuration.interfaces) {
    if (interface.number == 0) return &interface;
  }
  return nullptr;
}

}  // namespace

std::optional<std::size_t> assembleDescriptorSet(const ConfigurationFields& configuration,
                                                 std::span<std::uint8_t> out) {
  const InterfaceFields* interface = interfaceZero(configuration);
  if (interface == nullptr || interface->endpoints.empty()) return std::nullopt;
  constexpr std::size_t total =
      kConfigurationDescriptorLength + kInterfaceDescriptorLength + kEndpointDescriptorLength;
  if (out.size() < total) return std::nullopt;

  std::span<std::uint8_t> c = out.subspan(0, kConfigurationDescriptorLength);
  c[0] = kConfigurationDescriptorLength;
  c[1] = kTypeConfiguration;
  putLe16(c, 2, configuration.totalLength);
  c[4] = configuration.interfaceCount;
  c[5] = configuration.value;
  c[6] = configuration.stringIndex;
  c[7] = configuration.attributes;
  c[8] = configuration.maxPower;

  std::span<std::uint8_t> i =
      out.subspan(kConfigurationDescriptorLength, kInterfaceDescriptorLength);
  i[0] = kInterfaceDescriptorLength;
  i[1] = kTypeInterface;
  i[2] = interface->number;
  i[3] = interface->alternate;
  i[4] = static_cast<std::uint8_t>(interface->endpoints.size());
  i[5] = interface->interfaceClass;
  i[6] = interface->subClass;
  i[7] = interface->protocol;
  i[8] = interface->stringIndex;

  const EndpointFields& endpoint = interface->endpoints.front();
  std::span<std::uint8_t> e = out.subspan(
      kConfigurationDescriptorLength + kInterfaceDescriptorLength, kEndpointDescriptorLength);
  e[0] = kEndpointDescriptorLength;
  e[1] = kTypeEndpoint;
  e[2] = endpoint.address;
  e[3] = endpoint.attributes;
  putLe16(e, 4, endpoint.maxPacketSize);
  e[6] = endpoint.interval;
  return total;
}

bool hasKeyInterface(const ConfigurationFields& configuration) {
  const InterfaceFields* interface = interfaceZero(configuration);
  if (interface == nullptr || interface->interfaceClass != 0xFF || interface->subClass != 0 ||
      interface->protocol != 0 || interface->endpoints.size() != 3) {
    return false;
  }
  return endpointKind(configuration, 0x81) == EndpointKind::interrupt &&
         endpointKind(configuration, 0x02) == EndpointKind::bulk &&
         endpointKind(configuration, 0x82) == EndpointKind::bulk;
}

std::optional<EndpointKind> endpointKind(const ConfigurationFields& configuration,
                                         std::uint8_t address) {
  const InterfaceFields* interface = interfaceZero(configuration);
  if (interface == nullptr) return std::nullopt;
  for (const EndpointFields& endpoint : interface->endpoints) {
    if (endpoint.address != address) continue;
    switch (endpoint.attributes & 0x03) {
      case 2:
        return EndpointKind::bulk;
      case 3:
        return EndpointKind::interrupt;
      default:
        return EndpointKind::other;
    }
  }
  return std::nullopt;
}

}  // namespace flashwell::usb::libusb
