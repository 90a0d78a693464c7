// Progress of a simulated upgrade: the blocks planned once PROCEED is confirmed and counted as
// they cross the driver, one percentage that follows the run's planned time; and the bar that
// shows it on a terminal.

#include <gtest/gtest.h>

#include <sstream>

#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/plain_output.h"
#include "tools/cli/terminal_output.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

// Keeps every progress the run tells, and drops the rest.
class ProgressRecorder final : public PlainOutput {
 public:
  ProgressRecorder() : PlainOutput(sink_, sink_) {}
  void progress(const Progress& p) override { seen.push_back(p); }
  std::vector<Progress> seen;

 private:
  std::ostringstream sink_;
};

// The blocks the log shows sent: successful transfers of whole blocks to the key.
std::uint32_t blocksInLog(const std::vector<trace::LogEvent>& events) {
  std::uint32_t blocks = 0;
  for (const auto& e : events) {
    blocks += e.ev == "out" && e.ok == true && e.len >= 2048u;
  }
  return blocks;
}

TEST(Progress, ThePlanIsWhatIsSentAndThePercentageFollowsThePlannedTime) {
  struct Case {
    std::vector<std::string> args;
    bool firmware;  // the key's firmware is rewritten
    bool regions;
  };
  const Case cases[] = {
      {{"--emulated", "--mode", "only"}, true, true},
      {{"--emulated", "--mode", "always"}, true, true},
      {{"--emulated", "--mode", "never"}, false, false},
      {{"--emulated=booter", "--mode", "never"}, true, false},
      {{"--emulated=booter", "--mode", "always"}, true, true},
      {{"--emulated=small-packet", "--mode", "only"}, true, true},
  };
  for (const Case& c : cases) {
    Scratch dir;
    std::vector<std::string> args = c.args;
    for (const char* a : {"--yes", "--trace"}) args.push_back(a);
    args.push_back(dir / "t.jsonl");
    ProgressRecorder recorder;
    const std::string shown = ::testing::PrintToString(c.args);
    ASSERT_EQ(runFlasher(args, {.output = &recorder}).code, kExitDone) << shown;
    ASSERT_FALSE(recorder.seen.empty());
    const Progress& last = recorder.seen.back();
    EXPECT_EQ(last.total, blocksInLog(readEvents(dir.folder / "t.jsonl"))) << shown;
    EXPECT_EQ(last.sent, last.total) << shown;
    EXPECT_TRUE(last.finished);
    EXPECT_EQ(last.percent, 100) << shown;
    EXPECT_EQ(last.firmwareBlocks > 0, c.firmware) << shown;
    EXPECT_EQ(last.total > last.firmwareBlocks, c.regions) << shown;
    ASSERT_GT(last.plannedMs, 0u) << shown;

    std::uint32_t sentBefore = 0;
    int percentBefore = 0;
    for (const Progress& p : recorder.seen) {
      const std::string at = shown + " at " + std::to_string(p.elapsedMs) + " ms";
      EXPECT_GE(p.sent, sentBefore) << at;
      EXPECT_LE(p.sent, p.total) << at;
      EXPECT_GE(p.percent, percentBefore) << at;
      EXPECT_EQ(p.percent == 100, p.finished) << at;
      if (p.plannedMs == 0) {
        EXPECT_EQ(p.percent, 0) << at;
      } else {
        const double byTime =
            std::min(100.0, 100.0 * p.sinceProceedMs / static_cast<double>(p.plannedMs));
        EXPECT_NEAR(p.percent, byTime, 10.0) << at;
      }
      sentBefore = p.sent;
      percentBefore = p.percent;
    }
  }
}

TEST(ProgressBar, ShowsStepPercentageAndTime) {
  Progress p;
  p.step = "Copying Firmware for GPS";
  p.total = 200;
  p.sent = 50;
  p.percent = 25;
  p.elapsedMs = 75'000;
  EXPECT_EQ(TerminalOutput::barLine(p),
            "[#######-----------------------]  25%  1:15  Copying Firmware for GPS");
  p.total = 0;
  p.percent = 0;
  EXPECT_EQ(TerminalOutput::barLine(p).substr(32, 7), "   0%  ");
  p.finished = true;
  p.percent = 100;
  EXPECT_EQ(TerminalOutput::barLine(p).substr(32, 7), " 100%  ");
}

TEST(ProgressBar, AtMostTenRedrawsASecondButEveryPhaseEnd) {
  std::ostringstream out, err;
  std::uint64_t wall = 1000;
  TerminalOutput bar(out, err, [&wall] { return wall; });
  auto redraws = [&out] {
    const std::string text = out.str();
    int n = 0;
    for (std::size_t at = text.find("\r\x1b[K["); at != std::string::npos;
         at = text.find("\r\x1b[K[", at + 1)) {
      ++n;
    }
    return n;
  };
  Progress p;
  p.step = "UPDATING";
  p.total = 100;
  p.firmwareBlocks = 20;
  bar.progress(p);
  EXPECT_EQ(redraws(), 1);
  // Ten blocks in the same instant: no redraw...
  for (p.sent = 1; p.sent < 20; ++p.sent) bar.progress(p);
  EXPECT_EQ(redraws(), 1);
  // ...but the end of the firmware phase is drawn at once.
  p.percent = 20;
  bar.progress(p);
  EXPECT_EQ(redraws(), 2);
  EXPECT_NE(out.str().rfind(" 20%"), std::string::npos);
  p.sent = 30;
  p.percent = 30;
  bar.progress(p);
  EXPECT_EQ(redraws(), 2);
  wall += 100;
  bar.progress(p);
  EXPECT_EQ(redraws(), 3);
  // A plain line goes above the bar, which is drawn again below it.
  bar.text(TextKind::message, "Congratulations!");
  EXPECT_EQ(redraws(), 4);
  EXPECT_NE(out.str().find("\r\x1b[Kmessage:\n  Congratulations!\n"), std::string::npos);
  bar.end(0);
  EXPECT_EQ(out.str().back(), '\n');
}

}  // namespace
}  // namespace flashwell::cli
