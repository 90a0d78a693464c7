#include "usb/link.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "usb/bytes.h"

namespace flashwell::usb {

UsbLink::UsbLink(UsbDriver& driver, LinkNotices& notices) : driver_(driver), notices_(notices) {}

UsbLink::~UsbLink() {
  UsbClose();
}

bool UsbLink::UsbEnsureOpen() {
  if (handle_ != kNoHandle) return true;
  handle_ = UsbFindAndOpenKey();
  return handle_ != kNoHandle;
}

void UsbLink::UsbClose() {
  if (handle_ == kNoHandle) return;
  driver_.close(handle_);
  handle_ = kNoHandle;
}

DriverHandle UsbLink::UsbFindAndOpenKey() {
  path_.fill('\0');
  DriverHandle found = kNoHandle;
  if (driver_.beginSearch()) {
    for (std::uint32_t index = 0; index < kMaxMemberIndexes; ++index) {
      const InterfaceEntry entry = driver_.interfaceAt(index);
      if (entry.error == kErrorNoMoreItems) break;
      // A member that cannot be read is passed over, and so is one without a path.
      if (entry.error != kErrorSuccess || !entry.path) continue;
      if (const auto result = tryMember(*entry.path)) {
        found = *result;
        break;
      }
    }
    driver_.endSearch();
  }

  largePacket_ = true;
  if (found == kNoHandle) return kNoHandle;
  const auto maxPacket = firstEndpointMaxPacket(found);
  if (!maxPacket) {
    driver_.close(found);
    return kNoHandle;
  }
  if (*maxPacket == 8) largePacket_ = false;
  return found;
}

std::optional<DriverHandle> UsbLink::tryMember(const std::string& path) {
  // The buffer keeps the first 255 characters; the rest of it is cleared so that nothing of
  // a longer path looked at before is left behind the zero byte.
  const std::size_t kept = std::min({path.size(), path.find('\0'), kDevicePathSize - 1});
  std::fill(std::copy_n(path.begin(), kept, path_.begin()), path_.end(), '\0');

  const OpenResult opened = driver_.openExclusive(path);
  // The busy notice comes for any device of the class, matching or not.
  if (opened.handle == kNoHandle && opened.error == kErrorNoAccess) {
    notices_.anotherProgramUsesKey();
  }
  if (!UsbMatchKeyPath(path_)) {
    if (opened.handle != kNoHandle) driver_.close(opened.handle);
    return std::nullopt;
  }
  // The key: the search ends here, with or without a handle.
  if (opened.handle == kNoHandle && opened.error == kErrorAccessDenied && !accessDeniedShown_) {
    accessDeniedShown_ = true;
    notices_.keyAccessDenied(std::string(path_.data()));
  }
  return opened.handle;
}

// Reads the configuration, interface and first endpoint descriptors. The offsets come from
// the device, so the maximum packet size is only read where the driver actually put bytes.
std::optional<std::uint16_t> UsbLink::firstEndpointMaxPacket(DriverHandle handle) {
  std::array<std::uint8_t, kDescriptorBufferSize> buffer{};
  const auto returned = driver_.ioControlCounted(handle, kIoctlReadDescriptors, buffer, {});
  if (!returned) return std::nullopt;
  const std::span<const std::uint8_t> filled(buffer.data(), std::min(*returned, buffer.size()));
  const std::size_t a = buffer[0];
  const std::size_t b = a + buffer[a];
  return tryLe16(filled, b + 4);
}

bool UsbLink::UsbUse64BitLayout() {
  if (!layout64_) layout64_ = driver_.nativeProcessorArchitecture() == kArchitectureX64;
  return *layout64_;
}

bool UsbLink::UsbDriverIoctl(std::uint32_t code, std::span<std::uint8_t, kRecordSize32> record,
                             std::span<std::uint8_t> data) {
  if (!UsbUse64BitLayout()) return driver_.ioControl(handle_, code, record, data);
  Record64 wide = translate32To64(record);
  const bool ok = driver_.ioControl(handle_, code, wide, data);
  copyResultBack(wide, record);
  return ok;
}

int UsbLink::transfer(TransferKind kind, std::span<std::uint8_t> data, const SetupPacket& setup) {
  if (handle_ == kNoHandle) return -1;
  if (data.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return -1;
  const auto length = static_cast<std::uint32_t>(data.size());
  Record32 record = encode32(makeTransferRequest(kind, data.data(), length, setup));
  const std::uint32_t code =
      kind == TransferKind::control ? kIoctlControlTransfer : kIoctlEndpointTransfer;
  if (!UsbDriverIoctl(code, record, data)) return -1;
  const ResultOffsets at = resultOffsets(RecordLayout::bits32);
  const std::uint32_t moved = le32(record, at.bytesTransferred);
  if (le32(record, at.status) != kTransferStatusSuccess || moved == 0) return -1;
  // A count beyond the buffer cannot be true; a caller would read past what it owns.
  if (moved > length) return -1;
  return static_cast<int>(moved);
}

int UsbLink::UsbControlTransfer(std::span<std::uint8_t> data, const SetupPacket& setup) {
  return transfer(TransferKind::control, data, setup);
}

int UsbLink::UsbWriteEp2(std::span<const std::uint8_t> data) {
  // The seam hands every data buffer over writable; the caller's bytes (constant package data,
  // often) go out from a copy, so no backend can ever write into them.
  std::vector<std::uint8_t> copy(data.begin(), data.end());
  return transfer(TransferKind::writeEp2, copy, {});
}

int UsbLink::UsbReadEp2(std::span<std::uint8_t> data) {
  return transfer(TransferKind::readEp2, data, {});
}

int UsbLink::UsbReadEp1(std::span<std::uint8_t> data) {
  return transfer(TransferKind::readEp1, data, {});
}

}  // namespace flashwell::usb
