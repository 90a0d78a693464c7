#include "usb/libusb/transfer_plan.h"

#include <libusb.h>

#include "usb/bytes.h"
#include "usb/driver.h"

namespace flashwell::usb::libusb {

namespace {

constexpr std::uint32_t kErrorFileNotFound = 2;
constexpr std::uint32_t kErrorGenFailure = 31;
constexpr std::uint8_t kDeviceToHost = 0x80;

std::optional<TransferPlan> planControl(const UsbTransferRequest& r, std::size_t dataSize) {
  // The setup packet's own length is what goes over the bus; it has to fit both the length
  // the record gives and the buffer that came with it.
  const std::size_t wLength = le16(r.setup, 6);
  if (wLength > r.length || wLength > dataSize) return std::nullopt;
  TransferPlan plan;
  plan.kind = TransferKind::control;
  plan.setup = r.setup;
  plan.length = wLength;
  return plan;
}

std::optional<TransferPlan> planEndpoint(const UsbTransferRequest& r, std::size_t dataSize,
                                         const ConfigurationFields& configuration) {
  if (r.endpoint == 0 || r.endpoint > 0xFF || r.direction > 1) return std::nullopt;
  const auto endpoint = static_cast<std::uint8_t>(r.endpoint);
  if (((endpoint & kDeviceToHost) != 0) != (r.direction == 1)) return std::nullopt;
  if (r.length > dataSize || r.length > 0x7FFFFFFFu) return std::nullopt;
  const auto kind = endpointKind(configuration, endpoint);
  if (!kind || *kind == EndpointKind::other) return std::nullopt;
  TransferPlan plan;
  plan.kind = *kind == EndpointKind::bulk ? TransferKind::bulk : TransferKind::interrupt;
  plan.endpoint = endpoint;
  plan.length = r.length;
  return plan;
}

}  // namespace

std::optional<TransferPlan> planTransfer(std::uint32_t code, std::span<const std::uint8_t> record,
                                         std::size_t dataSize,
                                         const ConfigurationFields& configuration) {
  const auto decoded = decodeRecord(record);
  if (!decoded) return std::nullopt;
  std::optional<TransferPlan> plan;
  if (code == kIoctlControlTransfer) {
    plan = planControl(decoded->request, dataSize);
  } else if (code == kIoctlEndpointTransfer) {
    plan = planEndpoint(decoded->request, dataSize, configuration);
  }
  if (plan) plan->layout = decoded->layout;
  return plan;
}

std::uint32_t systemErrorForOpen(int libusbError) {
  switch (libusbError) {
    case LIBUSB_SUCCESS:
      return kErrorSuccess;
    case LIBUSB_ERROR_BUSY:
      return kErrorNoAccess;
    case LIBUSB_ERROR_ACCESS:
      return kErrorAccessDenied;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND:
      return kErrorFileNotFound;
    default:
      return kErrorGenFailure;
  }
}

}  // namespace flashwell::usb::libusb
