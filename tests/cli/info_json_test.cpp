// info reads the key and changes nothing; --json writes one JSON object per line; --version
// and --help say what a user needs.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sstream>

#include "protocol/command_frame.h"
#include "protocol/key_commands.h"
#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

// A request that changes what the key holds: an erase, a program, a region or an identity
// store, or any block sent to the key.
bool writes(const trace::LogEvent& e) {
  if (e.ev == "out") return true;
  if (e.ev != "control" || !e.setup || !e.data) return false;
  const auto setup = trace::fromHex(*e.setup);
  const auto payload = trace::fromHex(*e.data);
  if (!setup || setup->size() < 2 || !payload || payload->empty()) return false;
  const std::uint8_t command = (*setup)[1];
  const std::uint8_t sub = (*payload)[0];
  if (command == protocol::kFlashCommand) return sub != protocol::kSubRestart;
  if (command == protocol::kLongCommand) return true;
  return command == protocol::kShortCommand &&
         (sub == protocol::kSubStoreIdentity || sub == protocol::kSubEraseDataSmall);
}

std::vector<nlohmann::json> jsonLines(const std::string& out) {
  std::vector<nlohmann::json> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(nlohmann::json::parse(line, nullptr, false));
    EXPECT_TRUE(lines.back().is_object()) << line;
  }
  return lines;
}

TEST(Info, ReadsEveryKindOfKeyWithoutWritingToIt) {
  struct Case {
    const char* state;
    const char* kind;
  };
  for (const Case c : {Case{"fresh", "key: firmware running, large-packet key, mark 0x"},
                       Case{"small-packet", "key: firmware running, small-packet key, mark 0x"},
                       Case{"booter", "key: booter running, large-packet key, mark 0x"}}) {
    Scratch dir;
    const ProgramRun r =
        runFlasher({std::string("--emulated=") + c.state, "info", "--trace", dir / "t.jsonl"});
    EXPECT_EQ(r.code, kExitDone) << c.state << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find(c.kind), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Vers.  in  FLASHWELL"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Vers.  in  MEMPOD"), std::string::npos) << r.out;
    const auto events = readEvents(dir.folder / "t.jsonl");
    EXPECT_GT(transfers(events).size(), 10u) << c.state;
    for (const auto& e : events) EXPECT_FALSE(writes(e)) << c.state << ": " << trace::toLogLine(e);
  }
}

TEST(Info, PrintsBothColumnsSideBySide) {
  const ProgramRun r = runFlasher({"info", "--emulated"});
  ASSERT_EQ(r.code, kExitDone) << r.out << r.err;
  // One row per component: the tool's version, then the key's (a fresh key holds older ones).
  EXPECT_NE(r.out.find("\n  MEMPOD    02.05        2024/03/18   01.10        2019/03/15\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\n  Lps4 EXP  01.03        2023/04/11   01.01        2019/10/30\n"),
            std::string::npos)
      << r.out;
}

TEST(Info, AWrongKeyIsAFailureAndModesAreRefused) {
  EXPECT_EQ(runFlasher({"--emulated=wrong-kind", "info"}).code, kExitFailure);
  const ProgramRun refused = runFlasher({"--emulated", "info", "--mode", "only"});
  EXPECT_EQ(refused.code, -1);
  EXPECT_NE(refused.err.find("--mode"), std::string::npos) << refused.err;
}

TEST(Json, EveryLineIsAnObjectAndTheRunEndsWithItsCode) {
  const ProgramRun r =
      runFlasher({"--emulated", "--mode", "always", "--yes", "--json", "--lcid", "0407"});
  ASSERT_EQ(r.code, kExitDone) << r.err;
  const auto lines = jsonLines(r.out);
  ASSERT_FALSE(lines.empty());
  std::map<std::string, int> seen;
  for (const auto& line : lines) ++seen[line.value("event", "")];
  for (const char* event : {"caption", "status", "column", "question", "message", "progress"}) {
    EXPECT_GT(seen[event], 0) << event << "\n" << r.out;
  }
  EXPECT_EQ(lines.back(), (nlohmann::json{{"v", 1}, {"event", "end"}, {"exit_code", 0}}));
  // UTF-8: "für" in the German caption.
  EXPECT_NE(lines.front()["text"].get<std::string>().find("f\xC3\xBCr"), std::string::npos);
  const auto question = std::find_if(lines.begin(), lines.end(),
                                     [](const auto& l) { return l["event"] == "question"; });
  EXPECT_EQ((*question)["answer"], true);
  const auto last = std::find_if(lines.rbegin(), lines.rend(),
                                 [](const auto& l) { return l["event"] == "progress"; });
  EXPECT_EQ((*last)["percent"], 100);
}

TEST(Json, InfoIsOneKeyObjectAndADifferingReplayIsOne) {
  const auto info = jsonLines(runFlasher({"--emulated", "info", "--json"}).out);
  const auto key =
      std::find_if(info.begin(), info.end(), [](const auto& l) { return l["event"] == "key"; });
  ASSERT_NE(key, info.end());
  EXPECT_EQ((*key)["program"], "firmware");
  EXPECT_EQ((*key)["tool"][0]["label"], "MEMPOD");
  EXPECT_EQ((*key)["key"][0]["value"], "01.10        2019/03/15");

  const ProgramRun replay =
      runFlasher({"--replay", fixture("never").string(), "--mode", "only", "--yes", "--json"});
  EXPECT_EQ(replay.code, kExitReplayDiffers);
  const auto lines = jsonLines(replay.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2]["event"], "replay");
  EXPECT_GT(lines[lines.size() - 2]["line"].get<int>(), 0);
  EXPECT_EQ(lines.back()["exit_code"], kExitReplayDiffers);
}

TEST(Version, NamesTheProgramsAndThePackagedFirmwaresVersions) {
  const ProgramRun r = runFlasher({"--version"});
  EXPECT_EQ(r.code, -1);
  // The key firmware row of the tool's column.
  const std::string head = std::string("flashwell-cli ") + FLASHWELL_VERSION +
                           "\nMEMPOD firmware in the package: 02.05 of 2024/03/18\n\n" +
                           "SHA-256 of the package: ";
  ASSERT_EQ(r.out.substr(0, head.size()), head);
  // The digest itself is the exported package's (tests/tools/package_digest.cmake).
  const std::string digest = r.out.substr(head.size());
  EXPECT_EQ(digest.size(), 65u) << digest;
  EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), 64u) << digest;
  EXPECT_EQ(digest.back(), '\n');
  const ProgramRun info = runFlasher({"--emulated", "info"});
  EXPECT_NE(info.out.find("MEMPOD    02.05        2024/03/18"), std::string::npos);
}

TEST(Help, ListsEveryExitCodeAndTheJsonEvents) {
  const ProgramRun r = runFlasher({"--help"});
  for (int code = 0; code <= kExitNoKey; ++code) {
    EXPECT_NE(r.out.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
  }
  for (const char* word : {"--json", "info", "--replay", "--trace", "exit_code", "128+N"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace flashwell::cli
