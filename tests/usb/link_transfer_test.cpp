#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "tests/usb/fake_driver.h"
#include "usb/bytes.h"
#include "usb/link.h"

namespace flashwell::usb {
namespace {

using ::testing::ElementsAre;
using testing::FakeDriver;
using testing::FakeMember;
using testing::RecordingNotices;

class TransferTest : public ::testing::Test {
 protected:
  void open(std::uint16_t architecture = 0) {
    driver.architecture = architecture;
    FakeMember key;
    key.path = "\\\\?\\usb#vid_0471&pid_0222#1";
    driver.members = {key};
    ASSERT_TRUE(link.UsbEnsureOpen());
    driver.requests.clear();
  }
  const testing::SentRequest& last() const { return driver.requests.back(); }

  FakeDriver driver;
  RecordingNotices notices;
  UsbLink link{driver, notices};
  std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(64, 0);
};

constexpr SetupPacket kSetup{0x40, 0x0E, 0x10, 0x00, 0x01, 0x00, 0x06, 0x00};

struct Primitive {
  const char* name;
  std::function<int(UsbLink&, std::span<std::uint8_t>)> call;
  std::uint32_t code;
  std::uint32_t endpoint, direction, option, final48;
};

const Primitive kPrimitives[] = {
    {"control",
     [](UsbLink& l, std::span<std::uint8_t> b) { return l.UsbControlTransfer(b, kSetup); },
     kIoctlControlTransfer, 0, 0, 0, 0},
    {"write 0x02", [](UsbLink& l, std::span<std::uint8_t> b) { return l.UsbWriteEp2(b); },
     kIoctlEndpointTransfer, 0x02, 0, 0, 0},
    {"read 0x82", [](UsbLink& l, std::span<std::uint8_t> b) { return l.UsbReadEp2(b); },
     kIoctlEndpointTransfer, 0x82, 1, 0, 0},
    {"read 0x81", [](UsbLink& l, std::span<std::uint8_t> b) { return l.UsbReadEp1(b); },
     kIoctlEndpointTransfer, 0x81, 1, 0x55, 0x66},
};

TEST_F(TransferTest, WithoutAHandleEveryPrimitiveFailsWithoutARequest) {
  for (const Primitive& p : kPrimitives) {
    SCOPED_TRACE(p.name);
    EXPECT_EQ(p.call(link, buffer), -1);
  }
  EXPECT_TRUE(driver.requests.empty());
}

TEST_F(TransferTest, EachPrimitiveSendsItsColumnIn48Bytes) {
  open();
  for (const Primitive& p : kPrimitives) {
    SCOPED_TRACE(p.name);
    ASSERT_EQ(p.call(link, std::span(buffer).first(9)), 9);
    const auto& sent = last();
    EXPECT_EQ(sent.code, p.code);
    ASSERT_EQ(sent.record.size(), 48u);
    EXPECT_EQ(le32(sent.record, 0), 0u);
    EXPECT_EQ(le32(sent.record, 4), p.endpoint);
    EXPECT_EQ(le32(sent.record, 8), p.direction);
    EXPECT_EQ(le32(sent.record, 12), p.option);
    EXPECT_EQ(le32(sent.record, 16),
              static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(sent.dataAddress)));
    EXPECT_EQ(le32(sent.record, 20), 9u);
    EXPECT_EQ(le32(sent.record, 44), p.final48);
    const SetupPacket expected = p.code == kIoctlControlTransfer ? kSetup : SetupPacket{};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), sent.record.begin() + 32));
    EXPECT_EQ(sent.data.size(), 9u);
  }
}

TEST_F(TransferTest, On64BitWindowsEveryRequestGoesOutIn56Bytes) {
  open(kArchitectureX64);
  for (const Primitive& p : kPrimitives) {
    SCOPED_TRACE(p.name);
    ASSERT_EQ(p.call(link, std::span(buffer).first(12)), 12);
    const auto& sent = last();
    ASSERT_EQ(sent.record.size(), 56u);
    EXPECT_EQ(le32(sent.record, 4), p.endpoint);
    EXPECT_EQ(le32(sent.record, 12), p.option);
    EXPECT_EQ(le32(sent.record, 24), 12u);
    EXPECT_EQ(le32(sent.record, 48), 0u);  // no final word here, not even for 0x81
    EXPECT_EQ(le32(sent.record, 52), 0u);
  }
  // The architecture is asked once per run.
  EXPECT_EQ(driver.architectureQueries, 1);
  EXPECT_TRUE(link.UsbUse64BitLayout());
}

TEST_F(TransferTest, ReadsLandInTheCallersBufferAndWritesSendItsBytes) {
  open();
  driver.replyData = {1, 2, 3, 4};
  std::array<std::uint8_t, 4> in{};
  ASSERT_EQ(link.UsbReadEp2(in), 4);
  EXPECT_THAT(in, ElementsAre(1, 2, 3, 4));
  EXPECT_EQ(last().dataAddress, in.data());

  driver.replyData.clear();
  const std::array<std::uint8_t, 3> out{9, 8, 7};
  ASSERT_EQ(link.UsbWriteEp2(out), 3);
  EXPECT_THAT(last().data, ElementsAre(9, 8, 7));
  EXPECT_THAT(out, ElementsAre(9, 8, 7));
}

TEST_F(TransferTest, ResultFollowsDriverStatusAndCount) {
  const struct {
    const char* name;
    bool fails;
    std::uint32_t status;
    std::optional<std::uint32_t> bytes;
    int expected;
  } cases[] = {
      {"success", false, 1, 16, 16},
      {"short read", false, 1, 5, 5},
      {"driver request fails", true, 1, 16, -1},
      {"status 0", false, 0, 16, -1},
      {"status 2", false, 2, 16, -1},
      {"status 1 with 0 bytes", false, 1, 0, -1},
      {"more bytes than the buffer holds", false, 1, 17, -1},
  };
  for (std::uint16_t architecture : {std::uint16_t{0}, kArchitectureX64}) {
    FakeDriver d;
    RecordingNotices n;
    UsbLink l(d, n);
    d.architecture = architecture;
    FakeMember key;
    key.path = "vid_5f3a&pid_1001";
    d.members = {key};
    ASSERT_TRUE(l.UsbEnsureOpen());
    for (const auto& c : cases) {
      for (const Primitive& p : kPrimitives) {
        SCOPED_TRACE(std::string(c.name) + ", " + p.name + ", architecture " +
                     std::to_string(architecture));
        d.transferFails = c.fails;
        d.status = c.status;
        d.bytesTransferred = c.bytes;
        EXPECT_EQ(p.call(l, std::span(buffer).first(16)), c.expected);
        // A failed transfer neither retries nor closes.
        EXPECT_TRUE(l.isOpen());
      }
    }
    EXPECT_EQ(d.requests.size(), 1 + std::size(cases) * std::size(kPrimitives));
    EXPECT_TRUE(d.closedHandles.empty());
  }
}

}  // namespace
}  // namespace flashwell::usb
