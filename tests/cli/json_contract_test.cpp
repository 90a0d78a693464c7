// --json version 1 as docs/json-output.md writes it down, checked over recorded runs of every
// kind: each line an object with v and event, each event with its fields, the phases in their
// order, one error event per failure, an end event always; and the document's example is the
// output of the run it names.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <sstream>

#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;
using Json = nlohmann::json;
using Type = Json::value_t;

// The fields of each event and their types; a field that may be null lists null as well.
const std::map<std::string, std::map<std::string, std::vector<Type>>> kEvents{
    {"caption", {{"text", {Type::string}}}},
    {"status", {{"text", {Type::string}}}},
    {"prompt", {{"text", {Type::string}}}},
    {"column", {{"side", {Type::string}}, {"heading", {Type::string}}, {"rows", {Type::array}}}},
    {"question", {{"text", {Type::string}}, {"answer", {Type::boolean}}}},
    {"message", {{"text", {Type::string}}}},
    {"notice", {{"text", {Type::string}}}},
    {"phase", {{"id", {Type::string}}, {"text", {Type::string}}}},
    {"error", {{"code", {Type::string}}, {"text", {Type::string}}}},
    {"progress",
     {{"step", {Type::string}},
      {"percent", {Type::number_unsigned, Type::number_integer}},
      {"sent", {Type::number_unsigned}},
      {"total", {Type::number_unsigned}},
      {"elapsed_ms", {Type::number_unsigned}}}},
    {"key",
     {{"program", {Type::string}},
      {"packet", {Type::string}},
      {"mark", {Type::number_unsigned}},
      {"tool", {Type::array}},
      {"key", {Type::array}}}},
    {"replay", {{"line", {Type::number_unsigned, Type::null}}, {"recorded", {Type::string}}}},
    {"end", {{"exit_code", {Type::number_unsigned}}}},
};

const std::vector<std::string> kPhaseOrder{
    "wait-key",       "read-key",     "booter-entry", "firmware-erase",
    "firmware-write", "booter-leave", "data-erase",   "mark",
    "component",      "read-back",    "exit"};
const std::vector<std::string> kComponentOrder{"booter", "lapster4", "languages", "zunit",
                                               "lambda", "gps",      "lps4-exp"};
const std::vector<std::string> kErrorCodes{
    "impossible", "copy-failed", "not-applicable", "corrupted", "no-key", "usage", "key-state"};

std::ptrdiff_t indexIn(const std::vector<std::string>& list, const std::string& name) {
  const auto at = std::find(list.begin(), list.end(), name);
  return at == list.end() ? -1 : at - list.begin();
}

bool hasType(const Json& value, const std::vector<Type>& types) {
  return std::find(types.begin(), types.end(), value.type()) != types.end();
}

// A row of a column: a version object, or null with the reason.
void checkRow(const Json& row, const std::string& where) {
  ASSERT_TRUE(row.is_object()) << where;
  EXPECT_TRUE(row["label"].is_string() && row["value"].is_string()) << where << row;
  const Json& v = row["version"];
  if (v.is_null()) {
    EXPECT_NE(indexIn({"none", "booter", "unreadable"}, row.value("state", "")), -1)
        << where << row;
    return;
  }
  EXPECT_TRUE(v["major"].is_number_unsigned() && v["minor"].is_number_unsigned()) << where << row;
  EXPECT_TRUE(v["patch"].is_null() || v["patch"].is_number_unsigned()) << where << row;
  const std::string date = v.value("date", "");
  EXPECT_TRUE(date.size() == 10 && date[4] == '-' && date[7] == '-') << where << row;
}

// Checks every line against the contract; the events in order.
std::vector<Json> checkedEvents(const std::string& out, const std::string& where) {
  std::vector<Json> events;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    const Json e = Json::parse(line, nullptr, false);
    EXPECT_TRUE(e.is_object()) << where << ": " << line;
    if (!e.is_object()) continue;
    EXPECT_EQ(e.value("v", 0), 1) << where << ": " << line;
    const auto fields = kEvents.find(e.value("event", ""));
    EXPECT_NE(fields, kEvents.end()) << where << ": " << line;
    if (fields == kEvents.end()) continue;
    for (const auto& [name, types] : fields->second) {
      EXPECT_TRUE(e.contains(name) && hasType(e[name], types))
          << where << ": " << name << " in " << line;
    }
    for (const char* rows : {"rows", "tool", "key"}) {
      if (e.contains(rows) && e[rows].is_array()) {
        for (const Json& row : e[rows]) checkRow(row, where);
      }
    }
    events.push_back(e);
  }
  return events;
}

// The phase ids in the documented order; a key found in its booter starts again from the
// search for the key once its firmware is back.
void checkPhaseOrder(const std::vector<Json>& events, const std::string& where) {
  std::string last;
  std::string lastComponent;
  for (const Json& e : events) {
    if (e["event"] != "phase") continue;
    const std::string id = e["id"];
    ASSERT_NE(indexIn(kPhaseOrder, id), -1) << where << ": " << e;
    if (id == "component") {
      ASSERT_NE(indexIn(kComponentOrder, e.value("component", "")), -1) << where << ": " << e;
      if (last == "component") {
        EXPECT_GT(indexIn(kComponentOrder, e["component"]), indexIn(kComponentOrder, lastComponent))
            << where << ": " << e;
      }
      lastComponent = e["component"];
    } else if (!last.empty() && !(last == "booter-leave" && id == "wait-key")) {
      EXPECT_GT(indexIn(kPhaseOrder, id), indexIn(kPhaseOrder, last)) << where << ": " << e;
    }
    last = id;
  }
}

TEST(JsonContract, EveryKindOfRunKeepsIt) {
  struct Case {
    std::vector<std::string> args;
    int code;
    std::vector<std::string> phases;  // the phase ids, in order, with components once
    std::vector<std::string> errors;  // the codes of its error events
  };
  const std::vector<std::string> upgrade{
      "wait-key",       "read-key",     "booter-entry", "firmware-erase",
      "firmware-write", "booter-leave", "data-erase",   "mark",
      "component",      "read-back",    "exit"};
  const std::vector<Case> cases{
      {{"--emulated", "--mode", "only", "--yes"}, kExitDone, upgrade, {}},
      {{"--emulated", "--mode", "always", "--yes", "--lcid", "0407"}, kExitDone, upgrade, {}},
      {{"--emulated", "--mode", "never"},
       kExitDone,
       {"wait-key", "read-key", "mark", "component", "read-back", "exit"},
       {}},
      {{"--emulated=booter", "--mode", "only", "--yes"},
       kExitDone,
       {"wait-key", "read-key", "firmware-erase", "firmware-write", "booter-leave", "wait-key",
        "read-key", "data-erase", "mark", "component", "read-back", "exit"},
       {}},
      {{"--emulated", "--mode", "only"}, kExitDeclined, {"wait-key", "read-key", "exit"}, {}},
      {{"--emulated", "info"}, kExitDone, {"wait-key", "read-key"}, {}},
      {{"--emulated", "--mode", "only", "--yes", "--fault", "erase-fails"},
       kExitFailure,
       {"wait-key", "read-key", "booter-entry", "firmware-erase", "exit"},
       {"impossible"}},
      {{"--emulated=wrong-kind", "--mode", "only"},
       kExitFailure,
       {"wait-key", "read-key"},
       {"not-applicable"}},
      {{"--emulated", "info", "--fault", "open:unplug-for-good", "--timeout", "3"},
       kExitNoKey,
       {"wait-key", "exit"},
       {"no-key"}},
      {{"--emulated", "--key-state", "garbage.bin", "--mode", "only"}, kExitUsage, {}, {"usage"}},
      {{"--mode", "sometimes"}, kExitUsage, {}, {"usage"}},
  };
  for (const Case& c : cases) {
    const std::string where = ::testing::PrintToString(c.args);
    Scratch dir;
    writeFile(dir / "garbage.bin", "garbage");
    std::vector<std::string> args = c.args;
    for (std::string& a : args) {
      if (a == "garbage.bin") a = dir / a;
    }
    args.push_back("--json");
    const ProgramRun r = runFlasher(args);
    const std::vector<Json> events = checkedEvents(r.out, where);
    ASSERT_FALSE(events.empty()) << where << r.err;
    EXPECT_EQ(events.back()["event"], "end") << where;
    EXPECT_EQ(events.back()["exit_code"], c.code) << where << r.err;
    EXPECT_EQ(std::count_if(events.begin(), events.end(),
                            [](const Json& e) { return e["event"] == "end"; }),
              1)
        << where;
    checkPhaseOrder(events, where);
    std::vector<std::string> phases, errors;
    for (const Json& e : events) {
      if (e["event"] == "phase" && !(e["id"] == "component" && phases.back() == "component")) {
        phases.push_back(e["id"]);
      }
      if (e["event"] == "error") {
        EXPECT_NE(indexIn(kErrorCodes, e["code"]), -1) << where << e;
        errors.push_back(e["code"]);
      }
    }
    EXPECT_EQ(phases, c.phases) << where;
    EXPECT_EQ(errors, c.errors) << where;
  }
}

TEST(JsonContract, VersionsAreObjectsOrNullWithTheirReason) {
  struct Case {
    const char* state;
    const char* side;
    bool last;  // the side's last column rather than its first
    const char* label;
    Json version;     // the row's version, or null
    const char* why;  // the state beside a null version
  };
  const Case cases[]{
      {"fresh",
       "key",
       false,
       "MEMPOD",
       {{"major", 1}, {"minor", 10}, {"patch", nullptr}, {"date", "2019-03-15"}},
       nullptr},
      {"fresh",
       "tool",
       false,
       "LAPSTER4",
       {{"major", 4}, {"minor", 12}, {"patch", 3}, {"date", "2024-02-27"}},
       nullptr},
      {"booter", "key", false, "MEMPOD", nullptr, "booter"},
      {"booter", "key", false, "LANG", nullptr, "booter"},  // a line of the booter notice
      {"fresh", "key", true, "GPS", nullptr, "none"},       // "Never" leaves the regions empty
  };
  for (const Case& c : cases) {
    const ProgramRun r =
        runFlasher({std::string("--emulated=") + c.state, "--mode", "never", "--json"});
    const std::vector<Json> events = checkedEvents(r.out, c.state);
    std::vector<Json> columns;
    for (const Json& e : events) {
      if (e["event"] == "column" && e["side"] == c.side) columns.push_back(e);
    }
    ASSERT_FALSE(columns.empty()) << c.state;
    const Json& rows = (c.last ? columns.back() : columns.front())["rows"];
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&c](const Json& r) { return r["label"] == c.label; });
    ASSERT_NE(row, rows.end()) << c.state << " " << c.label;
    EXPECT_EQ((*row)["version"], c.version) << c.state << " " << c.label;
    if (c.why) {
      EXPECT_EQ((*row)["state"], c.why) << c.state << " " << c.label;
    }
  }
}

TEST(JsonContract, InfoGivesUpOnAMissingKeyAtItsTimeout) {
  for (const std::uint32_t seconds : {1u, 4u}) {
    const ProgramRun r = runFlasher({"--emulated", "info", "--fault", "open:unplug-for-good",
                                     "--timeout", std::to_string(seconds), "--json"});
    const std::vector<Json> events = checkedEvents(r.out, "info");
    const auto exit = std::find_if(events.begin(), events.end(), [](const Json& e) {
      return e["event"] == "progress" && e["step"] == "EXITING...";
    });
    ASSERT_NE(exit, events.end()) << r.out;
    // EXIT is pressed on the tick that reaches the limit; the status line shows the exit on
    // the next tick, or after the three off-ticks of its blink.
    EXPECT_GE((*exit)["elapsed_ms"], seconds * 1000 + 100) << r.out;
    EXPECT_LE((*exit)["elapsed_ms"], seconds * 1000 + 400) << r.out;
    EXPECT_EQ(r.code, kExitNoKey);
    EXPECT_EQ(r.err, "No key found.\n");
  }
}

// The lines of a run that do not depend on the pace of the threads: the progress events, whose
// times and number follow the ticks, only by their fields; the connect prompt, which shows only
// when the virtual key is slower than two blinks, not at all.
std::vector<std::string> steadyLines(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    Json e = Json::parse(line, nullptr, false);
    if (e.value("event", "") == "prompt") continue;
    if (e.value("event", "") == "progress") {
      std::string fields = "progress:";
      for (const auto& [name, value] : e.items()) fields += " " + name;
      if (lines.empty() || lines.back() != fields) lines.push_back(fields);
      continue;
    }
    lines.push_back(line);
  }
  return lines;
}

// The example in docs/json-output.md: the command on its "$ " line and the lines after it.
TEST(JsonContract, TheDocumentsExampleIsWhatTheRunWrites) {
  std::istringstream doc(readFile(FLASHWELL_DOCS "/json-output.md"));
  ASSERT_FALSE(doc.str().empty()) << FLASHWELL_DOCS;
  std::string line, command, expected;
  bool inExample = false;
  while (std::getline(doc, line)) {
    if (line.rfind("$ flashwell-cli ", 0) == 0) {
      command = line.substr(16);
      inExample = true;
    } else if (inExample && line == "```") {
      break;
    } else if (inExample) {
      expected += line + "\n";
    }
  }
  ASSERT_FALSE(command.empty());
  std::vector<std::string> args;
  std::istringstream words(command);
  for (std::string w; words >> w;) args.push_back(w);
  const ProgramRun r = runFlasher(args);
  EXPECT_EQ(steadyLines(r.out), steadyLines(expected)) << "the run writes:\n" << r.out;
}

}  // namespace
}  // namespace flashwell::cli
