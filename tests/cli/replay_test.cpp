// Replays of the recorded logs: each passes with the options it was recorded with, a replay
// with another mode stops at the first request that differs and names it.

#include <gtest/gtest.h>

#include <sstream>

#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

TEST(Replay, EachRecordedModePassesAndLogsTheSameRequests) {
  for (const char* mode : {"only", "always", "never"}) {
    Scratch dir;
    const ProgramRun replayed = runFlasher(
        {"--replay", fixture(mode).string(), "--mode", mode, "--yes", "--trace", dir / "again"});
    EXPECT_EQ(replayed.code, kExitDone) << mode << "\n" << replayed.out << replayed.err;
    EXPECT_EQ(replayed.err, "") << mode;
    EXPECT_NE(replayed.out.find("\nmessage:\n"), std::string::npos) << replayed.out;
    EXPECT_EQ(requests(readEvents(dir.folder / "again")), requests(readEvents(fixture(mode))))
        << mode;
  }
}

TEST(Replay, AnotherModeStopsAtTheFirstDifferenceWithBothByteStrings) {
  const ProgramRun r =
      runFlasher({"--replay", fixture("only").string(), "--mode", "never", "--yes"});
  EXPECT_EQ(r.code, kExitReplayDiffers) << r.out << r.err;
  // The log's first difference: where "Only" brings the key into its booter, "Never" goes on
  // with the data erase. Find that request in the fixture.
  const auto recorded = readEvents(fixture("only"));
  const auto never = readEvents(fixture("never"));
  std::size_t at = 0;
  while (at < std::min(recorded.size(), never.size()) && recorded[at].ev == never[at].ev &&
         recorded[at].setup == never[at].setup && recorded[at].data == never[at].data) {
    ++at;
  }
  ASSERT_LT(at, recorded.size());
  EXPECT_NE(r.err.find("differs from the log at line " + std::to_string(recorded[at].line) + "\n"),
            std::string::npos)
      << r.err;
  EXPECT_NE(
      r.err.find("recorded: control setup=" + *recorded[at].setup + " data=" + *recorded[at].data),
      std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("sent:     control setup=" + *never[at].setup + " data=" + *never[at].data),
            std::string::npos)
      << r.err;
}

TEST(Replay, ARunThatEndsEarlierThanTheLogDiffers) {
  // Declining the erase question lets the key go where the recorded run went on.
  const ProgramRun r = runFlasher({"--replay", fixture("only").string(), "--mode", "only"});
  EXPECT_EQ(r.code, kExitReplayDiffers) << r.out << r.err;
  EXPECT_NE(r.out.find("answer: No"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("recorded: control setup="), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("sent:     close\n"), std::string::npos) << r.err;
}

TEST(Replay, WhatCannotBeReplayedIsAUsageError) {
  Scratch dir;
  writeFile(dir / "garbage", "{\"t\":0,\"ev\":\"search\",\"ok\":true}\nnot json\n");
  writeFile(dir / "key-side", "{\"t\":0,\"ev\":\"plug\"}\n");
  writeFile(dir / "far",
            "{\"t\":0,\"ev\":\"search\",\"ok\":true}\n"
            "{\"t\":18446744073709551615,\"ev\":\"search\",\"ok\":true}\n");
  writeFile(dir / "empty", "");
  writeFile(dir / "large", std::string((16u << 20) + 1, '\n'));
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--replay", dir / "missing"}, "does not exist"},
      {{"--replay", dir / "garbage"}, "line 2"},
      {{"--replay", dir / "key-side"}, "no search of the bus"},
      {{"--replay", dir / "far"}, "line 2: \"t\" is 18446744073709551615 ms, more than a day"},
      {{"--replay", dir / "empty"}, "the log is empty"},
      {{"--replay", dir / "large"}, "is too large"},
      {{"--replay", dir.folder.string()}, "is a folder"},
      {{"--replay", "/dev/zero"}, "is a device"},
      {{"--replay", fixture("only").string(), "--emulated"}, "--replay"},
      {{"--replay", fixture("only").string(), "--clock", "real"}, "--clock"},
      {{"--replay", dir / "x", "--trace", dir / "x"}, "--replay"},
  };
  for (const auto& [args, named] : cases) {
    const ProgramRun r = runFlasher(args);
    EXPECT_EQ(r.code, -1) << args[1];
    EXPECT_EQ(r.err.rfind("flashwell-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(named), std::string::npos) << r.err;
  }
}

// Logs that cannot answer the run to its end: the replay stops where the log runs out, whether
// the run asks for more or waits for what never comes.
TEST(Replay, ALogThatRunsOutEndsTheReplayThere) {
  Scratch dir;
  writeFile(dir / "no-key", "{\"t\":0,\"ev\":\"search\",\"ok\":false}\n");
  writeFile(dir / "member-failed",
            "{\"t\":0,\"ev\":\"search\",\"ok\":true}\n"
            "{\"t\":0,\"ev\":\"member\",\"ok\":false,\"error\":5}\n");
  std::vector<std::string> head;
  std::istringstream recorded(readFile(fixture("only")));
  for (std::string line; head.size() < 5 && std::getline(recorded, line);) head.push_back(line);
  std::string used, reordered;
  for (std::size_t i = 0; i < 4; ++i) used += head[i] + "\n";
  for (std::size_t i = head.size(); i-- > 0;) reordered += head[i] + "\n";
  writeFile(dir / "used-up", used);
  writeFile(dir / "reordered", reordered);
  const std::pair<const char*, std::string> cases[] = {
      {"no-key", "nothing after line 1"},
      {"member-failed", "nothing after line 2"},
      {"reordered", "nothing after line 5"},
      {"used-up", "nothing: the log had ended after line 4"},
  };
  for (const auto& [name, recorded] : cases) {
    const ProgramRun r = runFlasher({"--replay", dir / name, "--mode", "only", "--yes"});
    EXPECT_EQ(r.code, kExitReplayDiffers) << name << "\n" << r.err;
    EXPECT_NE(r.err.find("recorded: " + recorded), std::string::npos) << name << "\n" << r.err;
  }
}

}  // namespace
}  // namespace flashwell::cli
