#include "tests/protocol/fake_key.h"

#include <algorithm>

#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::protocol::testing {

FakeKey::FakeKey(usb::SimulatedClock& clock) : clock_(clock) {}

std::vector<FakeEvent> FakeKey::controls() const {
  std::vector<FakeEvent> out;
  std::copy_if(events.begin(), events.end(), std::back_inserter(out),
               [](const FakeEvent& e) { return e.kind == FakeEvent::kControl; });
  return out;
}

std::size_t FakeKey::opens() const {
  return static_cast<std::size_t>(std::count_if(
      events.begin(), events.end(), [](const FakeEvent& e) { return e.kind == FakeEvent::kOpen; }));
}

FakeEvent FakeKey::makeEvent(FakeEvent::Kind kind) {
  FakeEvent event;
  event.kind = kind;
  event.t = clock_.elapsedMs();
  return event;
}

bool FakeKey::onBus() {
  const std::uint64_t now = clock_.elapsedMs();
  return present && now >= plugInAt && now >= backAt_;
}

bool FakeKey::beginSearch() {
  return true;
}

usb::InterfaceEntry FakeKey::interfaceAt(std::uint32_t index) {
  if (index > 0 || !onBus()) return {usb::kErrorNoMoreItems, std::nullopt};
  return {usb::kErrorSuccess, std::string(kPath)};
}

usb::OpenResult FakeKey::openExclusive(const std::string&) {
  if (!onBus()) return {usb::kNoHandle, 2};
  openHandle_ = nextHandle_++;
  events.push_back(makeEvent(FakeEvent::kOpen));
  return {openHandle_, usb::kErrorSuccess};
}

void FakeKey::close(usb::DriverHandle handle) {
  if (handle != openHandle_) return;
  openHandle_ = usb::kNoHandle;
  events.push_back(makeEvent(FakeEvent::kClose));
}

bool FakeKey::answer(usb::DriverHandle handle, std::uint32_t code, std::span<std::uint8_t> record,
                     std::span<std::uint8_t> data) {
  if (handle != openHandle_ || !onBus()) return false;
  if (code == usb::kIoctlReadDescriptors) {
    // Configuration (9 bytes), interface (9 bytes), then the first endpoint descriptor.
    std::fill(record.begin(), record.end(), 0);
    record[0] = 9;
    record[9] = 9;
    record[18] = 7;
    record[19] = 5;
    record[20] = 0x81;
    record[21] = 3;
    usb::putLe16(record, 22, largePacket ? 64 : 8);
    return true;
  }
  const auto decoded = usb::decodeRecord(record);
  if (!decoded) return false;
  const usb::UsbTransferRequest& request = decoded->request;
  FakeEvent event = makeEvent(code == usb::kIoctlControlTransfer ? FakeEvent::kControl
                              : request.direction == 1           ? FakeEvent::kIn
                                                                 : FakeEvent::kOut);
  event.setup = request.setup;
  event.endpoint = request.endpoint;
  event.length = static_cast<std::uint32_t>(data.size());
  if (event.kind != FakeEvent::kIn) event.data.assign(data.begin(), data.end());
  if (event.kind == FakeEvent::kControl) {
    const std::uint32_t late = latencyMs(event);
    if (late > 0) clock_.sleepMs(late);
  }
  const bool ok =
      accept(event) &&
      (event.kind == FakeEvent::kControl ? answerControl(event) : answerEndpoint(event, data));
  if (event.kind == FakeEvent::kIn && ok) event.data.assign(data.begin(), data.end());
  events.push_back(event);
  if (!ok) return false;
  usb::writeResult(record, static_cast<std::uint32_t>(data.size()), usb::kTransferStatusSuccess);
  if (onCommand && event.kind == FakeEvent::kControl) onCommand(event);
  return true;
}

bool FakeKey::answerControl(FakeEvent& event) {
  const auto& p = event.data;
  if (p.empty()) return false;
  switch (event.code()) {
    case 12:
      announced_ = usb::le16(p, 3);
      return true;
    case 14:
      lastShort_ = p[0];
      if (p[0] == 1)
        readAddress_ = (std::uint32_t{usb::le16(event.setup, 4)} << 16) | usb::le16(p, 1);
      return true;
    case 15:
      if (p[0] == 4) {
        program = programAfterRestart.value_or(program == kProgramBooter ? kProgramFirmware
                                                                         : kProgramBooter);
        backAt_ = clock_.elapsedMs() + restartAbsenceMs;
        openHandle_ = usb::kNoHandle;  // the open handle is dead from now on
      }
      return true;
    default:
      return true;
  }
}

bool FakeKey::answerEndpoint(FakeEvent& event, std::span<std::uint8_t> data) {
  if (event.kind == FakeEvent::kOut) return true;
  if (lastShort_ == 7 && event.endpoint == 0x82) {
    KeyIdentity reply = identity;
    usb::putLe16(reply, 28, program);
    std::copy_n(reply.begin(), std::min(data.size(), reply.size()), data.begin());
    lastShort_ = 0;
    return true;
  }
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = memory(readAddress_ + static_cast<std::uint32_t>(i));
  }
  return true;
}

}  // namespace flashwell::protocol::testing
