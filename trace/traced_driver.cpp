#include "trace/traced_driver.h"

#include <algorithm>

#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::trace {

TracedDriver::TracedDriver(usb::UsbDriver& inner, usb::Clock& clock, LogWriter* writer)
    : ForwardingDriver(inner), clock_(clock), writer_(writer), lastTick_(clock.tickMs()) {}

void TracedDriver::setObserver(std::function<void(const LogEvent&)> observer) {
  observer_ = std::move(observer);
}

LogEvent TracedDriver::event(const char* name) {
  LogEvent e;
  {
    std::lock_guard lock(mutex_);
    const std::uint32_t tick = clock_.tickMs();
    now_ += static_cast<std::uint32_t>(tick - lastTick_);
    lastTick_ = tick;
    e.t = now_;
  }
  e.ev = name;
  return e;
}

void TracedDriver::emit(const LogEvent& e) {
  if (writer_) writer_->write(e);
  if (observer_) observer_(e);
}

bool TracedDriver::beginSearch() {
  const bool ok = ForwardingDriver::beginSearch();
  LogEvent e = event("search");
  e.ok = ok;
  emit(e);
  return ok;
}

usb::InterfaceEntry TracedDriver::interfaceAt(std::uint32_t index) {
  usb::InterfaceEntry entry = ForwardingDriver::interfaceAt(index);
  LogEvent e = event("member");
  e.ok = entry.error == usb::kErrorSuccess;
  e.path = entry.path;
  if (entry.error != usb::kErrorSuccess) e.error = entry.error;
  emit(e);
  return entry;
}

usb::OpenResult TracedDriver::openExclusive(const std::string& path) {
  const usb::OpenResult result = ForwardingDriver::openExclusive(path);
  LogEvent e = event("open");
  e.path = path;
  e.ok = result.handle != usb::kNoHandle;
  if (!*e.ok) e.error = result.error;
  emit(e);
  return result;
}

std::optional<std::size_t> TracedDriver::ioControlCounted(usb::DriverHandle handle,
                                                          std::uint32_t code,
                                                          std::span<std::uint8_t> record,
                                                          std::span<std::uint8_t> data) {
  const std::optional<std::size_t> returned =
      ForwardingDriver::ioControlCounted(handle, code, record, data);
  if (code == usb::kIoctlReadDescriptors) {
    descriptorEvent(record, returned);
  } else {
    transferEvent(code, record, data, returned.has_value());
  }
  return returned;
}

void TracedDriver::descriptorEvent(std::span<const std::uint8_t> buffer,
                                   std::optional<std::size_t> returned) {
  LogEvent e = event("descriptor");
  e.ok = returned.has_value();
  e.data = toHex(buffer.first(returned ? std::min(*returned, buffer.size()) : 0));
  emit(e);
}

// Control and endpoint transfers, as the key sees them: the setup packet and the payload of a
// control transfer, the bytes sent or returned of an endpoint transfer; ok when the driver
// completed the request with success status and moved at least one byte.
void TracedDriver::transferEvent(std::uint32_t code, std::span<const std::uint8_t> record,
                                 std::span<const std::uint8_t> data, bool returned) {
  const auto decoded = usb::decodeRecord(record);
  const bool control = code == usb::kIoctlControlTransfer;
  const usb::UsbTransferRequest r = decoded ? decoded->request : usb::UsbTransferRequest{};
  const auto offsets = usb::resultOffsets(decoded ? decoded->layout : usb::RecordLayout::bits32);
  const std::uint32_t moved = usb::le32(record, offsets.bytesTransferred);
  const bool ok = decoded && returned &&
                  usb::le32(record, offsets.status) == usb::kTransferStatusSuccess && moved > 0;
  const auto bytes = data.first(std::min<std::size_t>(r.length, data.size()));
  LogEvent e;
  if (control) {
    e = event("control");
    e.setup = toHex(r.setup);
    e.data = toHex(bytes);
  } else {
    const bool out = r.endpoint == 0x02;
    e = event(out ? "out" : "in");
    const std::size_t shown = out        ? bytes.size()
                              : returned ? std::min<std::size_t>(moved, bytes.size())
                                         : 0;
    e.data = toHex(bytes.first(shown));
    e.ep = r.endpoint;
    e.len = r.length;
  }
  e.ok = ok;
  emit(e);
}

void TracedDriver::close(usb::DriverHandle handle) {
  ForwardingDriver::close(handle);
  emit(event("close"));
}

}  // namespace flashwell::trace
