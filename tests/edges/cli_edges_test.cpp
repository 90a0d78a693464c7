// flashwell-cli on every kind of bad argument: a usage error whose first line names the option
// and the value that is wrong, exit code 2, and nothing written: no key-state file and no trace.
// A key state that cannot be saved fails the run.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "emulator/faults.h"
#include "tests/support/program_run.h"

namespace flashwell::edges {
namespace {

using namespace support;

namespace fs = std::filesystem;

const std::string kCli = FLASHWELL_CLI;

// A run that must be refused with exit code 2, its first error line naming each of `named`.
struct Refusal {
  std::vector<std::string> args;
  std::vector<std::string> named;  // all in the first line
};

class CliEdges : public ::testing::Test {
 protected:
  ProgramRun cli(const std::vector<std::string>& args) {
    return runProgram(kCli, args, dir_.folder);
  }
  // Runs the refused case and checks its exit code and first line; the first line, or none.
  std::optional<std::string> refused(const Refusal& c) {
    const std::string shown = ::testing::PrintToString(c.args);
    result_ = cli(c.args);
    EXPECT_EQ(result_.code, 2) << shown << "\n" << result_.err;
    const auto lines = result_.errLines();
    EXPECT_FALSE(lines.empty()) << shown;
    if (lines.empty()) return std::nullopt;
    for (const std::string& n : c.named) {
      EXPECT_NE(lines[0].find(n), std::string::npos) << shown << ": " << lines[0];
    }
    return lines[0];
  }
  Scratch dir_;
  ProgramRun result_;
};

TEST_F(CliEdges, BadArgumentsAreNamedAndWriteNothing) {
  // Values refused beside --emulated: the first line names the option and what is wrong.
  struct BadValues {
    const char* option;
    std::vector<std::pair<const char*, const char*>> valueAndNamed;
  };
  const BadValues badValues[] = {
      {"--fault",
       {{"erase:explode", "explode"},
        {"nowhere:refuse", "nowhere"},
        {"erase:refuse@0", "erase:refuse@0"},
        {"erase:refuse@", "erase:refuse@"},
        {"erase-fails@2", "erase-fails"},
        {"gibberish", "gibberish"}}},
      {"--timeout",
       {{"0", "'0'"}, {"-5", "'-5'"}, {"ten", "'ten'"}, {"99999999999", "99999999999"}}},
      {"--lcid", {{"0xZZ", "0xZZ"}, {"12345", "12345"}}},
      {"--clock", {{"fast", "fast"}}},
  };
  std::vector<Refusal> cases{
      {{"--mode", "sometimes"}, {"--mode", "sometimes"}},
      {{"--mode"}, {"--mode"}},
      {{"--emulated=nowhere"}, {"--emulated", "nowhere"}},
      {{"--fault", "erase-fails"}, {"--emulated"}},
      {{"--key-state", "key.bin"}, {"--emulated"}},
      {{"--key-trace", "trace.jsonl"}, {"--emulated"}},
      {{"--clock", "simulated"}, {"--emulated"}},
      {{"--emulated", "--key-state", "missing/key.bin"}, {"--key-state", "missing/key.bin"}},
      {{"--emulated", "--key-state", "."}, {"--key-state", "'.'", "folder"}},
      {{"--emulated", "--trace", "missing/trace.jsonl"}, {"--trace", "missing/trace.jsonl"}},
      {{"--emulated", "--trace", "same.bin", "--key-state", "./same.bin"}, {"--trace", "same.bin"}},
      {{"--emulated", "stray"}, {"stray"}},
      {{"--emulated", "--frobnicate"}, {"--frobnicate"}},
      // No terminal to ask for the mode on: refused before the run, not left waiting.
      {{"--emulated", "fresh"}, {"--mode"}},
      {{"--emulated=booter", "--yes"}, {"--mode"}},
  };
  for (const BadValues& b : badValues) {
    for (const auto& [value, named] : b.valueAndNamed) {
      cases.push_back({{"--emulated", b.option, value}, {b.option, named}});
    }
  }
  for (const Refusal& c : cases) {
    const std::string shown = ::testing::PrintToString(c.args);
    const std::optional<std::string> first = refused(c);
    if (!first) continue;
    EXPECT_EQ(first->rfind("flashwell-cli: ", 0), 0u) << *first;
    EXPECT_TRUE(result_.out.empty()) << shown;
    EXPECT_TRUE(filesBelow(dir_.folder).empty())
        << shown << ::testing::PrintToString(filesBelow(dir_.folder));
  }
}

TEST_F(CliEdges, AKeyStateFileThatIsNoneIsKeptAndNoTraceIsStarted) {
  for (const std::string& bytes : {std::string("garbage"), std::string(), std::string(40, '\0')}) {
    writeFile(dir_ / "key.bin", bytes);
    const ProgramRun r =
        cli({"--emulated", "--key-state", "key.bin", "--trace", "trace.jsonl", "--timeout", "5"});
    EXPECT_EQ(r.code, 2) << r.err;
    ASSERT_EQ(r.errLines().size(), 1u) << r.err;
    EXPECT_NE(r.err.find("key.bin"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir_ / "key.bin"), bytes);
    EXPECT_EQ(filesBelow(dir_.folder), std::vector<std::string>{"key.bin"});
  }
  // A scenario would be ignored for the key in the file: the two together are refused.
  const ProgramRun both = cli({"--emulated=booter", "--key-state", "key.bin", "--timeout", "5"});
  EXPECT_EQ(both.code, 2) << both.err;
  EXPECT_NE(both.errLines().at(0).find("--emulated"), std::string::npos) << both.err;
}

TEST_F(CliEdges, AKeyStateThatCannotBeSavedFailsTheRun) {
  // The key-state file is written beside itself first; a folder in that place stops it.
  fs::create_directories(dir_ / "key.bin.part" / "blocker");
  const ProgramRun r = cli({"--emulated", "--mode", "only", "--yes", "--key-state", "key.bin"});
  EXPECT_EQ(r.code, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("key.bin"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "key.bin"));
}

TEST_F(CliEdges, HostileFilesAreRefusedAtOnceAndSpecialFilesStayAsTheyWere) {
  ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  writeFile(dir_ / "empty.jsonl", "");
  writeFile(dir_ / "large.jsonl", std::string((16u << 20) + 1, '\n'));
  const Refusal cases[] = {
      {{"--emulated", "--key-state", "fifo"}, {"--key-state", "'fifo' is a FIFO"}},
      {{"--emulated", "--key-state", "folder"}, {"--key-state", "'folder' is a folder"}},
      {{"--emulated", "--trace", "/dev/full"}, {"--trace", "'/dev/full' is a device"}},
      {{"--emulated", "--key-trace", "/dev/full"}, {"--key-trace", "'/dev/full' is a device"}},
      {{"--emulated", "--trace", "fifo"}, {"--trace", "'fifo' is a FIFO"}},
      {{"--replay", "/dev/zero"}, {"--replay", "'/dev/zero' is a device"}},
      {{"--replay", "fifo"}, {"--replay", "'fifo' is a FIFO"}},
      {{"--replay", "folder"}, {"--replay", "'folder' is a folder"}},
      {{"--replay", "empty.jsonl"}, {"--replay", "the log is empty"}},
      {{"--replay", "large.jsonl"}, {"--replay", "is too large"}},
      {{"--emulated", "--fault", "erase:stall@99999999999999"}, {"--fault", "is too large"}},
  };
  for (const Refusal& c : cases) refused(c);
  EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

TEST_F(CliEdges, KeyStateThroughALinkAndLogsThatCannotBeWrittenWhole) {
  // The link is followed: its target holds the key, the link stays.
  fs::create_symlink("key-target.bin", dir_ / "key-link.bin");
  ASSERT_EQ(cli({"--emulated", "--mode", "never", "--yes", "--key-state", "key-link.bin"}).code, 0);
  EXPECT_TRUE(fs::is_symlink(dir_ / "key-link.bin"));
  EXPECT_GT(fs::file_size(dir_ / "key-target.bin"), 0u);

  // Files may grow to 64 KB only: the logs are cut short, and the run says so and fails.
  for (const char* option : {"--trace", "--key-trace"}) {
    const ProgramRun r =
        runProgram("/bin/sh",
                   {"-c", "trap '' XFSZ; ulimit -f 128; exec " + kCli +
                              " --emulated --mode only --yes " + option + " log.jsonl"},
                   dir_.folder);
    EXPECT_EQ(r.code, 1) << option << "\n" << r.err;
    EXPECT_EQ(r.errLines(),
              std::vector<std::string>{
                  "flashwell-cli: log.jsonl: could not be written whole (is the disk "
                  "full?)"})
        << option;
  }
}

TEST_F(CliEdges, ListFaultsPrintsEveryNameOnceUnderItsHeading) {
  const ProgramRun r = cli({"--list-faults"});
  EXPECT_EQ(r.code, 0) << r.err;
  for (const std::string& name : emulator::faultNames()) {
    const std::string line = "\n  " + name + "\n";
    EXPECT_NE(r.out.find(line), std::string::npos) << name;
    EXPECT_EQ(r.out.find(line), r.out.rfind(line)) << name;
  }
  // Each name after its own heading and before the next.
  const auto at = [&r](const std::string& text) { return r.out.find(text); };
  EXPECT_EQ(at("Places (WHERE):\n"), 0u) << r.out;
  EXPECT_LT(at("  region-commit\n"), at("Kinds (WHAT):\n"));
  EXPECT_LT(at("Kinds (WHAT):\n"), at("  unplug-for-good\n"));
  EXPECT_LT(at("  unplug-for-good\n"), at("Named faults:\n"));
  EXPECT_LT(at("Named faults:\n"), at("  erase-fails\n"));
}

TEST_F(CliEdges, OnATerminalTheBarReachesAHundredAndAPipeGetsThePlainLines) {
  // script gives the program a pseudo-terminal, as a user's terminal would.
  const ProgramRun tty =
      runProgram("/usr/bin/script", {"-qec", kCli + " --emulated --mode only --yes", "/dev/null"},
                 dir_.folder);
  EXPECT_EQ(tty.code, 0) << tty.out << tty.err;
  EXPECT_NE(tty.out.find("\r\x1b[K[##############################] 100%"), std::string::npos)
      << tty.out;
  EXPECT_NE(tty.out.find("Congratulations!"), std::string::npos);

  const ProgramRun piped = cli({"--emulated", "--mode", "only", "--yes"});
  EXPECT_EQ(piped.code, 0) << piped.err;
  EXPECT_EQ(piped.out.find_first_of("\r\x1b%"), std::string::npos) << piped.out;
  EXPECT_NE(piped.out.find("\nstatus: Copying Firmware for GPS\n"), std::string::npos);
}

}  // namespace
}  // namespace flashwell::edges
