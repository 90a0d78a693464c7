// Command frames byte for byte, time limits, and the judging of a command on the virtual key.

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "protocol/command_channel.h"
#include "protocol/command_frame.h"
#include "tests/support/key_bench.h"
#include "tests/support/key_traffic.h"
#include "usb/link.h"

namespace flashwell::protocol {
namespace {

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
  std::array<std::uint32_t, 8> args;
  const char* setup;
  const char* payload;
};

class Frames : public ::testing::TestWithParam<FrameCase> {};

TEST_P(Frames, AreBuiltByteForByte) {
  const FrameCase& c = GetParam();
  const auto& a = c.args;
  const auto frame =
      buildCommandFrame(static_cast<std::uint8_t>(a[0]), static_cast<std::uint8_t>(a[1]), a[2],
                        a[3], a[4], a[5], a[6], a[7]);
  ASSERT_TRUE(frame);
  EXPECT_EQ(hex(frame->setup), c.setup);
  EXPECT_EQ(hex(frame->payloadBytes()), c.payload);
}

// Each frame from its arguments (code, sub-command, address, length, parameters 1 to 4; those
// not given are 0), with its setup packet and payload.
const FrameCase kFrames[] = {
    {"restart", {15, 4}, "40 0f 00 00 71 04 06 00", "04 00 00 00 00 00"},
    {"versionsChunk", {14, 1, 0x40030080, 128}, "40 0e 00 00 03 40 06 00", "01 80 00 00 80 00"},
    {"setupRead128", {12, 1, 0, 128}, "40 0c 00 00 71 04 06 00", "00 00 00 80 00 01"},
    {"openBooterRegion",
     {13, 15, 0xDEAD, 0xBEEF, 0x0515, 0xFFFF},
     "40 0d 00 00 00 00 09 00",
     "0f 15 05 ff ff 00 00 00 00"},
    {"commitBooterBlock3",
     {13, 15, 0, 0, 0x0515, 0x1500, 3, 8},
     "40 0d 00 00 00 00 09 00",
     "0f 15 05 00 15 03 00 08 00"},
    {"identify", {14, 7}, "40 0e 00 00 00 00 06 00", "07 00 00 00 00 00"},
    {"smallPacketRead", {14, 1, 0xFFA030}, "40 0e 00 00 ff 00 06 00", "01 30 a0 00 00 00"},
    {"shortValueByte",
     {14, 9, 0x12345678, 0x1FF, 0xABCD},
     "40 0e 00 00 34 12 06 00",
     "09 78 56 cd ff 01"},
    {"setupWrite2048", {12, 0, 0, 2048}, "40 0c 00 00 71 04 06 00", "00 00 00 00 08 00"},
    {"eraseFirmware", {15, 1, 0, 2048}, "40 0f 00 00 71 04 06 00", "01 00 00 00 00 08"},
    {"programBlock", {15, 2, 0xAB0FB000, 2048}, "40 0f 00 00 71 04 06 00", "02 00 b0 0f 00 08"},
    {"eraseDataLarge", {13, 7}, "40 0d 00 00 00 00 09 00", "07 00 00 00 00 00 00 00 00"},
    {"eraseDataSmall", {14, 18}, "40 0e 00 00 00 00 06 00", "12 00 00 00 00 00"},
    {"longParamsCut",
     {13, 2, 0, 0, 0x12345, 0x10000, 0xFFFFFFFF, 0x8001},
     "40 0d 00 00 00 00 09 00",
     "02 45 23 00 00 ff ff 01 80"},
};
INSTANTIATE_TEST_SUITE_P(KeyCommands, Frames, ::testing::ValuesIn(kFrames),
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

// The command channel on the bench's link, in front of the virtual key.
struct ChannelRig {
  explicit ChannelRig(const char* state = "fresh", std::uint32_t startTick = 0, bool plugged = true)
      : clock(startTick), bench(support::namedKey(state), true, &clock, plugged) {}
  usb::SimulatedClock clock;
  support::KeyBench bench;
  usb::UsbLink& link = *bench.link;
  CommandChannel channel{link, clock};
};

TEST(Channel, AcceptedCommandKeepsTheKeyOpen) {
  ChannelRig rig;
  EXPECT_TRUE(rig.channel.SendCommand(15, 4, 0, 0));
  EXPECT_TRUE(rig.link.isOpen());
  const auto controls = support::keyControls(rig.bench);
  ASSERT_EQ(controls.size(), 1u);
  EXPECT_EQ(hex(controls[0].data), "04 00 00 00 00 00");
}

// The key acknowledges after exactly the given time: the limit is judged after the transfer,
// 12000 ms on the long commands and 4800 ms on the others, also when the tick counter wraps
// during the command.
TEST(Channel, LimitIsJudgedAfterTheTransfer) {
  struct Case {
    const char* state;  // a key that carries the command out
    std::uint8_t code, sub;
    std::uint32_t lateMs;
    bool accepted;
    std::uint32_t startTick;
  };
  constexpr std::uint32_t kWraps = 0xFFFFFFFFu - 50;
  for (Case c :
       {Case{"booter", 15, 1, 10000, true, 0}, Case{"booter", 15, 1, 12000, true, 0},
        Case{"booter", 15, 1, 12001, false, 0}, Case{"fresh", 15, 4, 5000, false, 0},
        Case{"fresh", 15, 4, 4800, true, 0}, Case{"fresh", 13, 7, 11000, true, 0},
        Case{"small-packet", 14, 18, 4801, false, 0}, Case{"fresh", 15, 4, 100, true, kWraps},
        Case{"fresh", 15, 4, 4800, true, kWraps}, Case{"fresh", 15, 4, 5000, false, kWraps}}) {
    SCOPED_TRACE(::testing::Message() << int(c.code) << "/" << int(c.sub) << " after " << c.lateMs
                                      << " from tick " << c.startTick);
    ChannelRig rig(c.state, c.startTick);
    rig.bench.addFault("control:late=" + std::to_string(c.lateMs));
    EXPECT_EQ(rig.channel.SendCommand(c.code, c.sub, 0, 2048), c.accepted);
    // A late answer closes the key; the transfer itself was made and not cut short.
    EXPECT_EQ(rig.link.isOpen(), c.accepted);
    EXPECT_EQ(support::keyControls(rig.bench).size(), 1u);
    EXPECT_EQ(rig.clock.elapsedMs(), c.lateMs);
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
  ChannelRig rig("fresh", 0, false);
  EXPECT_FALSE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_FALSE(rig.channel.SendCommandOrClose(14, 7, 0, 0));
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_EQ(rig.bench.driver->openHandles(), 0u);
  EXPECT_TRUE(support::keyRequests(rig.bench).empty());
}

TEST(Channel, FailedTransferClosesAndTheNextCommandOpensAgain) {
  ChannelRig rig;
  rig.bench.addFault("any:refuse@1");
  EXPECT_FALSE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_EQ(rig.bench.driver->openHandles(), 0u);
  EXPECT_TRUE(rig.channel.SendCommand(14, 7, 0, 0));
  EXPECT_EQ(support::countOpens(rig.bench), 2u);
}

}  // namespace
}  // namespace flashwell::protocol
