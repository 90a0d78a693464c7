// A run without --mode on a terminal: both columns, then the mode and the erase question are
// asked as the window asks them; No is the default, and nothing typed leaves.

#include <gtest/gtest.h>

#include "tests/cli/run_logs.h"
#include "tests/support/flasher_run.h"
#include "tools/cli/cli_options.h"

namespace flashwell::cli {
namespace {

using namespace testing;
using namespace support;

TEST(TerminalAsk, TheModeAndTheEraseQuestionAreAskedAndNoIsTheDefault) {
  struct Case {
    const char* typed;
    int code;
    const char* answer;  // the erase question's, as printed; none when it is not asked
  };
  const Case cases[]{
      {"only\ny\n", kExitDone, "answer: Yes"},
      {"always\n\n", kExitDeclined, "answer: No"},
      {"only\nnope\n", kExitDeclined, "answer: No"},
      {"sometimes\nnever\n", kExitDone, nullptr},  // asked again; "Never" erases nothing
      {"\n", kExitDeclined, nullptr},              // nothing typed: EXIT
      {"", kExitDeclined, nullptr},                // the input ended
  };
  for (const Case& c : cases) {
    const ProgramRun r = runFlasher({"--emulated"}, {.typed = c.typed});
    EXPECT_EQ(r.code, c.code) << c.typed << "\n" << r.out << r.err;
    const std::size_t key = r.out.find("Vers.  in  MEMPOD:");
    const std::size_t asked = r.out.find("Please  select one of the  three  MODES  for  MEMPOD:");
    ASSERT_NE(key, std::string::npos) << r.out;
    ASSERT_NE(asked, std::string::npos) << r.out;
    EXPECT_LT(r.out.find("Vers.  in  FLASHWELL:"), asked);
    EXPECT_LT(key, asked);
    EXPECT_NE(r.out.find("  never:\n    The MEMPOD doesn' t update the Firmware of LAPSTER4"),
              std::string::npos)
        << r.out;
    if (c.answer) {
      EXPECT_NE(r.out.find("Do you agree ? [y/N] "), std::string::npos) << r.out;
      EXPECT_NE(r.out.find(c.answer), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out.find("[y/N]"), std::string::npos) << r.out;
    }
  }
}

TEST(TerminalAsk, WithYesOnlyTheModeIsAsked) {
  const ProgramRun r = runFlasher({"--emulated", "--yes"}, {.typed = "always\n"});
  EXPECT_EQ(r.code, kExitDone) << r.out;
  EXPECT_EQ(r.out.find("[y/N]"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace flashwell::cli
