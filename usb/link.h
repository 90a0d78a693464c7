#pragma once

// The link to the key: finding it among the devices of its driver's class, opening it, and the
// transfer primitives that the key's command protocol is built on. One UsbLink is the one link
// state of a run; only the worker thread uses it, so it takes no lock.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "usb/driver.h"
#include "usb/path_match.h"
#include "usb/transfer_request.h"

namespace flashwell::usb {

// The search gives up after this many member indexes when enumeration keeps failing.
inline constexpr std::uint32_t kMaxMemberIndexes = 256;

class UsbLink {
 public:
  UsbLink(UsbDriver& driver, LinkNotices& notices);
  ~UsbLink();
  UsbLink(const UsbLink&) = delete;
  UsbLink& operator=(const UsbLink&) = delete;

  // Whether a key handle is held afterwards (at once when one is held already).
  bool UsbEnsureOpen();
  // Closes the held handle, if any.
  void UsbClose();
  bool isOpen() const { return handle_ != kNoHandle; }

  // Transfers on the held handle: bytes transferred, or -1 when there is no handle, the driver
  // request fails, the status is not success or no byte moved. They never retry or close.
  int UsbControlTransfer(std::span<std::uint8_t> data, const SetupPacket& setup);
  int UsbWriteEp2(std::span<const std::uint8_t> data);
  int UsbReadEp2(std::span<std::uint8_t> data);
  int UsbReadEp1(std::span<std::uint8_t> data);

  // False when the key last found reported a maximum packet size of 8 on its first endpoint.
  bool UsbIsLargePacketKey() const { return largePacket_; }

  // Whether requests go out in the 56-byte layout (64-bit Windows); probed once, then kept.
  bool UsbUse64BitLayout();

  // The interface path of the device last looked at by a search (all zero bytes before one).
  const DevicePath& devicePath() const { return path_; }

 private:
  DriverHandle UsbFindAndOpenKey();
  // Looks at one member of the class: nullopt when it is not the key and the search goes on,
  // else the search's result (kNoHandle when the key could not be opened).
  std::optional<DriverHandle> tryMember(const std::string& path);
  // The maximum packet size of the key's first endpoint; nullopt when the descriptor request
  // fails or its answer does not hold the field.
  std::optional<std::uint16_t> firstEndpointMaxPacket(DriverHandle handle);
  bool UsbDriverIoctl(std::uint32_t code, std::span<std::uint8_t, kRecordSize32> record,
                      std::span<std::uint8_t> data);
  int transfer(TransferKind kind, std::span<std::uint8_t> data, const SetupPacket& setup);

  UsbDriver& driver_;
  LinkNotices& notices_;
  DriverHandle handle_ = kNoHandle;
  DevicePath path_{};
  bool largePacket_ = true;
  std::optional<bool> layout64_;
  bool accessDeniedShown_ = false;
};

}  // namespace flashwell::usb
