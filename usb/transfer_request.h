#pragma once

// The transfer record that the key's driver takes for control and endpoint transfers, in the
// 48-byte layout of a 32-bit system and the 56-byte layout that 64-bit Windows expects from a
// 32-bit program. Pure code: building, parsing and translating the records, nothing more.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace flashwell::usb {

// The device interface class of the key's driver: {6B2D9C41-0E7A-4F35-9A1C-52D7E08B3F64}.
struct InterfaceClassGuid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::array<std::uint8_t, 8> data4;
};
inline constexpr InterfaceClassGuid kKeyInterfaceClass{
    0x6B2D9C41, 0x0E7A, 0x4F35, {0x9A, 0x1C, 0x52, 0xD7, 0xE0, 0x8B, 0x3F, 0x64}};
// The same class as it appears, lower case and braced, at the end of an interface path.
inline constexpr std::string_view kKeyInterfaceClassText = "{6b2d9c41-0e7a-4f35-9a1c-52d7e08b3f64}";

inline constexpr std::size_t kRecordSize32 = 48;
inline constexpr std::size_t kRecordSize64 = 56;
// The buffer of the descriptor request, in and out.
inline constexpr std::size_t kDescriptorBufferSize = 256;
// The status word of a completed transfer.
inline constexpr std::uint32_t kTransferStatusSuccess = 1;

using SetupPacket = std::array<std::uint8_t, 8>;
using Record32 = std::array<std::uint8_t, kRecordSize32>;
using Record64 = std::array<std::uint8_t, kRecordSize64>;

enum class RecordLayout { bits32, bits64 };

// Where the two words that the driver writes back lie in each layout.
struct ResultOffsets {
  std::size_t bytesTransferred;
  std::size_t status;
};
constexpr ResultOffsets resultOffsets(RecordLayout layout) {
  return layout == RecordLayout::bits32 ? ResultOffsets{28, 40} : ResultOffsets{32, 44};
}

// The layout a record of `size` bytes is in, if any.
std::optional<RecordLayout> layoutOfSize(std::size_t size);

// The four kinds of transfer the program makes.
enum class TransferKind { control, readEp2, writeEp2, readEp1 };

// The words of the record that a kind of transfer fixes.
struct TransferWords {
  std::uint32_t endpoint;
  std::uint32_t direction;  // 1 = device to host
  std::uint32_t option;
  std::uint32_t trailerWord;  // the record's last word
};
constexpr TransferWords transferWords(TransferKind kind) {
  switch (kind) {
    case TransferKind::readEp2:
      return {0x82, 1, 0, 0};
    case TransferKind::writeEp2:
      return {0x02, 0, 0, 0};
    case TransferKind::readEp1:
      return {0x81, 1, 0x55, 0x66};
    case TransferKind::control:
      break;
  }
  return {0, 0, 0, 0};
}

// The record's fields, as they stand in the 48-byte layout.
struct UsbTransferRequest {
  std::uint32_t reserved0 = 0;
  std::uint32_t endpoint = 0;
  std::uint32_t direction = 0;
  std::uint32_t option = 0;
  std::uint32_t bufferAddress = 0;  // the low 32 bits of the data pointer
  std::uint32_t length = 0;
  std::uint32_t reserved24 = 0;
  std::uint32_t bytesTransferred = 0;
  SetupPacket setup{};
  std::uint32_t status = 0;
  std::uint32_t trailerWord = 0;
};

// A zeroed request filled as `kind` demands, for `length` bytes at `data`; the setup packet
// is copied only for a control transfer (it stays zero otherwise).
UsbTransferRequest makeTransferRequest(TransferKind kind, const std::uint8_t* data,
                                       std::uint32_t length, const SetupPacket& setup = {});

Record32 encode32(const UsbTransferRequest& request);
// The 64-bit layout of the same request: the address sign-extended to 8 bytes, final word 0.
Record64 encode64(const UsbTransferRequest& request);
// The 48 -> 56 translation of an encoded record.
Record64 translate32To64(std::span<const std::uint8_t, kRecordSize32> record);

// Parses a record; nullopt unless it has exactly the layout's size. From the 56-byte layout
// the address keeps its low 32 bits and the final word reads as stored.
std::optional<UsbTransferRequest> decode32(std::span<const std::uint8_t> record);
std::optional<UsbTransferRequest> decode64(std::span<const std::uint8_t> record);

struct DecodedRecord {
  UsbTransferRequest request;
  RecordLayout layout;
};
// Parses a record of either size.
std::optional<DecodedRecord> decodeRecord(std::span<const std::uint8_t> record);

// What the driver writes back: bytes transferred and status, into a record of either size in
// its own layout. False (nothing written) when the record has neither size.
bool writeResult(std::span<std::uint8_t> record, std::uint32_t bytesTransferred,
                 std::uint32_t status);

// Copies bytes transferred and status of an answered 56-byte record into the 48-byte one.
void copyResultBack(std::span<const std::uint8_t, kRecordSize64> from,
                    std::span<std::uint8_t, kRecordSize32> to);

}  // namespace flashwell::usb
