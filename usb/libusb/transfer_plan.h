#pragma once

// What a transfer record asks of the libusb backend: which libusb transfer, on which endpoint,
// for how many bytes. Records that ask for more than the data buffer holds, name an endpoint the
// interface does not have or point the wrong way are refused, never carried out.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "usb/libusb/descriptor_set.h"
#include "usb/transfer_request.h"

namespace flashwell::usb::libusb {

// Every libusb transfer gives up after this long and is reported as failed.
inline constexpr unsigned kTransferTimeoutMs = 20000;

enum class TransferKind { control, bulk, interrupt };

struct TransferPlan {
  TransferKind kind = TransferKind::control;
  std::uint8_t endpoint = 0;  // 0 for a control transfer
  SetupPacket setup{};        // control transfers only: sent as it stands
  std::size_t length = 0;     // bytes to move, from the start of the data buffer
  RecordLayout layout = RecordLayout::bits32;
};

// `code` is the driver request, `record` its 48- or 56-byte record and `dataSize` the size of
// the data buffer that came with it.
std::optional<TransferPlan> planTransfer(std::uint32_t code, std::span<const std::uint8_t> record,
                                         std::size_t dataSize,
                                         const ConfigurationFields& configuration);

// The system error that an open or claim failing with this libusb error is reported as.
std::uint32_t systemErrorForOpen(int libusbError);

}  // namespace flashwell::usb::libusb
