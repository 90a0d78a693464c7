// Replays of the recorded logs: each passes with the options it was recorded with, a replay
// with another mode stops at the first request that differs and names it.

#include <gtest/gtest.h>

#include <fstream>

#include "tests/cli/cli_run.h"

namespace flashwell::cli {
namespace {

using namespace testing;

TEST(Replay, EachRecordedModePassesAndLogsTheSameRequests) {
  for (const char* mode : {"only", "always", "never"}) {
    Scratch dir;
    const CliRun replayed = run(
        {"--replay", fixture(mode).string(), "--mode", mode, "--yes", "--trace", dir / "again"});
    EXPECT_EQ(replayed.code, kExitDone) << mode << "\n" << replayed.out << replayed.err;
    EXPECT_EQ(replayed.err, "") << mode;
    EXPECT_NE(replayed.out.find("\nmessage:\n"), std::string::npos) << replayed.out;
    EXPECT_EQ(requests(readEvents(dir.folder / "again")), requests(readEvents(fixture(mode))))
        << mode;
  }
}

TEST(Replay, AnotherModeStopsAtTheFirstDifferenceWithBothByteStrings) {
  const CliRun r = run({"--replay", fixture("only").string(), "--mode", "never", "--yes"});
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
  const CliRun r = run({"--replay", fixture("only").string(), "--mode", "only"});
  EXPECT_EQ(r.code, kExitReplayDiffers) << r.out << r.err;
  EXPECT_NE(r.out.find("answer: No"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("recorded: control setup="), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("sent:     close\n"), std::string::npos) << r.err;
}

TEST(Replay, WhatCannotBeReplayedIsAUsageError) {
  Scratch dir;
  std::ofstream(dir / "garbage") << "{\"t\":0,\"ev\":\"search\",\"ok\":true}\nnot json\n";
  std::ofstream(dir / "key-side") << "{\"t\":0,\"ev\":\"plug\"}\n";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--replay", dir / "missing"}, "cannot read"},
      {{"--replay", dir / "garbage"}, "line 2"},
      {{"--replay", dir / "key-side"}, "no search of the bus"},
      {{"--replay", fixture("only").string(), "--emulated"}, "--replay"},
      {{"--replay", fixture("only").string(), "--clock", "real"}, "--clock"},
      {{"--replay", dir / "x", "--trace", dir / "x"}, "--replay"},
  };
  for (const auto& [args, named] : cases) {
    const CliRun r = run(args);
    EXPECT_EQ(r.code, -1) << args[1];
    EXPECT_EQ(r.err.rfind("flashwell-cli: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(named), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace flashwell::cli
