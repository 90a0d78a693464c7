#include "usb/libusb/libusb_driver.h"

#include <libusb.h>

#include <limits>

#include "usb/bytes.h"
#include "usb/libusb/key_path.h"
#include "usb/libusb/transfer_plan.h"
#include "usb/platform_driver.h"

namespace flashwell::usb::libusb {

namespace {

constexpr std::uint32_t kTransferStatusFailed = 0;

std::optional<std::string> pathOf(libusb_device* device) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return std::nullopt;
  if (!isOfferedVendor(descriptor.idVendor)) return std::nullopt;
  std::uint8_t ports[8];
  const int count = libusb_get_port_numbers(device, ports, sizeof ports);
  if (count < 0) return std::nullopt;
  return interfacePathFor(descriptor.idVendor, descriptor.idProduct, libusb_get_bus_number(device),
                          std::span<const std::uint8_t>(ports, static_cast<std::size_t>(count)));
}

// libusb's parsed configuration in the terms of the descriptor set.
std::optional<ConfigurationFields> configurationOf(libusb_device* device) {
  libusb_config_descriptor* config = nullptr;
  if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return std::nullopt;
  ConfigurationFields fields;
  fields.totalLength = config->wTotalLength;
  fields.interfaceCount = config->bNumInterfaces;
  fields.value = config->bConfigurationValue;
  fields.stringIndex = config->iConfiguration;
  fields.attributes = config->bmAttributes;
  fields.maxPower = config->MaxPower;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& interface = config->interface[i];
    if (interface.num_altsetting < 1) continue;
    const libusb_interface_descriptor& alt = interface.altsetting[0];
    InterfaceFields f;
    f.number = alt.bInterfaceNumber;
    f.alternate = alt.bAlternateSetting;
    f.interfaceClass = alt.bInterfaceClass;
    f.subClass = alt.bInterfaceSubClass;
    f.protocol = alt.bInterfaceProtocol;
    f.stringIndex = alt.iInterface;
    for (int e = 0; e < alt.bNumEndpoints; ++e) {
      const libusb_endpoint_descriptor& ep = alt.endpoint[e];
      f.endpoints.push_back(
          {ep.bEndpointAddress, ep.bmAttributes, ep.wMaxPacketSize, ep.bInterval});
    }
    fields.interfaces.push_back(std::move(f));
  }
  libusb_free_config_descriptor(config);
  return fields;
}

}  // namespace

LibusbDriver::LibusbDriver() {
  if (libusb_init(&context_) != LIBUSB_SUCCESS) context_ = nullptr;
}

LibusbDriver::~LibusbDriver() {
  for (auto& [id, device] : open_) {
    libusb_release_interface(device.handle, 0);
    libusb_close(device.handle);
  }
  if (context_ != nullptr) libusb_exit(context_);
}

std::vector<std::string> LibusbDriver::offeredPaths() {
  std::vector<std::string> paths;
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  for (ssize_t i = 0; i < count; ++i) {
    if (auto path = pathOf(list[i])) paths.push_back(std::move(*path));
  }
  if (count >= 0) libusb_free_device_list(list, 1);
  return paths;
}

bool LibusbDriver::beginSearch() {
  if (context_ == nullptr) return false;
  searchPaths_ = offeredPaths();
  return true;
}

InterfaceEntry LibusbDriver::interfaceAt(std::uint32_t index) {
  if (index >= searchPaths_.size()) return {kErrorNoMoreItems, std::nullopt};
  return {kErrorSuccess, searchPaths_[index]};
}

void LibusbDriver::endSearch() {
  searchPaths_.clear();
}

OpenResult LibusbDriver::openExclusive(const std::string& path) {
  if (context_ == nullptr) return {kNoHandle, systemErrorForOpen(LIBUSB_ERROR_OTHER)};
  libusb_device** list = nullptr;
  const ssize_t count = libusb_get_device_list(context_, &list);
  libusb_device* wanted = nullptr;
  for (ssize_t i = 0; i < count && wanted == nullptr; ++i) {
    if (pathOf(list[i]) == path) wanted = list[i];
  }
  OpenResult result{kNoHandle, systemErrorForOpen(LIBUSB_ERROR_NOT_FOUND)};
  libusb_device_handle* handle = nullptr;
  if (wanted != nullptr) {
    int error = libusb_open(wanted, &handle);
    std::optional<ConfigurationFields> configuration;
    if (error == LIBUSB_SUCCESS) {
      // The claim is what makes the open exclusive: a second claim reports the device busy.
      error = libusb_claim_interface(handle, 0);
      if (error == LIBUSB_SUCCESS) {
        configuration = configurationOf(wanted);
        if (!configuration) {
          libusb_release_interface(handle, 0);
          error = LIBUSB_ERROR_OTHER;
        }
      }
      if (error != LIBUSB_SUCCESS) libusb_close(handle);
    }
    if (error == LIBUSB_SUCCESS) {
      const DriverHandle id = nextHandle_++;
      open_.emplace(id, OpenDevice{handle, std::move(*configuration)});
      result = {id, kErrorSuccess};
    } else {
      result.error = systemErrorForOpen(error);
    }
  }
  if (count >= 0) libusb_free_device_list(list, 1);
  return result;
}

bool LibusbDriver::ioControl(DriverHandle handle, std::uint32_t code,
                             std::span<std::uint8_t> record, std::span<std::uint8_t> data) {
  return ioControlCounted(handle, code, record, data).has_value();
}

std::optional<std::size_t> LibusbDriver::ioControlCounted(DriverHandle handle, std::uint32_t code,
                                                          std::span<std::uint8_t> record,
                                                          std::span<std::uint8_t> data) {
  const auto found = open_.find(handle);
  if (found == open_.end()) return std::nullopt;
  if (code == kIoctlReadDescriptors) {
    return assembleDescriptorSet(found->second.configuration, record);
  }
  if (!transfer(found->second, code, record, data)) return std::nullopt;
  return record.size();
}

bool LibusbDriver::transfer(OpenDevice& device, std::uint32_t code, std::span<std::uint8_t> record,
                            std::span<std::uint8_t> data) {
  const auto plan = planTransfer(code, record, data.size(), device.configuration);
  if (!plan) {
    writeResult(record, 0, kTransferStatusFailed);
    return false;
  }
  int moved = 0;
  int error = LIBUSB_SUCCESS;
  const int length = static_cast<int>(plan->length);
  switch (plan->kind) {
    case TransferKind::kControl: {
      const SetupPacket& s = plan->setup;
      const int result =
          libusb_control_transfer(device.handle, s[0], s[1], le16(s, 2), le16(s, 4), data.data(),
                                  static_cast<std::uint16_t>(plan->length), kTransferTimeoutMs);
      if (result < 0) {
        error = result;
      } else {
        moved = result;
      }
      break;
    }
    case TransferKind::kBulk:
      error = libusb_bulk_transfer(device.handle, plan->endpoint, data.data(), length, &moved,
                                   kTransferTimeoutMs);
      break;
    case TransferKind::kInterrupt:
      error = libusb_interrupt_transfer(device.handle, plan->endpoint, data.data(), length, &moved,
                                        kTransferTimeoutMs);
      break;
  }
  const bool ok = error == LIBUSB_SUCCESS;
  writeResult(record, static_cast<std::uint32_t>(moved),
              ok ? kTransferStatusSuccess : kTransferStatusFailed);
  return ok;
}

void LibusbDriver::close(DriverHandle handle) {
  const auto found = open_.find(handle);
  if (found == open_.end()) return;
  libusb_release_interface(found->second.handle, 0);
  libusb_close(found->second.handle);
  open_.erase(found);
}

}  // namespace flashwell::usb::libusb

namespace flashwell::usb {

std::unique_ptr<UsbDriver> makePlatformDriver() {
  return std::make_unique<libusb::LibusbDriver>();
}

}  // namespace flashwell::usb
