#include "usb/transfer_request.h"

#include <algorithm>

#include "usb/bytes.h"

namespace flashwell::usb {

namespace {

// Offsets that differ between the layouts; words 0 to 12 are the same in both.
struct LayoutOffsets {
  std::size_t length;
  std::size_t reserved24;
  std::size_t bytesTransferred;
  std::size_t setup;
  std::size_t status;
  std::size_t trailerWord;
};
constexpr LayoutOffsets k32Offsets{20, 24, 28, 32, 40, 44};
constexpr LayoutOffsets k64Offsets{24, 28, 32, 36, 44, 48};

void putCommon(std::span<std::uint8_t> out, const UsbTransferRequest& r, const LayoutOffsets& o) {
  putLe32(out, 0, r.reserved0);
  putLe32(out, 4, r.endpoint);
  putLe32(out, 8, r.direction);
  putLe32(out, 12, r.option);
  putLe32(out, o.length, r.length);
  putLe32(out, o.reserved24, r.reserved24);
  putLe32(out, o.bytesTransferred, r.bytesTransferred);
  std::copy(r.setup.begin(), r.setup.end(), out.begin() + static_cast<std::ptrdiff_t>(o.setup));
  putLe32(out, o.status, r.status);
}

UsbTransferRequest getCommon(std::span<const std::uint8_t> in, const LayoutOffsets& o) {
  UsbTransferRequest r;
  r.reserved0 = le32(in, 0);
  r.endpoint = le32(in, 4);
  r.direction = le32(in, 8);
  r.option = le32(in, 12);
  r.bufferAddress = le32(in, 16);  // in the 56-byte layout: the low half of the 8-byte address
  r.length = le32(in, o.length);
  r.reserved24 = le32(in, o.reserved24);
  r.bytesTransferred = le32(in, o.bytesTransferred);
  std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(o.setup), r.setup.size(), r.setup.begin());
  r.status = le32(in, o.status);
  r.trailerWord = le32(in, o.trailerWord);
  return r;
}

}  // namespace

std::optional<RecordLayout> layoutOfSize(std::size_t size) {
  if (size == kRecordSize32) return RecordLayout::bits32;
  if (size == kRecordSize64) return RecordLayout::bits64;
  return std::nullopt;
}

UsbTransferRequest makeTransferRequest(TransferKind kind, const std::uint8_t* data,
                                       std::uint32_t length, const SetupPacket& setup) {
  const TransferWords values = transferWords(kind);
  UsbTransferRequest r;
  r.endpoint = values.endpoint;
  r.direction = values.direction;
  r.option = values.option;
  r.trailerWord = values.trailerWord;
  // The driver is given the buffer by its address; in the 32-bit program that is the whole
  // pointer, and the record has room for 32 bits only.
  r.bufferAddress = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
  r.length = length;
  if (kind == TransferKind::control) r.setup = setup;
  return r;
}

Record32 encode32(const UsbTransferRequest& request) {
  Record32 out{};
  putCommon(out, request, k32Offsets);
  putLe32(out, 16, request.bufferAddress);
  putLe32(out, k32Offsets.trailerWord, request.trailerWord);
  return out;
}

Record64 encode64(const UsbTransferRequest& request) {
  Record64 out{};
  putCommon(out, request, k64Offsets);
  const std::uint32_t high = (request.bufferAddress & 0x80000000u) != 0 ? 0xFFFFFFFFu : 0;
  putLe32(out, 16, request.bufferAddress);
  putLe32(out, 20, high);
  // The final word is always 0 here, and the four bytes after it too.
  return out;
}

Record64 translate32To64(std::span<const std::uint8_t, kRecordSize32> record) {
  return encode64(getCommon(record, k32Offsets));
}

std::optional<UsbTransferRequest> decode32(std::span<const std::uint8_t> record) {
  if (record.size() != kRecordSize32) return std::nullopt;
  return getCommon(record, k32Offsets);
}

std::optional<UsbTransferRequest> decode64(std::span<const std::uint8_t> record) {
  if (record.size() != kRecordSize64) return std::nullopt;
  return getCommon(record, k64Offsets);
}

std::optional<DecodedRecord> decodeRecord(std::span<const std::uint8_t> record) {
  if (auto r = decode32(record)) return DecodedRecord{*r, RecordLayout::bits32};
  if (auto r = decode64(record)) return DecodedRecord{*r, RecordLayout::bits64};
  return std::nullopt;
}

bool writeResult(std::span<std::uint8_t> record, std::uint32_t bytesTransferred,
                 std::uint32_t status) {
  const auto layout = layoutOfSize(record.size());
  if (!layout) return false;
  const ResultOffsets at = resultOffsets(*layout);
  putLe32(record, at.bytesTransferred, bytesTransferred);
  putLe32(record, at.status, status);
  return true;
}

void copyResultBack(std::span<const std::uint8_t, kRecordSize64> from,
                    std::span<std::uint8_t, kRecordSize32> to) {
  const ResultOffsets in = resultOffsets(RecordLayout::bits64);
  const ResultOffsets out = resultOffsets(RecordLayout::bits32);
  putLe32(to, out.bytesTransferred, le32(from, in.bytesTransferred));
  putLe32(to, out.status, le32(from, in.status));
}

}  // namespace flashwell::usb
