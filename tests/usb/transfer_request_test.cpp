#include "usb/transfer_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "usb/bytes.h"

namespace flashwell::usb {
namespace {

using ::testing::ElementsAreArray;

std::vector<std::uint8_t> words(std::initializer_list<std::uint32_t> values) {
  std::vector<std::uint8_t> out(values.size() * 4);
  std::size_t at = 0;
  for (std::uint32_t v : values) {
    putLe32(out, at, v);
    at += 4;
  }
  return out;
}

constexpr SetupPacket kSetup{0x40, 0x0C, 0x01, 0x02, 0x03, 0x04, 0x06, 0x00};
constexpr std::uint32_t kSetupLow = 0x02010C40;
constexpr std::uint32_t kSetupHigh = 0x00060403;

struct KindCase {
  const char* name;
  TransferKind kind;
  std::uint32_t endpoint, direction, option, final48;
  bool carriesSetup;
};

const KindCase kKinds[] = {
    {"control", TransferKind::control, 0, 0, 0, 0, true},
    {"read 0x82", TransferKind::readEp2, 0x82, 1, 0, 0, false},
    {"write 0x02", TransferKind::writeEp2, 0x02, 0, 0, 0, false},
    {"read 0x81", TransferKind::readEp1, 0x81, 1, 0x55, 0x66, false},
};

UsbTransferRequest requestAt(const KindCase& c, std::uint32_t address, std::uint32_t length) {
  UsbTransferRequest r = makeTransferRequest(c.kind, nullptr, length, kSetup);
  r.bufferAddress = address;
  return r;
}

TEST(TransferRecordTest, Encodes48ByteLayoutForEveryKind) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.name);
    const std::uint32_t lo = c.carriesSetup ? kSetupLow : 0;
    const std::uint32_t hi = c.carriesSetup ? kSetupHigh : 0;
    const Record32 record = encode32(requestAt(c, 0x12345678, 300));
    EXPECT_THAT(record, ElementsAreArray(words({0, c.endpoint, c.direction, c.option, 0x12345678,
                                                300, 0, 0, lo, hi, 0, c.final48})));
  }
}

TEST(TransferRecordTest, Encodes56ByteLayoutForEveryKindWithTrailerWordZero) {
  for (const KindCase& c : kKinds) {
    SCOPED_TRACE(c.name);
    const std::uint32_t lo = c.carriesSetup ? kSetupLow : 0;
    const std::uint32_t hi = c.carriesSetup ? kSetupHigh : 0;
    const auto expected =
        words({0, c.endpoint, c.direction, c.option, 0x12345678, 0, 300, 0, 0, lo, hi, 0, 0, 0});
    EXPECT_THAT(encode64(requestAt(c, 0x12345678, 300)), ElementsAreArray(expected));
    // The translation of the 48-byte record gives the same bytes.
    EXPECT_THAT(translate32To64(encode32(requestAt(c, 0x12345678, 300))),
                ElementsAreArray(expected));
  }
}

TEST(TransferRecordTest, SignExtendsAnAddressWithItsTopBitSet) {
  const Record64 wide = translate32To64(encode32(requestAt(kKinds[1], 0x9ABCDEF0, 8)));
  EXPECT_EQ(le32(wide, 16), 0x9ABCDEF0u);
  EXPECT_EQ(le32(wide, 20), 0xFFFFFFFFu);
}

TEST(TransferRecordTest, AddressFieldHoldsTheLowBitsOfTheDataPointer) {
  std::uint8_t buffer[4] = {};
  const UsbTransferRequest r = makeTransferRequest(TransferKind::writeEp2, buffer, 4);
  EXPECT_EQ(r.bufferAddress, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer)));
}

TEST(TransferRecordTest, DecodesWhatWasEncodedInBothLayouts) {
  UsbTransferRequest r = requestAt(kKinds[0], 0x80001234, 9);
  r.bytesTransferred = 7;
  r.status = 1;
  const auto narrow = decodeRecord(encode32(r));
  ASSERT_TRUE(narrow);
  EXPECT_EQ(narrow->layout, RecordLayout::bits32);
  EXPECT_EQ(encode32(narrow->request), encode32(r));

  const auto wide = decodeRecord(encode64(r));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->layout, RecordLayout::bits64);
  EXPECT_EQ(wide->request.bufferAddress, 0x80001234u);
  EXPECT_EQ(wide->request.length, 9u);
  EXPECT_EQ(wide->request.setup, kSetup);
  EXPECT_EQ(wide->request.bytesTransferred, 7u);
  EXPECT_EQ(wide->request.status, 1u);
}

TEST(TransferRecordTest, RefusesRecordsOfAnyOtherSize) {
  for (std::size_t size : {0u, 47u, 49u, 55u, 57u, 256u}) {
    SCOPED_TRACE(size);
    const std::vector<std::uint8_t> bytes(size);
    EXPECT_FALSE(decodeRecord(bytes));
    std::vector<std::uint8_t> out(size, 0xAA);
    EXPECT_FALSE(writeResult(out, 1, 1));
    EXPECT_EQ(out, std::vector<std::uint8_t>(size, 0xAA));
  }
  EXPECT_FALSE(decode32(Record64{}));
  EXPECT_FALSE(decode64(Record32{}));
}

TEST(TransferRecordTest, ResultIsWrittenInTheRecordsOwnLayout) {
  Record32 narrow{};
  ASSERT_TRUE(writeResult(narrow, 0x11223344, 1));
  EXPECT_EQ(le32(narrow, 28), 0x11223344u);
  EXPECT_EQ(le32(narrow, 40), 1u);

  Record64 wide{};
  ASSERT_TRUE(writeResult(wide, 0x11223344, 1));
  EXPECT_EQ(le32(wide, 32), 0x11223344u);
  EXPECT_EQ(le32(wide, 44), 1u);
  EXPECT_EQ(le32(wide, 28), 0u);
  EXPECT_EQ(le32(wide, 40), 0u);
}

TEST(TransferRecordTest, CopiesOnlyBytesTransferredAndStatusBack) {
  const UsbTransferRequest r = requestAt(kKinds[3], 0x1000, 64);
  Record32 narrow = encode32(r);
  const Record32 before = narrow;
  Record64 wide = translate32To64(narrow);
  wide.fill(0xEE);  // a driver that scribbles over every field
  writeResult(wide, 64, 1);
  copyResultBack(wide, narrow);
  for (std::size_t i = 0; i < narrow.size(); ++i) {
    if ((i >= 28 && i < 32) || (i >= 40 && i < 44)) continue;
    EXPECT_EQ(narrow[i], before[i]) << "byte " << i;
  }
  EXPECT_EQ(le32(narrow, 28), 64u);
  EXPECT_EQ(le32(narrow, 40), 1u);
}

}  // namespace
}  // namespace flashwell::usb
