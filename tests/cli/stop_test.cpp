// Signals and a lost output stop a run as EXIT does, in simulated time: at once before the key's
// own firmware is touched, and once it is written and the key restarted when they come while
// it is erased or written. The key is saved either way, and the next run finds it whole.

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>

#include "app/stop_texts.h"
#include "catalogue/cp1252.h"
#include "catalogue/embedded_package.h"
#include "catalogue/text_tables.h"
#include "protocol/command_frame.h"
#include "protocol/component_table.h"
#include "protocol/key_commands.h"
#include "sequencer/text_ids.h"
#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tests/support/recording_keep_awake.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

constexpr const char* kBooterEntry = "status: starting the BOOTER...";
constexpr const char* kErasing = "status: ERASING the firmware...";
constexpr const char* kWriting = "status: UPDATING the firmware...";
constexpr const char* kReport = "Congratulations!";
constexpr const char* kKeyRead = "Vers.  in  MEMPOD:";

// What the test does to a run when the output first shows a text: a signal, or the output
// closed (signal 0).
struct Stop {
  const char* when;
  int signal;
};

// An emulated upgrade of a fresh key saved in `keyState` ("Only" unless `more` says), stopped
// as `stops` say; `keepAwake` is held during it, and `look` sees the output after every tick.
ProgramRun stoppedRun(const std::string& keyState, const std::vector<Stop>& stops,
                      std::vector<std::string> more = {"--mode", "only", "--yes"},
                      app::KeepAwake* keepAwake = nullptr,
                      const std::function<void(const std::string&)>& look = {}) {
  std::vector<std::string> args{"--emulated", "--key-state", keyState};
  args.insert(args.end(), more.begin(), more.end());
  std::size_t next = 0;
  const ProgramRun r = runFlasher(
      args, {.keepAwake = keepAwake, .watch = [&](const std::string& out) {
               if (look) look(out);
               if (next == stops.size() || out.find(stops[next].when) == std::string::npos) {
                 return 0;
               }
               const int signal = stops[next++].signal;
               return signal == 0 ? kCloseOutput : signal;
             }});
  EXPECT_EQ(next, stops.size()) << "a stop was never sent\n" << r.out << r.err;
  return r;
}

// `info` on the saved key: the key runs its firmware, and its MEMPOD row shows `version`.
void expectKeyRuns(const std::string& keyState, const std::string& version,
                   const std::string& what) {
  const ProgramRun r = runFlasher({"--emulated", "--key-state", keyState, "info"});
  ASSERT_EQ(r.code, kExitDone) << what << "\n" << r.out << r.err;
  EXPECT_NE(r.out.find("key: firmware running"), std::string::npos) << what << "\n" << r.out;
  const std::size_t row = r.out.find("  MEMPOD ");
  ASSERT_NE(row, std::string::npos) << r.out;
  const std::string line = r.out.substr(row, r.out.find('\n', row) - row);
  // The tool's column, then the key's.
  EXPECT_EQ(line.rfind(version), line.size() - std::string("02.05        2024/03/18").size())
      << what << ": " << line;
}

// A "Never" run on the saved key neither erases nor programs the key's firmware, nor restarts
// the key, nor writes a component block: the key was left running its firmware.
void expectNeverRunLeavesFirmware(const std::string& keyState, const std::string& log,
                                  const std::string& what) {
  const ProgramRun r = runFlasher(
      {"--emulated", "--key-state", keyState, "--mode", "never", "--yes", "--trace", log});
  EXPECT_EQ(r.code, kExitDone) << what << "\n" << r.out << r.err;
  for (const trace::LogEvent& e : readEvents(log)) {
    const bool flash = e.ev == "control" && e.setup && e.setup->substr(2, 2) == "0f";
    const bool block = e.ev == "out" && e.len.value_or(0) >= protocol::kRegionBlockSize;
    EXPECT_FALSE(flash || block) << what << ": " << trace::toLogLine(e);
  }
}

std::size_t count(const std::string& text, std::string_view part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST(OutsideStop, SignalsAndALostOutputActAsExit) {
  const std::string held(app::stopText(app::StopText::held));
  const std::string again(app::stopText(app::StopText::alreadyHeld));
  struct Case {
    const char* name;
    std::vector<Stop> stops;
    int code;
    const char* keyVersion;  // the MEMPOD version on the key afterwards
    std::size_t heldLines;
    std::size_t againLines;
  };
  const std::vector<Case> cases{
      {"SIGTERM before the key is read", {{"UPDATE for", SIGTERM}}, 143, "01.10", 0, 0},
      {"SIGINT during the booter entry", {{kBooterEntry, SIGINT}}, 130, "01.10", 0, 0},
      {"SIGTERM during the firmware erase", {{kErasing, SIGTERM}}, 143, "02.05", 1, 0},
      {"SIGINT during the firmware write", {{kWriting, SIGINT}}, 130, "02.05", 1, 0},
      {"SIGHUP, then SIGINT and SIGTERM, during the firmware write",
       {{kErasing, SIGHUP}, {kWriting, SIGINT}, {kWriting, SIGTERM}},
       129,
       "02.05",
       1,
       1},
      {"SIGINT after the final report", {{kReport, SIGINT}}, 130, "02.05", 0, 0},
      // The run's own outcome: EXIT before the final report is a failure.
      {"the output closed during the firmware write", {{kWriting, 0}}, kExitFailure, "02.05", 0, 0},
      {"the output closed after the key was read", {{kKeyRead, 0}}, kExitFailure, "01.10", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch dir;
    const std::string key = dir / "key.bin";
    const ProgramRun r = stoppedRun(key, c.stops);
    EXPECT_EQ(r.code, c.code) << r.out;
    EXPECT_EQ(count(r.out, held), c.heldLines) << r.out;
    EXPECT_EQ(count(r.out, again), c.againLines) << r.out;
    expectKeyRuns(key, c.keyVersion, c.name);
    expectNeverRunLeavesFirmware(key, dir / "never.jsonl", c.name);
  }
}

TEST(OutsideStop, AHeldSignalLetsTheFirmwareWriteEndFirst) {
  Scratch dir;
  const ProgramRun r = stoppedRun(dir / "key.bin", {{kWriting, SIGINT}});
  ASSERT_EQ(r.code, 130);
  // Said at once, then the key restarted into its new firmware, then the exit.
  const std::size_t held = r.out.find(app::stopText(app::StopText::held));
  const std::size_t exiting = r.out.find("status: EXITING...");
  ASSERT_NE(held, std::string::npos) << r.out;
  ASSERT_NE(exiting, std::string::npos) << r.out;
  EXPECT_LT(held, exiting);
  EXPECT_EQ(r.out.find(kReport), std::string::npos) << r.out;
}

TEST(OutsideStop, JsonEndsWithTheEndEventAfterASignal) {
  for (const auto& [when, signal] : std::vector<std::pair<std::string, int>>{
           {"\"UPDATE for", SIGTERM}, {"\"UPDATING the firmware...\"", SIGINT}}) {
    SCOPED_TRACE(when);
    Scratch dir;
    const ProgramRun r = stoppedRun(dir / "key.bin", {{when.c_str(), signal}},
                                    {"--mode", "only", "--yes", "--json"});
    EXPECT_EQ(r.code, 128 + signal);
    const std::string end =
        "\"event\":\"end\",\"exit_code\":" + std::to_string(128 + signal) + "}\n";
    ASSERT_GE(r.out.size(), end.size()) << r.out;
    EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end) << r.out;
  }
}

TEST(OutsideStop, TheHeldLinesAreInTheRunsLanguage) {
  for (const std::uint16_t language : {catalogue::kLanguageGerman, catalogue::kLanguageDutch}) {
    SCOPED_TRACE(language);
    const char* lcid = language == catalogue::kLanguageGerman ? "0407" : "0413";
    // The firmware write's status line, in that language.
    const std::string writing = catalogue::cp1252ToUtf8(catalogue::lookupTextIn(
        catalogue::embeddedPackage(), language, sequencer::kTextUpdatingFirmware));
    Scratch dir;
    const ProgramRun r =
        stoppedRun(dir / "key.bin", {{writing.c_str(), SIGINT}, {writing.c_str(), SIGTERM}},
                   {"--mode", "only", "--yes", "--lcid", lcid});
    EXPECT_EQ(r.code, 130);
    EXPECT_EQ(count(r.out, app::stopText(app::StopText::held, language)), 1u) << r.out;
    EXPECT_EQ(count(r.out, app::stopText(app::StopText::alreadyHeld, language)), 1u) << r.out;
    EXPECT_EQ(count(r.out, app::stopText(app::StopText::held)), 0u) << r.out;
  }
}

TEST(KeepAwake, HeldFromTheGoOfProceedToTheReportAFailureOrTheExitsEnd) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::vector<Stop> stops;
    std::map<std::string, bool> heldWhen;  // whether it is held when the output first shows these
    std::size_t holds;
  };
  const std::vector<Case> cases{
      {"a whole upgrade",
       {"--mode", "only", "--yes"},
       {},
       {{kKeyRead, false},
        {kBooterEntry, true},
        {kWriting, true},
        {"Copying Firmware for Lps4 EXP", true},
        {kReport, false}},
       1},
      {"a Never run, which empties the regions",
       {"--mode", "never"},
       {},
       {{"status: Erasing Firmware for LAPSTER4", true}, {"doesn't upgrade", false}},
       1},
      {"the erase question answered No", {"--mode", "only"}, {}, {{"answer: No", false}}, 0},
      {"a failure in the booter: the exit brings the key back",
       {"--mode", "only", "--yes", "--fault", "erase-fails"},
       {},
       {{kBooterEntry, true}, {"ERROR", false}},
       1},
      {"SIGINT during the firmware write: held until the key is back",
       {"--mode", "only", "--yes"},
       {{kWriting, SIGINT}},
       {{kWriting, true}, {"status: EXITING...", true}},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scratch dir;
    support::RecordingKeepAwake keepAwake;
    std::map<std::string, bool> seen;
    const ProgramRun r =
        stoppedRun(dir / "key.bin", c.stops, c.args, &keepAwake, [&](const std::string& out) {
          for (const auto& [text, _] : c.heldWhen) {
            if (!seen.contains(text) && out.find(text) != std::string::npos) {
              seen[text] = keepAwake.held;
            }
          }
        });
    EXPECT_EQ(seen, c.heldWhen) << r.out;
    std::vector<std::string> calls;
    for (std::size_t i = 0; i < c.holds; ++i) calls.insert(calls.end(), {"hold", "release"});
    EXPECT_EQ(keepAwake.calls, calls) << r.out;
  }
}

}  // namespace
}  // namespace flashwell::cli
