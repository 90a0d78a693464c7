// The host-side traffic log of whole runs: what the program sent and got, as the key saw it.

#include <gtest/gtest.h>

#include "emulator/trace.h"
#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

TEST(TrafficLog, AWholeUpgradeIsLoggedAsTheKeySawIt) {
  for (const char* mode : {"only", "never"}) {
    Scratch dir;
    const ProgramRun r = runFlasher({"--emulated", "--mode", mode, "--yes", "--trace",
                                     dir / "host.jsonl", "--key-trace", dir / "key.jsonl"});
    ASSERT_EQ(r.code, kExitDone) << mode << "\n" << r.out << r.err;
    const auto host = readEvents(dir.folder / "host.jsonl");
    const auto key = readEvents(dir.folder / "key.jsonl");
    const auto hostTransfers = transfers(host);
    EXPECT_GT(hostTransfers.size(), 100u) << mode;
    EXPECT_EQ(hostTransfers, transfers(key)) << mode;
    // The same moments as well: the log is taken as the requests complete.
    std::vector<std::uint64_t> hostTimes, keyTimes;
    for (const auto& e : host) {
      if (e.ev == "control" || e.ev == "out" || e.ev == "in") hostTimes.push_back(e.t);
    }
    for (const auto& e : key) {
      if (e.ev == "control" || e.ev == "out" || e.ev == "in") keyTimes.push_back(e.t);
    }
    EXPECT_EQ(hostTimes, keyTimes) << mode;
  }
}

// Simulated time repeats: the same run twice gives the same logs, byte for byte, times included.
TEST(TrafficLog, TheSameRunTwiceGivesTheSameLogs) {
  for (const char* state : {"fresh", "booter", "small-packet"}) {
    for (const char* mode : {"only", "always", "never"}) {
      const std::string shown = std::string(state) + " " + mode;
      Scratch dir;
      for (const char* run_ : {"1", "2"}) {
        const std::string at = std::string("--emulated=") + state;
        const ProgramRun r =
            runFlasher({at, "--mode", mode, "--yes", "--trace", dir / (run_ + std::string(".host")),
                        "--key-trace", dir / (run_ + std::string(".key"))});
        ASSERT_EQ(r.code, kExitDone) << shown << "\n" << r.out << r.err;
      }
      const std::string host = readFile(dir.folder / "1.host");
      EXPECT_GT(host.size(), 1000u) << shown;
      EXPECT_EQ(host, readFile(dir.folder / "2.host")) << shown;
      EXPECT_EQ(readFile(dir.folder / "1.key"), readFile(dir.folder / "2.key")) << shown;
    }
  }
}

// The recorded logs are what the program sends today, whole, times included.
TEST(TrafficLog, EachModeLogsItsRecordedRunWhole) {
  for (const char* mode : {"only", "always", "never"}) {
    Scratch dir;
    const ProgramRun r =
        runFlasher({"--emulated", "--mode", mode, "--yes", "--trace", dir / "host.jsonl"});
    ASSERT_EQ(r.code, kExitDone) << mode << "\n" << r.out << r.err;
    EXPECT_EQ(readFile(dir.folder / "host.jsonl"), readFile(fixture(mode))) << mode;
  }
}

// The output without the connect prompt, which a run shows or not depending on whether the
// worker thread finds the key before the prompt is due.
std::string withoutPrompt(std::string out) {
  const std::string prompt = " Connect\n MEMPOD\n to PC(USB).\n";
  if (const auto at = out.find(prompt); at != std::string::npos) out.erase(at, prompt.size());
  return out;
}

TEST(TrafficLog, TheLogChangesNothingTheUserSees) {
  Scratch dir;
  const ProgramRun with =
      runFlasher({"--emulated", "--mode", "always", "--yes", "--trace", dir / "t.jsonl"});
  const ProgramRun without = runFlasher({"--emulated", "--mode", "always", "--yes"});
  EXPECT_EQ(with.code, kExitDone);
  EXPECT_EQ(withoutPrompt(with.out), withoutPrompt(without.out));
}

TEST(TrafficLog, TheCommandLineTakesALogOnAnyBackend) {
  Scratch dir;
  const ProgramRun plain = runFlasher({"--trace", dir / "t.jsonl", "--help"});
  EXPECT_EQ(plain.code, -1);
  EXPECT_EQ(plain.err, "");
  // The key's own trace needs the virtual key, and the two logs need two files.
  const ProgramRun keyTrace = runFlasher({"--key-trace", dir / "k.jsonl"});
  EXPECT_EQ(keyTrace.code, -1);
  EXPECT_NE(keyTrace.err.find("--emulated"), std::string::npos) << keyTrace.err;
  const ProgramRun same =
      runFlasher({"--emulated", "--trace", dir / "t.jsonl", "--key-trace", dir / "t.jsonl"});
  EXPECT_NE(same.err.find("--key-trace"), std::string::npos) << same.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir.folder));
}

}  // namespace
}  // namespace flashwell::cli
