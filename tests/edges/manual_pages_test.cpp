// The manual pages as man shows them: groff finds nothing to warn about (broken quoting, unknown
// requests), and each page has the sections a reader looks for.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/program_run.h"

namespace flashwell::edges {
namespace {

using namespace support;

namespace fs = std::filesystem;

TEST(ManualPages, RenderWithoutWarningsAndHaveTheirSections) {
  struct Page {
    const char* name;
    std::vector<const char*> sections;
  };
  const Page pages[]{
      {"flashwell-cli.1", {"ENVIRONMENT", "EXAMPLES", "EXIT STATUS", "128+N"}},
      {"flashwell.1", {"ENVIRONMENT", "FLASHWELL_TRACE", "EXAMPLES", "EXIT STATUS", "128+N"}},
      {"flashwell-pack.1", {}},
  };
  const Scratch dir;
  for (const Page& p : pages) {
    const fs::path page = fs::path(FLASHWELL_MAN_DIR) / p.name;
    if (!fs::exists(page)) {
      ADD_FAILURE() << page << " was not made";
      continue;
    }
    // What man -l runs, with every warning on.
    const ProgramRun r =
        runProgram("/usr/bin/groff",
                   {"-ww", "-man", "-Tutf8", "-P-cbou", "-rLL=80n", page.string()}, dir.folder);
    EXPECT_EQ(r.code, 0) << p.name;
    EXPECT_EQ(r.err, "") << p.name;
    for (const char* section : p.sections) {
      EXPECT_NE(r.out.find(section), std::string::npos) << p.name << ": " << section;
    }
    // No option's value type followed by its check (TEXT:{...}, SECONDS:SECONDS).
    EXPECT_EQ(r.out.find(":{"), std::string::npos) << p.name;
    EXPECT_EQ(r.out.find("SECONDS:"), std::string::npos) << p.name;
  }
}

}  // namespace
}  // namespace flashwell::edges
