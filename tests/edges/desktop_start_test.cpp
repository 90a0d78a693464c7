// The desktop programs started where they cannot open a window: --help and --version answer,
// and a start without a display says in one line that flashwell-cli needs none.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/program_run.h"

namespace flashwell::edges {
namespace {

using namespace support;

TEST(DesktopStart, WithoutADisplayOnlyTheAnswersThatNeedNoWindowAreGiven) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* out;  // the start of the output
    const char* err;  // the whole error output
  };
  const Case cases[]{
      {{},
       2,
       "",
       "flashwell: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set); flashwell-cli "
       "works without one\n"},
      {{"--help"}, 0, "Usage: flashwell ", ""},
      {{"--version"}, 0, "flashwell " FLASHWELL_VERSION "\n", ""},
  };
  const Scratch dir;
  for (const Case& c : cases) {
    std::vector<std::string> args{
        "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM", FLASHWELL_DESKTOP};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun r = runProgram("/usr/bin/env", args, dir.folder);
    const std::string shown = ::testing::PrintToString(c.args);
    EXPECT_EQ(r.code, c.code) << shown << r.err;
    EXPECT_EQ(r.out.rfind(c.out, 0), 0u) << shown << r.out;
    EXPECT_EQ(r.err, c.err) << shown;
  }
}

}  // namespace
}  // namespace flashwell::edges
