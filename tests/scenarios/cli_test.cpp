// The headless flasher: its command line, and whole runs of it in simulated time.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"
#include "tools/cli/headless_run.h"

namespace flashwell::cli {
namespace {

// Parsed as with a terminal on stdin, which a run without --mode asks on, and stdout a pipe.
ParseResult parse(std::vector<const char*> args, std::string* errors = nullptr) {
  args.insert(args.begin(), "flashwell-cli");
  std::ostringstream out, err;
  ParseResult r =
      parseCommandLine(static_cast<int>(args.size()), args.data(), out, err, Console{true, false});
  if (errors) *errors = err.str();
  return r;
}

TEST(CliOptions, UsageErrorsEndWithCodeTwoAndAPointerToTheHelp) {
  const std::vector<std::vector<const char*>> bad{
      {"--mode", "sometimes"},  {"--fault", "erase-fails"},  // without --emulated
      {"--key-state", "k.bin"}, {"--key-trace", "t.jsonl"},
      {"--clock", "simulated"}, {"--emulated", "--fault", "erase:explode"},
      {"--emulated=nowhere"},   {"--lcid", "12345"},
      {"--lcid", "0xZZ"},       {"--timeout", "0"},
      {"--clock", "fast"},      {"stray"},
      {"--emulated", "--json"},  // nothing is asked under --json, also on a terminal
  };
  for (const auto& args : bad) {
    std::string err;
    const ParseResult r = parse(args, &err);
    EXPECT_FALSE(r.options) << args[0];
    EXPECT_EQ(r.exitCode, kExitUsage) << args[0];
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
    EXPECT_TRUE(err.ends_with("\nRun with --help for more information.\n")) << err;
  }
}

TEST(CliOptions, Defaults) {
  const ParseResult plain = parse({});
  ASSERT_TRUE(plain.options);
  EXPECT_FALSE(plain.options->emulated);
  EXPECT_FALSE(plain.options->simulatedClock);
  EXPECT_FALSE(plain.options->mode);
  EXPECT_FALSE(plain.options->yes);

  const ParseResult emulated = parse({"--emulated", "--mode", "never"});
  ASSERT_TRUE(emulated.options);
  EXPECT_EQ(emulated.options->emulated, "fresh");
  EXPECT_TRUE(emulated.options->simulatedClock);
  EXPECT_EQ(emulated.options->mode, protocol::UpgradeOption::never);

  const ParseResult real = parse({"--emulated=booter", "--clock", "real", "--yes", "--fault",
                                  "erase-fails", "--fault", "region-commit:late@3"});
  ASSERT_TRUE(real.options);
  EXPECT_EQ(real.options->emulated, "booter");
  EXPECT_FALSE(real.options->simulatedClock);
  EXPECT_TRUE(real.options->yes);
  EXPECT_EQ(real.options->faults.size(), 2u);
}

TEST(CliOptions, LcidInEitherForm) {
  EXPECT_EQ(parseLcid("0C0A"), 0x0C0A);
  EXPECT_EQ(parseLcid("0x0c0a"), 0x0C0A);
  EXPECT_EQ(parseLcid("0X407"), 0x0407);
  EXPECT_EQ(parseLcid("FFFF"), 0xFFFF);
  EXPECT_FALSE(parseLcid(""));
  EXPECT_FALSE(parseLcid("0x"));
  EXPECT_FALSE(parseLcid("10000"));
  EXPECT_FALSE(parseLcid("-1"));
  EXPECT_FALSE(parseLcid("4 07"));
}

// A run with nobody at a terminal: a run without --mode waits for a choice that never comes.
support::ProgramRun run(const std::vector<const char*>& args) {
  return support::runFlasher({args.begin(), args.end()});
}

int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(CliRun, ExitCodes) {
  struct Case {
    std::vector<const char*> args;
    int code;
    const char* shown;  // a line that the run must print
  };
  const Case cases[] = {
      {{"--emulated", "--mode", "only", "--yes"}, kExitDone, "  Congratulations!"},
      {{"--emulated", "--mode", "always"}, kExitDeclined, "answer: No"},
      {{"--emulated", "--mode", "only", "--yes", "--fault", "erase-fails"},
       kExitFailure,
       "status: ERROR: IMPOSSIBLE to continue.  EXIT and  TRY  AGAIN"},
      {{"--emulated", "--mode", "always", "--yes", "--fault", "unplug-during-regions"},
       kExitFailure,
       "status: ERROR on Copying Firmware.. TRY AGAIN"},
      {{"--emulated=wrong-kind", "--mode", "only"},
       kExitFailure,
       "status: This FLASHWELL is NOT applicable to the Device connected to USB!"},
      {{"--emulated", "--timeout", "30"}, kExitTimedOut, "status: EXITING..."},
  };
  for (const Case& c : cases) {
    const support::ProgramRun r = run(c.args);
    EXPECT_EQ(r.code, c.code) << c.args[0] << " " << c.args.size() << "\n" << r.out;
    EXPECT_NE(r.out.find(std::string("\n") + c.shown + "\n"), std::string::npos) << r.out;
  }
}

TEST(CliRun, PrintsEachTextOnceAndInTheLocalesLanguage) {
  const support::ProgramRun r = run({"--emulated", "--mode", "never", "--lcid", "0x0407"});
  EXPECT_EQ(r.code, kExitDone) << r.out;
  // Windows-1252 texts come out as UTF-8 ("für" in the German caption).
  EXPECT_NE(r.out.find("UPDATE f\xC3\xBCr"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\xFC'), std::string::npos);
  // The blinking status line is printed once per text.
  EXPECT_LE(count(r.out, "Connect"), 1);
  std::istringstream lines(r.out);
  std::string line, previous;
  while (std::getline(lines, line)) {
    if (line.rfind("Zustand: ", 0) != 0) continue;
    EXPECT_NE(line, previous);
    previous = line;
  }
  EXPECT_EQ(count(r.out, "Frage:"), 0);
  EXPECT_EQ(count(r.out, "Meldung:"), 1);
  EXPECT_EQ(count(r.out, "Vers.  in  MEMPOD:"), 2);
  EXPECT_EQ(count(r.out, "Vers.  in  FLASHWELL:"), 1);
}

TEST(CliRun, KeyStateCarriesOverToTheNextRunAndTheTraceIsWritten) {
  const support::Scratch dir;
  const std::string state = (dir / "key.bin").string();
  const std::string trace = (dir / "trace.jsonl").string();

  const support::ProgramRun first = run({"--emulated", "--mode", "only", "--yes", "--key-state",
                                         state.c_str(), "--trace", trace.c_str()});
  ASSERT_EQ(first.code, kExitDone);
  ASSERT_TRUE(std::filesystem::exists(state));
  std::ifstream traceIn(trace);
  std::string firstEvent;
  ASSERT_TRUE(std::getline(traceIn, firstEvent));
  EXPECT_EQ(firstEvent.front(), '{');
  EXPECT_NE(firstEvent.find("\"ev\""), std::string::npos);

  // The second run finds the key as the first left it: its versions are the new ones.
  const support::ProgramRun second =
      run({"--emulated", "--key-state", state.c_str(), "--timeout", "20"});
  EXPECT_EQ(second.code, kExitTimedOut);
  const std::string heading = "Vers.  in  MEMPOD:\n";
  const std::size_t lastOfFirst = first.out.rfind(heading);
  const std::size_t firstOfSecond = second.out.find(heading);
  ASSERT_NE(lastOfFirst, std::string::npos);
  ASSERT_NE(firstOfSecond, std::string::npos);
  const auto column = [](const std::string& out, std::size_t at) {
    const std::size_t end = out.find("\n", out.find("Lps4 EXP", at));
    return out.substr(at, end - at);
  };
  EXPECT_EQ(column(second.out, firstOfSecond), column(first.out, lastOfFirst));
}

}  // namespace
}  // namespace flashwell::cli
