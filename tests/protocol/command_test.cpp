// Command frames byte for byte, time limits, and the judging of a command on a scripted key.

#include <gtest/gtest.h>

#include <string>

#include "protocol/command_channel.h"
#include "protocol/command_frame.h"
#include "tests/protocol/fake_key.h"
#include "usb/link.h"

namespace flashwell::protocol {
namespace {

using testing::FakeEvent;
using testing::FakeKey;
using testing::SilentNotices;

std::string hex(std::span<const std::uint8_t> bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (std::uint8_t b : bytes) {
    if (!s.empty()) s += ' ';
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

struct FrameCase {
  const char* name;
  std::uint8_t code, sub;
  std::uint32_t address, length, p1, p2, p3, p4;
  const char* setup;
  const char* payload;
};

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, AreBuiltByteForByte) {
  const FrameCase& c = GetParam();
  const auto frame = buildCommandFrame(c.code, c.sub, c.address, c.length, c.p1, c.p2, c.p3, c.p4);
  ASSERT_TRUE(frame);
  EXPECT_EQ(hex(frame->setup), c.setup);
  EXPECT_EQ(hex(frame->payloadBytes()), c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    KeyCommands, Frames,
    ::testing::Values(FrameCase{"restart", 15, 4, 0, 0, 0, 0, 0, 0, "40 0f 00 00 71 04 06 00",
                                "04 00 00 00 00 00"},
                      FrameCase{"versionsChunk", 14, 1, 0x40030080, 128, 0, 0, 0, 0,
                                "40 0e 00 00 03 40 06 00", "01 80 00 00 80 00"},
                      FrameCase{"setupRead128", 12, 1, 0, 128, 0, 0, 0, 0,
                                "40 0c 00 00 71 04 06 00", "00 00 00 80 00 01"},
                      FrameCase{"openBooterRegion", 13, 15, 0xDEAD, 0xBEEF, 0x0515, 0xFFFF, 0, 0,
                                "40 0d 00 00 00 00 09 00", "0f 15 05 ff ff 00 00 00 00"},
                      FrameCase{"commitBooterBlock3", 13, 15, 0, 0, 0x0515, 0x1500, 3, 8,
                                "40 0d 00 00 00 00 09 00", "0f 15 05 00 15 03 00 08 00"},
                      FrameCase{"identify", 14, 7, 0, 0, 0, 0, 0, 0, "40 0e 00 00 00 00 06 00",
                                "07 00 00 00 00 00"},
                      FrameCase{"smallPacketRead", 14, 1, 0xFFA030, 0, 0, 0, 0, 0,
                                "40 0e 00 00 ff 00 06 00", "01 30 a0 00 00 00"},
                      FrameCase{"shortValueByte", 14, 9, 0x12345678, 0x1FF, 0xABCD, 0, 0, 0,
                                "40 0e 00 00 34 12 06 00", "09 78 56 cd ff 01"},
                      FrameCase{"setupWrite2048", 12, 0, 0, 2048, 0, 0, 0, 0,
                                "40 0c 00 00 71 04 06 00", "00 00 00 00 08 00"},
                      FrameCase{"eraseFirmware", 15, 1, 0, 2048, 0, 0, 0, 0,
                                "40 0f 00 00 71 04 06 00", "01 00 00 00 00 08"},
                      FrameCase{"programBlock", 15, 2, 0xAB0FB000, 2048, 0, 0, 0, 0,
                                "40 0f 00 00 71 04 06 00", "02 00 b0 0f 00 08"},
                      FrameCase{"eraseDataLarge", 13, 7, 0, 0, 0, 0, 0, 0,
                                "40 0d 00 00 00 00 09 00", "07 00 00 00 00 00 00 00 00"},
                      FrameCase{"eraseDataSmall", 14, 18, 0, 0, 0, 0, 0, 0,
                                "40 0e 00 00 00 00 06 00", "12 00 00 00 00 00"},
                      FrameCase{"longParamsCut", 13, 2, 0, 0, 0x12345, 0x10000, 0xFFFFFFFF, 0x8001,
                                "40 0d 00 00 00 00 09 00", "02 45 23 00 00 ff ff 01 80"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameLimits, FollowTheCommandTable) {
  struct Row {
    std::uint8_t code, sub;
    std::uint32_t limit;
  };
  for (Row r : {Row{12, 1, 4800}, Row{12, 7, 4800}, Row{13, 7, 12000}, Row{13, 15, 4800},
                Row{14, 25, 12000}, Row{14, 53, 12000}, Row{14, 63, 12000}, Row{14, 7, 4800},
                Row{15, 1, 12000}, Row{15, 3, 12000}, Row{15, 5, 12000}, Row{15, 4, 4800},
                Row{15, 2, 4800}}) {
    EXPECT_EQ(commandTimeLimitMs(r.code, r.sub), r.limit) << int(r.code) << "/" << int(r.sub);
  }
  EXPECT_FALSE(buildCommandFrame(11, 0, 0, 0));
  EXPECT_FALSE(buildCommandFrame(16, 0, 0, 0));
}

struct ChannelRig {
  explicit ChannelRig(std::uint32_t startTick = 0) : clock(startTick), key(clock) {}
  usb::SimulatedClock clock;
  FakeKey key;
  SilentNotices notices;
  usb::UsbLink link{key, notices};
  CommandChannel channel{link, clock};
};

TEST(Channel, AcceptedCommandKeepsTheKeyOpen) {
  ChannelRig rig;
  EXPECT_TRUE(rig.channel.SendCommand(15, 4, 0, 0));
  EXPECT_TRUE(rig.link.isOpen());
  ASSERT_EQ(rig.key.controls().size(), 1u);
  EXPECT_EQ(hex(rig.key.controls()[0].data), "04 00 00 00 00 00");
}

TEST(Channel, LimitIsJudgedAfterTheTransferOnTheLongLimitCommands) {
  struct Case {
    std::uint8_t code, sub;
    std::uint32_t lateMs;
    bool accepted;
  };
  for (Case c : {Case{15, 1, 10000, true}, Case{15, 1, 12000, true}, Case{15, 1, 12001, false},
                 Case{15, 4, 5000, false}, Case{15, 4, 4800, true}, Case{13, 7, 11000, true},
                 Case{14, 18, 4801, false}}) {
    ChannelRig rig;
    rig.key.latencyMs = [&](const FakeEvent&) { return c.lateMs; };
    EXPECT_EQ(rig.channel.SendCommand(c.code, c.sub, 0, 2048), c.accepted)
        << int(c.code) << "/" << int(c.sub) << " after " << c.lateMs;
    // A late answer closes the key; the transfer itself was made and not cut short.
    EXPECT_EQ(rig.link.isOpen(), c.accepted);
    EXPECT_EQ(rig.key.controls().size(), 1u);
    EXPECT_EQ(rig.clock.elapsedMs(), c.lateMs);
  }
}

TEST(Channel, TickWrapDoesNotMatter) {
  for (auto [late, accepted] : {std::pair{100u, true}, {4800u, true}, {5000u, false}}) {
    ChannelRig rig(0xFFFFFFFFu - 50);
    rig.key.latencyMs = [late = late](const FakeEvent&) { return late; };
    EXPECT_EQ(rig.channel.SendCommand(15, 4, 0, 0), accepted) << late;
  }
}

TEST(Channel, CheckElapsedRestartsTheMeasurementOnlyWhenInTime) {
  ChannelRig rig;
  rig.channel.RestartTimer();
  rig.clock.sleepMs(100);
  EXPECT_EQ(rig.channel.CheckElapsed(100), Elapsed::inTime);
  rig.clock.sleepMs(60);
  EXPECT_EQ(rig.channel.CheckElapsed(50), Elapsed::tooLong);  // 60 since the last check
  rig.clock.sleepMs(60);
  EXPECT_EQ(rig.channel.CheckElapsed(100), Elapsed::tooLong);  // still measured from t = 100
}

TEST(Channel, NoKeyGivesZeroAndLeavesNoHandle) {
  ChannelRig rig;
  rig.key.present = false;
  EXPECT_FALSE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_FALSE(rig.channel.SendCommandOrClose(14, 7, 0, 0));
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_FALSE(rig.key.handleOpen());
  EXPECT_TRUE(rig.key.events.empty());
}

TEST(Channel, FailedTransferClosesAndTheNextCommandOpensAgain) {
  ChannelRig rig;
  int n = 0;
  rig.key.accept = [&](const FakeEvent&) { return ++n != 1; };
  EXPECT_FALSE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_FALSE(rig.key.handleOpen());
  EXPECT_TRUE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_EQ(rig.key.opens(), 2u);
}

}  // namespace
}  // namespace flashwell::protocol
