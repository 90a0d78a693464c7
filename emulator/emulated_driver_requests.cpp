// The three driver requests of the emulated driver: the descriptor set, control transfers and
// endpoint transfers, with the checks that the key's driver makes on each transfer record.

#include <algorithm>

#include "emulator/emulated_driver.h"
#include "emulator/faulted_key.h"
#include "usb/bytes.h"
#include "usb/driver.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator {

namespace {
constexpr std::uint32_t kStatusFaulted = 2;

// Offsets that point past the 256 bytes: the configuration descriptor claims 200 bytes and the
// interface descriptor after it 120 more.
std::vector<std::uint8_t> malformedSet() {
  std::vector<std::uint8_t> set(usb::kDescriptorBufferSize, 0);
  set[0] = 200;
  set[200] = 120;
  return set;
}

// How the driver reports a transfer the key has answered: a refusal stalls, a status fault
// fails the request, a zero fault moves nothing. The key's driver resets a stalled pipe before it
// reports the failure, so a persistent stall looks like a refusal from this side.
struct Outcome {
  std::uint32_t status;
  std::size_t moved;
  bool ok() const { return status == usb::kTransferStatusSuccess && moved > 0; }
};

Outcome settle(const KeyAnswer& answer, const Effect& fault, std::size_t size) {
  if (!answer.accepted) return {kStatusStalled, 0};
  if (fault.badStatus) return {kStatusFaulted, size};
  if (fault.movesNothing) return {usb::kTransferStatusSuccess, 0};
  return {usb::kTransferStatusSuccess, size};
}

// What is wrong with a record for the kind of transfer its endpoint names; empty when nothing is.
std::string recordFault(const usb::UsbTransferRequest& r, bool control, usb::RecordLayout layout,
                        std::span<const std::uint8_t> data) {
  if (r.reserved0 != 0 || r.reserved24 != 0) return "reserved words are not 0";
  if (r.length > data.size()) return "length larger than the data buffer";
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data.data()));
  if (r.length > 0 && r.bufferAddress != address) return "buffer address is not the data buffer";
  usb::TransferWords want{0, 0, 0, 0};
  if (!control) {
    if (r.endpoint == 0x82) {
      want = usb::transferWords(usb::TransferKind::readEp2);
    } else if (r.endpoint == 0x02) {
      want = usb::transferWords(usb::TransferKind::writeEp2);
    } else if (r.endpoint == 0x81) {
      want = usb::transferWords(usb::TransferKind::readEp1);
    } else {
      return "no such endpoint";
    }
    if (layout == usb::RecordLayout::bits64) want.trailerWord = 0;
    if (std::any_of(r.setup.begin(), r.setup.end(), [](std::uint8_t b) { return b != 0; })) {
      return "setup packet on an endpoint transfer";
    }
  }
  if (r.endpoint != want.endpoint || r.direction != want.direction || r.option != want.option ||
      r.trailerWord != want.trailerWord) {
    return "endpoint, direction, option or final word do not fit the transfer";
  }
  return {};
}
}  // namespace

std::optional<std::size_t> EmulatedDriver::ioControlCounted(usb::DriverHandle handle,
                                                            std::uint32_t code,
                                                            std::span<std::uint8_t> record,
                                                            std::span<std::uint8_t> data) {
  std::unique_lock lock(mutex_);
  applyDueLocked();
  if (code == usb::kIoctlReadDescriptors) return descriptorRequest(lock, handle, record);
  if (code == usb::kIoctlControlTransfer || code == usb::kIoctlEndpointTransfer) {
    if (transferRequest(lock, handle, code, record, data)) return record.size();
    return std::nullopt;
  }
  rejectLocked("unknown control code");
  return std::nullopt;
}

std::optional<std::size_t> EmulatedDriver::descriptorRequest(std::unique_lock<std::mutex>& lock,
                                                             usb::DriverHandle handle,
                                                             std::span<std::uint8_t> buffer) {
  auto fail = [&](std::string why) -> std::optional<std::size_t> {
    rejectLocked(std::move(why));
    if (trace_) trace_->descriptor(nowLocked(), false);
    return std::nullopt;
  };
  bool isKey = false;
  if (!handleUsable(handle, isKey)) return fail(lastRejection_);
  if (!isKey) return fail("this device has no descriptor service");
  if (buffer.size() < usb::kDescriptorBufferSize) return fail("descriptor buffer too small");

  const Effect fault = FaultedKey(key_, faults_).descriptor();
  if (fault.pulls) {
    pullKeyLocked(nowLocked(), fault.backAfterMs);
    return fail("key pulled by a fault");
  }
  if (fault.refused || fault.badStatus) return fail("descriptor request failed by a fault");
  if (fault.lateMs > 0) {
    waitOnClock(lock, fault.lateMs);
    if (!handleUsable(handle, isKey)) return fail(lastRejection_);
  }
  const bool nothingWritten = fault.movesNothing;
  std::vector<std::uint8_t> set = malformedDescriptor_ ? malformedSet() : key_.descriptorSet();
  if (descriptorHook_) descriptorHook_(set);
  const std::size_t count = nothingWritten ? 0 : std::min(set.size(), buffer.size());
  std::copy_n(set.begin(), count, buffer.begin());
  if (trace_) trace_->descriptor(nowLocked(), true);
  return count;
}

bool EmulatedDriver::keyWorks(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                              std::uint32_t ms) {
  waitOnClock(lock, ms);
  bool isKey = false;
  return handleUsable(handle, isKey);
}

bool EmulatedDriver::transferRequest(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                                     std::uint32_t code, std::span<std::uint8_t> record,
                                     std::span<std::uint8_t> data) {
  const bool control = code == usb::kIoctlControlTransfer;
  const auto decoded = usb::decodeRecord(record);
  if (!decoded) {
    rejectLocked("record is neither 48 nor 56 bytes");
    if (trace_ && control) trace_->control(nowLocked(), false, usb::SetupPacket{}, {});
    if (trace_ && !control) trace_->in(nowLocked(), false, 0, 0, {});
    return false;
  }
  const usb::UsbTransferRequest& r = decoded->request;
  const auto expected = architecture_ == usb::kArchitectureX64 ? usb::RecordLayout::bits64
                                                               : usb::RecordLayout::bits32;
  std::string why = decoded->layout != expected ? "record layout does not fit the system"
                                                : recordFault(r, control, decoded->layout, data);
  bool isKey = false;
  if (why.empty() && !handleUsable(handle, isKey)) why = lastRejection_;
  if (why.empty() && !isKey) why = "this device takes no transfers";
  const std::span<std::uint8_t> bytes = data.first(std::min<std::size_t>(r.length, data.size()));
  if (!why.empty()) {
    rejectLocked(why);
    if (trace_) {
      if (control) {
        trace_->control(nowLocked(), false, r.setup, bytes);
      } else if (r.endpoint == 0x02) {
        trace_->out(nowLocked(), false, r.endpoint, r.length, bytes);
      } else {
        trace_->in(nowLocked(), false, r.endpoint, r.length, {});
      }
    }
    return false;
  }
  if (control) return controlTransfer(lock, handle, r, record, bytes);
  if (r.endpoint == 0x02) return outTransfer(lock, handle, r, record, bytes);
  return inTransfer(lock, handle, r, record, bytes);
}

std::optional<EmulatedDriver::Settled> EmulatedDriver::settleTransfer(
    std::unique_lock<std::mutex>& lock, usb::DriverHandle handle, const Exchange& e,
    std::span<std::uint8_t> record, std::size_t size) {
  if (e.effect.pulls) {
    pullKeyLocked(nowLocked(), e.effect.backAfterMs);
    rejectLocked("key pulled by a fault");
    return std::nullopt;
  }
  if (!keyWorks(lock, handle, e.answer.busyMs)) return std::nullopt;
  const Outcome outcome = settle(e.answer, e.effect, size);
  if (!e.answer.accepted) rejectLocked(e.answer.refusal);
  usb::writeResult(record, static_cast<std::uint32_t>(outcome.moved), outcome.status);
  return Settled{outcome.moved, outcome.ok()};
}

bool EmulatedDriver::controlTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                                     const usb::UsbTransferRequest& r,
                                     std::span<std::uint8_t> record,
                                     std::span<std::uint8_t> payload) {
  const Exchange e = FaultedKey(key_, faults_).control(r.setup, payload);
  const std::optional<Settled> settled = settleTransfer(lock, handle, e, record, payload.size());
  if (trace_) trace_->control(nowLocked(), settled && settled->ok, r.setup, payload);
  if (!settled) return false;
  if (e.answer.accepted && key_.takeRestart()) {
    unplugLocked(now_);
    schedule_.push_back(
        {now_ + key_.timing().reenumerationMs, Scheduled::What::plugAfterRestart, std::nullopt});
  }
  return true;
}

bool EmulatedDriver::outTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                                 const usb::UsbTransferRequest& r, std::span<std::uint8_t> record,
                                 std::span<std::uint8_t> bytes) {
  const Exchange e = FaultedKey(key_, faults_).write(static_cast<std::uint8_t>(r.endpoint), bytes);
  const std::optional<Settled> settled = settleTransfer(lock, handle, e, record, bytes.size());
  if (trace_) trace_->out(nowLocked(), settled && settled->ok, r.endpoint, r.length, bytes);
  return settled.has_value();
}

bool EmulatedDriver::inTransfer(std::unique_lock<std::mutex>& lock, usb::DriverHandle handle,
                                const usb::UsbTransferRequest& r, std::span<std::uint8_t> record,
                                std::span<std::uint8_t> buffer) {
  const auto endpoint = static_cast<std::uint8_t>(r.endpoint);
  Exchange e = FaultedKey(key_, faults_).read(endpoint, static_cast<std::uint32_t>(buffer.size()));
  if (!e.effect.pulls && !e.effect.refused && inHook_) {
    inHook_(endpoint, e.answer.bytes);
    e.answer.accepted = true;
  }
  const std::optional<Settled> settled =
      settleTransfer(lock, handle, e, record, std::min(e.answer.bytes.size(), buffer.size()));
  const std::size_t moved = settled ? settled->moved : 0;
  std::copy_n(e.answer.bytes.begin(), moved, buffer.begin());
  if (trace_) {
    trace_->in(nowLocked(), settled && settled->ok, r.endpoint, r.length, buffer.first(moved));
  }
  return settled.has_value();
}

}  // namespace flashwell::emulator
