// flashwell-cli on the real clock, stopped as a user or a script stops it: SIGINT from the
// terminal during the booter entry and during the key's firmware write, and a reader that
// leaves after three lines of --json. The key is left whole each time. Real pace: about 30 s.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <regex>

#include "tests/support/program_run.h"

namespace flashwell::edges {
namespace {

using namespace support;

namespace fs = std::filesystem;

const std::string kCli = FLASHWELL_CLI;

class CliSignals : public ::testing::Test {
 protected:
  // `info` on the saved key: it runs its firmware, of the version the tool carries or not.
  void expectKeyRuns(bool newFirmware) {
    const ProgramRun info =
        runProgram(kCli, {"--emulated", "--key-state", "key.bin", "info"}, dir_.folder);
    ASSERT_EQ(info.code, 0) << info.out << info.err;
    EXPECT_NE(info.out.find("key: firmware running"), std::string::npos) << info.out;
    // The tool's column, then the key's: the same version when the firmware is the new one.
    const std::regex same("\n  MEMPOD +([0-9.]+) .* \\1 ");
    EXPECT_EQ(std::regex_search(info.out, same), newFirmware) << info.out;
  }

  // The next "Never" run on the key sends no flash command: no firmware erase, no programmed
  // block, no restart out of a booter.
  void expectNeverRunLeavesFirmware() {
    const ProgramRun r = runProgram(
        kCli, {"--emulated", "--key-state", "key.bin", "--mode", "never", "--trace", "never.jsonl"},
        dir_.folder);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    const std::string log = readFile(dir_ / "never.jsonl");
    EXPECT_FALSE(log.empty());
    EXPECT_EQ(log.find("\"setup\":\"400f"), std::string::npos);
  }

  Scratch dir_;
};

TEST_F(CliSignals, SigintActsAsExitAndIsHeldWhileTheFirmwareIsWritten) {
  struct Case {
    const char* when;
    bool held;
  };
  for (const Case c : {Case{"status: starting the BOOTER...", false},
                       Case{"status: UPDATING the firmware...", true}}) {
    SCOPED_TRACE(c.when);
    fs::remove(dir_ / "key.bin");
    bool sent = false;
    const ProgramRun r = runProgram(kCli,
                                    {"--emulated", "fresh", "--clock", "real", "--mode", "only",
                                     "--yes", "--key-state", "key.bin"},
                                    dir_.folder, [&](int pid, const std::string& out) {
                                      if (!sent && out.find(c.when) != std::string::npos)
                                        sent = ::kill(pid, SIGINT) == 0;
                                    });
    ASSERT_TRUE(sent) << r.out << r.err;
    EXPECT_EQ(r.code, 130) << r.out << r.err;
    const bool saidHeld =
        r.out.find("Flashwell will exit as soon as it is safe.") != std::string::npos;
    EXPECT_EQ(saidHeld, c.held) << r.out;
    EXPECT_NE(r.out.find("status: EXITING..."), std::string::npos) << r.out;
    expectKeyRuns(c.held);
    expectNeverRunLeavesFirmware();
  }
}

TEST_F(CliSignals, AReaderThatLeavesEndsTheRunAsExit) {
  struct Case {
    const char* reader;
    std::size_t lines;  // what the reader took
    bool newFirmware;
  };
  for (const Case c : {Case{"head -n 3", 3, false},
                       // Gone during the firmware write: the run goes on until it is written.
                       Case{"grep -m 1 'UPDATING the firmware'", 1, true}}) {
    SCOPED_TRACE(c.reader);
    fs::remove(dir_ / "key.bin");
    const ProgramRun r = runProgram(
        "/bin/bash",
        {"-c", kCli +
                   " --emulated fresh --clock real --mode only --yes --json --key-state key.bin"
                   " | " +
                   c.reader + "; exit ${PIPESTATUS[0]}"},
        dir_.folder);
    // EXIT before the final report: the run's own outcome, not the end by SIGPIPE (141).
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(r.out.begin(), r.out.end(), '\n')), c.lines)
        << r.out;
    expectKeyRuns(c.newFirmware);
    expectNeverRunLeavesFirmware();
  }
}

}  // namespace
}  // namespace flashwell::edges
