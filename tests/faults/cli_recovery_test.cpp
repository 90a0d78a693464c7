// The headless flasher interrupted by --timeout at points spread over an upgrade (and with a
// key pulled for good), its key saved with --key-state; the next run on that file completes
// the upgrade.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "emulator/key_file.h"
#include "emulator/named_states.h"
#include "emulator/virtual_key.h"
#include "tests/faults/cell_run.h"
#include "tests/faults/key_checks.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::faults {
namespace {

namespace fs = std::filesystem;

using support::ProgramRun;
using support::runFlasher;

class CliRecovery : public ::testing::Test {
 protected:
  std::string path(const char* name) const { return (scratch_ / name).string(); }

  // The length of a clean run in simulated seconds, from the time of its trace's last event.
  int cleanRunSeconds() {
    const std::string trace = path("clean.jsonl");
    const ProgramRun r = runFlasher({"--emulated", "--mode", "only", "--yes", "--trace", trace});
    EXPECT_EQ(r.code, cli::kExitDone) << r.out << r.err;
    std::ifstream in(trace);
    std::string line, last;
    while (std::getline(in, line)) last = line;
    const std::size_t at = last.find("\"t\":");
    return at == std::string::npos ? 0 : std::stoi(last.substr(at + 4)) / 1000;
  }

  // The next run on the saved key completes the upgrade and leaves the file holding it.
  void expectRecovery(const std::string& keyState, const std::string& what) {
    const ProgramRun next =
        runFlasher({"--emulated", "--mode", "only", "--yes", "--key-state", keyState});
    EXPECT_EQ(next.code, cli::kExitDone) << what << "\n" << next.out << next.err;
    std::string why;
    const auto image = emulator::loadKeyImage(keyState, &why);
    ASSERT_TRUE(image) << what << ": " << why;
    const emulator::VirtualKey key(*image);
    EXPECT_TRUE(holdsPackage(key, packageSlots(), protocol::UpgradeOption::only)) << what;
  }

  support::Scratch scratch_;
};

TEST_F(CliRecovery, InterruptedAnywhereTheNextRunCompletes) {
  const int seconds = cleanRunSeconds();
  ASSERT_GT(seconds, 20);
  int interrupted = 0;
  for (int timeout = 5; timeout < seconds; timeout += 10) {
    const std::string keyState = path(("key-" + std::to_string(timeout) + ".bin").c_str());
    const ProgramRun first = runFlasher({"--emulated", "--mode", "only", "--yes", "--key-state",
                                         keyState, "--timeout", std::to_string(timeout)});
    // An interrupt that comes while the firmware is rewritten waits for EXIT to unlock, so a
    // late one may find the upgrade done already.
    ASSERT_TRUE(first.code == cli::kExitTimedOut || first.code == cli::kExitDone) << timeout << "\n"
                                                                                  << first.out;
    interrupted += first.code == cli::kExitTimedOut;
    ASSERT_TRUE(fs::exists(keyState)) << timeout;
    expectRecovery(keyState, "interrupted after " + std::to_string(timeout) + " s");
  }
  EXPECT_GT(interrupted, 2);
}

TEST_F(CliRecovery, ExitWhileTheBooterStartsSavesTheKeyAsFoundAndNeverThenWritesNothing) {
  // Two seconds after the start the key is on its way into the booter: EXIT then brings it back
  // to its firmware, and the saved key must be the one that was found, not one caught mid-restart.
  const std::string keyState = path("booter-entry.bin");
  const ProgramRun first = runFlasher(
      {"--emulated", "--mode", "only", "--yes", "--key-state", keyState, "--timeout", "2"});
  ASSERT_EQ(first.code, cli::kExitTimedOut) << first.out;
  ASSERT_NE(first.out.find("starting the BOOTER"), std::string::npos) << first.out;
  std::string why;
  const auto left = emulator::loadKeyImage(keyState, &why);
  ASSERT_TRUE(left) << why;
  const auto fresh = emulator::namedKeyState("fresh");
  ASSERT_TRUE(fresh);
  EXPECT_EQ(left->program, emulator::KeyProgram::firmware);
  EXPECT_EQ(left->firmwareArea, fresh->firmwareArea);
  EXPECT_EQ(left->regions, fresh->regions);

  // "Never" on that key sends no flash command at all.
  const std::string keyTrace = path("never.jsonl");
  const ProgramRun never = runFlasher(
      {"--emulated", "--mode", "never", "--yes", "--key-state", keyState, "--key-trace", keyTrace});
  EXPECT_EQ(never.code, cli::kExitDone) << never.out;
  std::ifstream in(keyTrace);
  std::string line;
  int flashCommands = 0;
  while (std::getline(in, line))
    flashCommands += line.find("\"setup\":\"400f") != std::string::npos;
  EXPECT_EQ(flashCommands, 0);
}

TEST_F(CliRecovery, KeyPulledForGoodDuringTheFirmwareIsRestoredNextTime) {
  const std::string keyState = path("pulled.bin");
  const ProgramRun first =
      runFlasher({"--emulated", "--mode", "only", "--yes", "--key-state", keyState, "--fault",
                  "program:unplug-for-good@5", "--timeout", "600"});
  // The firmware write fails at once; the orderly exit then gives up on the absent key.
  EXPECT_EQ(first.code, cli::kExitFailure) << first.out;
  std::string why;
  const auto left = emulator::loadKeyImage(keyState, &why);
  ASSERT_TRUE(left) << why;
  EXPECT_EQ(left->program, emulator::KeyProgram::booter);
  expectRecovery(keyState, "pulled during the firmware");
}

TEST_F(CliRecovery, KeyPulledForGoodWhileTheToolWaitsForItEndsOnTheTimeout) {
  // Pulled as the mark step reads the identity: the worker then waits for the key.
  const Reference& clean = reference("fresh", protocol::UpgradeOption::only);
  const auto mark = std::find_if(clean.steps.begin(), clean.steps.end(),
                                 [](const UpgradeStep& s) { return s.name == "mark"; });
  ASSERT_NE(mark, clean.steps.end());
  const auto identify = std::find_if(mark->places.begin(), mark->places.end(), [](const auto& p) {
    return p.site == emulator::FaultSite::identify;
  });
  ASSERT_NE(identify, mark->places.end());
  const std::string keyState = path("waiting.bin");
  const ProgramRun first = runFlasher(
      {"--emulated", "--mode", "only", "--yes", "--key-state", keyState, "--fault",
       "identify:unplug-for-good@" + std::to_string(identify->occurrence), "--timeout", "300"});
  EXPECT_EQ(first.code, cli::kExitTimedOut) << first.out;
  expectRecovery(keyState, "pulled at the mark");
}

TEST_F(CliRecovery, AComponentStoredWrongEndsInTheCopyErrorNamedAndTheNextRunRecovers) {
  const std::string keyState = path("stored-wrong.bin");
  const ProgramRun first =
      runFlasher({"--emulated", "fresh", "--mode", "only", "--yes", "--key-state", keyState,
                  "--fault", "component-stored-wrong"});
  EXPECT_EQ(first.code, cli::kExitFailure) << first.out << first.err;
  EXPECT_NE(first.out.find("status: ERROR on Copying Firmware.. TRY AGAIN"), std::string::npos)
      << first.out;
  EXPECT_EQ(first.out.find("Congratulations"), std::string::npos) << first.out;
  EXPECT_NE(first.err.find("written for: LAPSTER4 firmware\n"), std::string::npos) << first.err;
  expectRecovery(keyState, "a component stored wrong");
}

}  // namespace
}  // namespace flashwell::faults
