// The fault matrix: every step of an upgrade crossed with every fault the virtual key can
// inject there. Each run ends in the final report, a failure text with EXIT usable, or (a key
// gone for good) waits for the key with EXIT usable; EXIT then ends the program within the
// orderly exit's bounds; and the next run, on the key as this one left it, completes the
// upgrade. FLASHWELL_FAULT_MATRIX=sample runs every fault on a spread of steps only (for the
// slow sanitizers).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "tests/faults/cell_run.h"
#include "tests/faults/key_checks.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::faults {
namespace {

using emulator::FaultKind;
using protocol::UpgradeOption;

constexpr FaultKind kKinds[] = {FaultKind::refuse, FaultKind::late,   FaultKind::status,
                                FaultKind::zero,   FaultKind::unplug, FaultKind::unplugForGood};

bool sampled() {
  const char* v = std::getenv("FLASHWELL_FAULT_MATRIX");
  return v != nullptr && std::string(v) == "sample";
}

// Of a run of similar steps (the firmware blocks, say), the sample keeps the first and last.
bool inSample(const std::vector<UpgradeStep>& steps, std::size_t i, const std::string& group) {
  std::vector<std::size_t> same;
  for (std::size_t k = 0; k < steps.size(); ++k) {
    if (steps[k].name.rfind(group, 0) == 0) same.push_back(k);
  }
  return same.size() < 3 || i == same.front() || i == same.back();
}

struct Tally {
  int runs = 0;
  int reports = 0;
  int failures = 0;
  int waits = 0;
  int longestExit = 0;
  int longestBooterWait = 0;
  int longestWorkerStop = 0;
};

// Runs every cell of the steps whose name starts with `group`, for `kinds`.
Tally runGroup(UpgradeOption mode, const std::string& group,
               std::initializer_list<FaultKind> kinds = {}, const std::string& start = "fresh") {
  Tally t;
  const Reference& ref = reference(start, mode);
  EXPECT_GT(ref.ticks, 0) << "the clean run did not complete";
  bool any = false;
  for (std::size_t i = 0; i < ref.steps.size(); ++i) {
    const UpgradeStep& step = ref.steps[i];
    if (step.name.rfind(group, 0) != 0) continue;
    any = true;
    if (sampled() && !inSample(ref.steps, i, group)) continue;
    for (const FaultPlace& place : step.places) {
      for (FaultKind kind : kKinds) {
        if (kinds.size() && std::find(kinds.begin(), kinds.end(), kind) == kinds.end()) continue;
        const Cell cell{step.name, place, kind, mode, start};
        const CellResult r = runCell(cell);
        ++t.runs;
        (r.ending == Ending::kReport    ? t.reports
         : r.ending == Ending::kFailure ? t.failures
                                        : t.waits)++;
        t.longestExit = std::max(t.longestExit, r.exitTicks);
        t.longestBooterWait = std::max(t.longestBooterWait, r.booterWaitTicks);
        t.longestWorkerStop = std::max(t.longestWorkerStop, r.workerStopTicks);
        EXPECT_TRUE(r.problem.empty()) << cellName(cell) << ": " << r.problem;
      }
    }
  }
  EXPECT_TRUE(any) << "no step " << group << " in the clean run";
  std::printf(
      "%s, %s key, mode %u: %d cells (%d final report, %d failure, %d waiting for the key); "
      "longest exit %d ticks, of them %d for the booter and %d for the worker\n",
      group.c_str(), start.c_str(), unsigned(protocol::optionByte(mode)), t.runs, t.reports,
      t.failures, t.waits, t.longestExit, t.longestBooterWait, t.longestWorkerStop);
  return t;
}

TEST(UpgradeSteps, TheCleanRunShowsEveryStepOnce) {
  const Reference& ref = reference("fresh", UpgradeOption::only);
  ASSERT_GT(ref.ticks, 0);
  std::set<std::string> names;
  int firmwareBlocks = 0;
  int components = 0;
  std::map<emulator::FaultSite, std::uint32_t> last;
  for (const UpgradeStep& s : ref.steps) {
    EXPECT_TRUE(names.insert(s.name).second) << s.name;
    firmwareBlocks += s.name.rfind("firmware block", 0) == 0;
    components += s.name.find(" open") != std::string::npos;
    // Each place of a site lies after that site's places in the steps before.
    for (const FaultPlace& p : s.places) {
      EXPECT_GT(p.occurrence, last[p.site]) << s.name << " " << placeText(p);
      last[p.site] = p.occurrence;
    }
  }
  for (const char* name : {"connect", "identity", "versions", "booter entry", "firmware-area erase",
                           "booter exit", "data erase", "mark", "final read"}) {
    EXPECT_TRUE(names.count(name)) << name;
  }
  EXPECT_EQ(components, 7);
  EXPECT_GT(firmwareBlocks, 0);
  // The erase is the run's only erase, the first program command its first firmware block.
  const auto step = [&](const std::string& name) {
    return *std::find_if(ref.steps.begin(), ref.steps.end(),
                         [&](const UpgradeStep& s) { return s.name == name; });
  };
  ASSERT_EQ(step("firmware-area erase").places.size(), 1u);
  EXPECT_EQ(placeText(step("firmware-area erase").places[0]), "erase@1");
  EXPECT_EQ(placeText(step("firmware block 1").places[0]), "program@1");
  EXPECT_EQ(placeText(step("connect").places[0]), "open@1");
  EXPECT_EQ(placeText(step("identity").places[0]), "identify@1");
}

TEST(CleanRuns, LeaveTheKeyHoldingThePackageInEachMode) {
  for (const protocol::OptionWrites& row : protocol::kOptionWrites) {
    const UpgradeOption mode = row.option;
    for (const char* start : {"fresh", "booter"}) {
      const std::string what =
          start + std::string(" ") + std::to_string(protocol::optionByte(mode));
      support::UpgradeRun run(start, {.keepTrace = false});
      run.choose(mode);
      run.runUntil(20000);
      ASSERT_TRUE(run.ended()) << what;
      EXPECT_FALSE(run.dialog->failureReached()) << what;
      EXPECT_TRUE(holdsPackage(*run.key, run.dialog->block().regions, mode)) << what;
    }
  }
}

class FaultMatrix : public ::testing::TestWithParam<const char*> {};

TEST_P(FaultMatrix, EndsClearlyExitsInTimeAndRecoversOnTheNextRun) {
  runGroup(UpgradeOption::only, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Only, FaultMatrix,
                         ::testing::Values("connect", "identity", "versions", "booter entry",
                                           "firmware-area erase", "firmware block", "booter exit",
                                           "data erase", "mark", "component", "final read"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// "Always" differs from "Only" only in what the components carry; "Never" opens the regions
// and writes nothing.
TEST(FaultMatrixOtherModes, AlwaysComponents) {
  runGroup(UpgradeOption::always, "component 0x0515");
  runGroup(UpgradeOption::always, "component 0x0640", {FaultKind::refuse, FaultKind::unplug});
}

TEST(FaultMatrixOtherModes, NeverMarkAndComponents) {
  runGroup(UpgradeOption::never, "mark");
  runGroup(UpgradeOption::never, "component",
           {FaultKind::refuse, FaultKind::late, FaultKind::unplugForGood});
}

// A key left in its booter by an earlier run: the firmware is restored first, then a second
// pass upgrades it. A fault on that way must leave it no worse.
TEST(FaultMatrixBooterKey, RestoringTheFirmware) {
  for (const char* group : {"identity", "firmware-area erase", "firmware block", "booter exit"}) {
    runGroup(UpgradeOption::only, group, {}, "booter");
  }
}

// A key that stores a component's first block with a byte of its head changed: the read-back
// after the upgrade finds it, whichever stored component it is. The booter component has no
// storage address to be read back from, and bytes past a head are not read back at all.
TEST(FaultMatrixCorrupt, AHeadStoredWrongEndsInTheCopyErrorAndRecovers) {
  const Reference& ref = reference("fresh", UpgradeOption::only);
  int cells = 0;
  for (const UpgradeStep& step : ref.steps) {
    if (step.name.find(" first block") == std::string::npos ||
        step.name.find("0x0515") != std::string::npos) {
      continue;
    }
    for (const FaultPlace& place : step.places) {
      if (place.site != emulator::FaultSite::out) continue;
      const Cell cell{step.name, place, FaultKind::corrupt, UpgradeOption::only, "fresh"};
      const CellResult r = runCell(cell);
      ++cells;
      EXPECT_TRUE(r.problem.empty()) << cellName(cell) << ": " << r.problem;
      EXPECT_EQ(r.ending, Ending::kFailure) << cellName(cell);
    }
  }
  EXPECT_EQ(cells, 6);
}

}  // namespace
}  // namespace flashwell::faults
