#include "usb/libusb/libusb_driver.h"

#include <libusb.h>

#include <iostream>
#include <limits>

#include "usb/bytes.h"
#include "usb/libusb/key_path.h"
#include "usb/libusb/transfer_plan.h"
#include "usb/platform_driver.h"

namespace flashwell::usb::libusb {

namespace {

constexpr std::uint32_t kTransferStatusFailed = 0;

// libusb's parsed configuration in the terms of the descriptor set.
ConfigurationFields fieldsOf(const libusb_config_descriptor& config) {
  ConfigurationFields fields;
  fields.totalLength = config.wTotalLength;
  fields.interfaceCount = config.bNumInterfaces;
  fields.value = config.bConfigurationValue;
  fields.stringIndex = config.iConfiguration;
  fields.attributes = config.bmAttributes;
  fields.maxPower = config.MaxPower;
  for (int i = 0; i < config.bNumInterfaces; ++i) {
    const libusb_interface& interface = config.interface[i];
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
  return fields;
}

enum class Configuration { first, active };

// The device's first configuration (read from the descriptors the system keeps: nothing is sent
// to the device, which need not be configured yet), or the one it is configured with.
std::optional<ConfigurationFields> configurationOf(libusb_device* device, Configuration which) {
  libusb_config_descriptor* config = nullptr;
  const int read = which == Configuration::first
                       ? libusb_get_config_descriptor(device, 0, &config)
                       : libusb_get_active_config_descriptor(device, &config);
  if (read != LIBUSB_SUCCESS) return std::nullopt;
  ConfigurationFields fields = fieldsOf(*config);
  libusb_free_config_descriptor(config);
  return fields;
}

// The interface path of a key; nullopt for any other device, of the key's vendors or not.
std::optional<std::string> pathOf(libusb_device* device) {
  libusb_device_descriptor descriptor{};
  if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return std::nullopt;
  if (!isOfferedVendor(descriptor.idVendor)) return std::nullopt;
  const auto configuration = configurationOf(device, Configuration::first);
  if (!configuration || !hasKeyInterface(*configuration)) return std::nullopt;
  std::uint8_t ports[8];
  const int count = libusb_get_port_numbers(device, ports, sizeof ports);
  if (count < 0) return std::nullopt;
  return interfacePathFor(descriptor.idVendor, descriptor.idProduct, libusb_get_bus_number(device),
                          std::span<const std::uint8_t>(ports, static_cast<std::size_t>(count)));
}

}  // namespace

LibusbDriver::LibusbDriver(ClaimTexts texts) : texts_(std::move(texts)) {
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
      error = claimKeyInterface(wanted, handle);
      if (error == LIBUSB_SUCCESS) {
        configuration = configurationOf(wanted, Configuration::active);
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

int LibusbDriver::claimKeyInterface(libusb_device* device, libusb_device_handle* handle) {
  // A kernel driver bound to the interface is let go for as long as the key is open and bound
  // again at the release.
  libusb_set_auto_detach_kernel_driver(handle, 1);
  // A key that came up unconfigured (configuration 0) has no interface to claim yet.
  int active = -1;
  int error = libusb_get_configuration(handle, &active);
  if (error == LIBUSB_SUCCESS && active == 0) {
    const auto first = configurationOf(device, Configuration::first);
    error = libusb_set_configuration(handle, first ? first->value : 1);
    if (error != LIBUSB_SUCCESS) {
      tell(withReason(texts_.notConfigured, error));
    }
  }
  if (error != LIBUSB_SUCCESS) return error;
  // The claim is what makes the open exclusive: with the kernel driver let go, a busy interface
  // is one that another program has claimed.
  error = libusb_claim_interface(handle, 0);
  if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_BUSY &&
      libusb_kernel_driver_active(handle, 0) == 1) {
    tell(withReason(texts_.kernelDriverHolds, error));
  }
  return error;
}

std::string LibusbDriver::withReason(const std::string& text, int error) {
  std::string told = text;
  const std::size_t at = told.find("%1");
  const std::string reason = libusb_strerror(static_cast<libusb_error>(error));
  if (at == std::string::npos) return told + " " + reason;
  return told.replace(at, 2, reason);
}

void LibusbDriver::tell(const std::string& text) {
  if (text == lastTold_) return;
  lastTold_ = text;
  std::cerr << "flashwell: " << text << "\n";
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
    case TransferKind::control: {
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
    case TransferKind::bulk:
      error = libusb_bulk_transfer(device.handle, plan->endpoint, data.data(), length, &moved,
                                   kTransferTimeoutMs);
      break;
    case TransferKind::interrupt:
      error = libusb_interrupt_transfer(device.handle, plan->endpoint, data.data(), length, &moved,
                                        kTransferTimeoutMs);
      break;
  }
  // A stalled bulk or interrupt endpoint stays halted until the host clears it: left so, every
  // later transfer on it would stall too, until the key is pulled.
  if (error == LIBUSB_ERROR_PIPE && plan->kind != TransferKind::control) {
    libusb_clear_halt(device.handle, plan->endpoint);
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

std::unique_ptr<UsbDriver> makePlatformDriver(const ClaimTexts& texts) {
  return std::make_unique<libusb::LibusbDriver>(texts);
}

}  // namespace flashwell::usb
