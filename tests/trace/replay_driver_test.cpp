// Replays of a recorded log through the real link: the same requests get the same answers at
// the same times; the first other request ends the replay and is named with both byte strings.

#include <gtest/gtest.h>

#include "tests/support/key_bench.h"
#include "tests/trace/session.h"
#include "trace/replay_driver.h"

namespace flashwell::trace {
namespace {

using support::KeyBench;
using support::namedKey;

std::vector<LogEvent> recordedSession(std::uint64_t* endMs = nullptr) {
  KeyBench host(namedKey("fresh"));
  host.logHost();
  testing::runSession(*host.link);
  if (endMs) *endMs = host.clock.elapsedMs();
  return host.hostEvents();
}

struct Replay {
  explicit Replay(std::vector<LogEvent> events) : driver(clock, std::move(events)) {}
  usb::SimulatedClock clock;
  ReplayDriver driver;
  usb::SilentNotices notices;
  usb::UsbLink link{driver, notices};
};

TEST(ReplayDriver, TheSameSessionGetsTheSameAnswersAtTheSameTimes) {
  std::uint64_t recordedEnd = 0;
  const std::vector<LogEvent> log = recordedSession(&recordedEnd);
  ASSERT_EQ(whyNotReplayable(log), "");
  KeyBench live(namedKey("fresh"));
  const testing::SessionResult expected = testing::runSession(*live.link);

  Replay replay(log);
  EXPECT_EQ(testing::runSession(replay.link), expected);
  EXPECT_FALSE(replay.driver.difference());
  EXPECT_FALSE(replay.driver.leftOver());
  EXPECT_EQ(replay.clock.elapsedMs(), recordedEnd);
}

TEST(ReplayDriver, TheFirstOtherRequestIsNamedAndEndsTheReplay) {
  const std::vector<LogEvent> log = recordedSession();
  Replay replay(log);
  // The same session with a flash command where the log holds the short command.
  const testing::SessionResult r = testing::runSession(replay.link, 15);
  EXPECT_EQ(r.returns, (std::vector<int>{1, -1, -1, -1}));
  const auto d = replay.driver.difference();
  ASSERT_TRUE(d);
  const auto control =
      std::find_if(log.begin(), log.end(), [](const LogEvent& e) { return e.ev == "control"; });
  EXPECT_EQ(d->line, control->line);
  EXPECT_EQ(d->recorded, "control setup=400e000000000600 data=070000000000");
  EXPECT_EQ(d->sent, "control setup=400f000000000600 data=070000000000");
  // Nothing further is answered, not even a search.
  EXPECT_FALSE(replay.link.UsbEnsureOpen());
  EXPECT_EQ(replay.driver.leftOver()->line, d->line);
}

TEST(ReplayDriver, ASessionThatStopsShortLeavesTheRestOfTheLogNamed) {
  const std::vector<LogEvent> log = recordedSession();
  Replay replay(log);
  ASSERT_TRUE(replay.link.UsbEnsureOpen());
  EXPECT_FALSE(replay.driver.difference());
  const auto left = replay.driver.leftOver();
  ASSERT_TRUE(left);
  EXPECT_EQ(left->recorded, "control setup=400e000000000600 data=070000000000");
  EXPECT_EQ(left->sent, "nothing: the run had ended");

  // And one that goes on past its end is told so.
  Replay longer(log);
  testing::runSession(longer.link);
  EXPECT_FALSE(longer.link.UsbEnsureOpen());
  const auto past = longer.driver.difference();
  ASSERT_TRUE(past);
  EXPECT_EQ(past->line, 0u);
  EXPECT_EQ(past->recorded,
            "nothing: the log had ended after line " + std::to_string(log.back().line));
  EXPECT_EQ(past->sent, "open " + std::string(emulator::kDefaultKeyPath));
}

TEST(ReplayDriver, TheBusIsAnsweredAsItLookedAtThatTime) {
  // The key appears on the bus 3 s after the log began; the program polls each second.
  std::vector<LogEvent> log;
  auto add = [&log](std::uint64_t t, const char* ev, std::optional<bool> ok,
                    std::optional<std::string> path = {}) {
    LogEvent e;
    e.t = t;
    e.ev = ev;
    e.ok = ok;
    e.path = std::move(path);
    e.line = log.size() + 1;
    if (std::string(ev) == "member" && !*ok) e.error = usb::kErrorNoMoreItems;
    log.push_back(e);
  };
  add(0, "search", true);
  add(0, "member", false);
  add(3000, "search", true);
  add(3000, "member", true, emulator::kDefaultKeyPath);
  add(3000, "open", true, emulator::kDefaultKeyPath);
  LogEvent descriptor;
  descriptor.t = 3000;
  descriptor.ev = "descriptor";
  descriptor.ok = true;
  descriptor.data = toHex(emulator::VirtualKey(namedKey("fresh")).descriptorSet());
  descriptor.line = 6;
  log.push_back(descriptor);
  ASSERT_EQ(whyNotReplayable(log), "");

  Replay replay(log);
  int polls = 0;
  while (!replay.link.UsbEnsureOpen() && !replay.driver.difference() && polls < 10) {
    ++polls;
    replay.clock.sleepMs(1000);
  }
  EXPECT_EQ(polls, 3);
  EXPECT_EQ(replay.clock.elapsedMs(), 3000u);
  EXPECT_FALSE(replay.driver.difference());
  EXPECT_FALSE(replay.driver.leftOver());
}

TEST(ReplayDriver, OnlyAHostLogCanBeReplayed) {
  std::vector<LogEvent> keySide = recordedSession();
  std::erase_if(keySide, [](const LogEvent& e) { return e.ev == "search" || e.ev == "member"; });
  EXPECT_NE(whyNotReplayable(keySide).find("no search"), std::string::npos);

  std::vector<LogEvent> torn = recordedSession();
  for (LogEvent& e : torn) {
    if (e.ev == "control") {
      e.setup.reset();
      EXPECT_EQ(whyNotReplayable(torn),
                "line " + std::to_string(e.line) + ": control without setup or data");
      break;
    }
  }
}

}  // namespace
}  // namespace flashwell::trace
