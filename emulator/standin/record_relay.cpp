#include "emulator/standin/record_relay.h"

#include <algorithm>
#include <vector>

#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator::standin {

namespace {

constexpr std::size_t kAddressOffset = 16;
constexpr std::uint32_t kLargestTransfer = 16u << 20;

// The data address as a driver of the record's width reads it: 4 bytes in the 48-byte layout,
// 8 in the 56-byte one.
std::uint64_t dataAddress(std::span<const std::uint8_t> record, usb::RecordLayout layout) {
  const std::uint64_t low = usb::le32(record, kAddressOffset);
  if (layout == usb::RecordLayout::bits32) return low;
  return low | (static_cast<std::uint64_t>(usb::le32(record, kAddressOffset + 4)) << 32);
}

void putAddress(std::span<std::uint8_t> record, usb::RecordLayout layout, std::uint64_t address) {
  usb::putLe32(record, kAddressOffset, static_cast<std::uint32_t>(address));
  if (layout == usb::RecordLayout::bits64) {
    usb::putLe32(record, kAddressOffset + 4, static_cast<std::uint32_t>(address >> 32));
  }
}

}  // namespace

RelayResult relayRequest(usb::UsbDriver& driver, usb::DriverHandle handle, std::uint32_t code,
                         std::span<std::uint8_t> systemBuffer, std::size_t inSize,
                         std::size_t outSize, CallerMemory& caller, RecordCounts& counts) {
  inSize = std::min(inSize, systemBuffer.size());
  outSize = std::min(outSize, systemBuffer.size());
  RelayResult result;
  if (code == usb::kIoctlReadDescriptors) {
    ++counts.descriptorRequests;
    const auto count = driver.ioControlCounted(handle, code, systemBuffer.first(outSize), {});
    if (count) result = {true, std::min(*count, outSize), false};
    return result;
  }

  std::vector<std::uint8_t> record(systemBuffer.begin(),
                                   systemBuffer.begin() + static_cast<std::ptrdiff_t>(inSize));
  if (code == usb::kIoctlControlTransfer || code == usb::kIoctlEndpointTransfer) {
    ++counts.transferRecords[record.size()];
  }
  std::vector<std::uint8_t> data;
  const auto decoded = usb::decodeRecord(record);
  std::uint64_t address = 0;
  if (decoded) {
    // A record of a known size names the caller's buffer: the driver works on a copy. A length
    // no transfer of the key comes near is refused before anything is allocated for it.
    address = dataAddress(record, decoded->layout);
    if (decoded->request.length > kLargestTransfer) {
      result.callerMemoryFailed = true;
      return result;
    }
    data.resize(decoded->request.length);
    if (!data.empty() && !caller.read(address, data)) {
      result.callerMemoryFailed = true;
      return result;
    }
    putAddress(record, decoded->layout, reinterpret_cast<std::uintptr_t>(data.data()));
  }
  const std::vector<std::uint8_t> sent = data;
  const auto count = driver.ioControlCounted(handle, code, record, data);
  if (!count) return result;
  if (data != sent && !caller.write(address, data)) {
    result.callerMemoryFailed = true;
    return result;
  }
  if (decoded) putAddress(record, decoded->layout, address);
  const std::size_t back = std::min({*count, outSize, record.size()});
  std::copy_n(record.begin(), back, systemBuffer.begin());
  return {true, back, false};
}

}  // namespace flashwell::emulator::standin
