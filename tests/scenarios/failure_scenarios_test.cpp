// Failures on the way: refused commands, a key pulled out, a key of the wrong kind, a package
// that does not fit.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::scenarios {
namespace {

using support::UpgradeRun;

using namespace sequencer;

constexpr int kEnoughTicks = 5000;

// Runs until the failure display has shown for a while, then checks that EXIT leaves.
void expectFailureThenExit(UpgradeRun& s, std::uint16_t textId, UpgradeState failedState) {
  int ticksInFailure = 0;
  s.run(kEnoughTicks, [&] {
    if (s.dialog->failureReached()) ++ticksInFailure;
    if (ticksInFailure == 30) s.dialog->OnExit();
  });
  ASSERT_TRUE(s.view.ended());
  EXPECT_TRUE(s.dialog->failureReached());
  EXPECT_EQ(s.states.back(), failedState);
  EXPECT_TRUE(support::inOrder(s.view.statusLog, {s.text(textId), s.text(kTextExiting)}))
      << ::testing::PrintToString(s.view.statusLog);
  EXPECT_TRUE(s.view.messageBoxes.empty() ||
              s.view.messageBoxes.back().kind == MessageBoxKind::yesNoQuestion);
}

// Presses EXIT once the error stop has shown for `ticks` ticks; whether the dialog ended.
bool exitAfterErrorStop(UpgradeRun& s, int ticks) {
  int stopped = 0;
  return s.run(kEnoughTicks, [&] {
    if (s.finishMode() == flashwell::sequencer::FinishMode::errorStop && ++stopped == ticks) {
      s.dialog->OnExit();
    }
  });
}

TEST(Failures, RefusedFirmwareErase) {
  UpgradeRun s;
  s.addFault("erase-fails");
  s.choose(protocol::UpgradeOption::only);
  std::string exitCaptions;
  bool exitPressed = false;
  s.run(kEnoughTicks, [&] {
    if (!s.dialog->failureReached() || exitPressed) return;
    EXPECT_EQ(s.dialog->status().exitLocked, 0);
    exitCaptions += s.shown(kIdExit) == " " ? '_' : 'E';
    if (exitCaptions.size() == 26) {
      exitPressed = true;
      s.dialog->OnExit();
    }
  });
  ASSERT_TRUE(s.view.ended());
  EXPECT_EQ(s.states.back(), UpgradeState::eraseFirmware);
  EXPECT_NE(exitCaptions.find("EEEEEEEEEE___"), std::string::npos) << exitCaptions;
  EXPECT_TRUE(support::inOrder(s.view.statusLog, {s.text(kTextImpossible), s.text(kTextExiting)}));
  // The booter was entered in this run: the orderly exit brings the key back first.
  EXPECT_EQ(s.finishModes[2], flashwell::sequencer::FinishMode::awaitFirmware);
}

// A fault on the way, the mode chosen (none: the run fails before the choice), the failure
// text shown and the state the run fails in.
struct FailureCase {
  const char* fault;
  std::optional<protocol::UpgradeOption> mode;
  std::uint16_t text;
  UpgradeState failedIn;
};

class FailureDisplays : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureDisplays, ShowTheirTextThenExit) {
  UpgradeRun s;
  s.addFault(GetParam().fault);
  if (GetParam().mode) s.choose(*GetParam().mode);
  expectFailureThenExit(s, GetParam().text, GetParam().failedIn);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureDisplays,
    ::testing::Values(FailureCase{"booter-region-open-fails", protocol::UpgradeOption::always,
                                  kTextCopyError, UpgradeState::writeRegions},
                      FailureCase{"identity-unreadable", std::nullopt, kTextImpossible,
                                  UpgradeState::failed},
                      FailureCase{"unplug-during-regions", protocol::UpgradeOption::only,
                                  kTextCopyError, UpgradeState::writeRegions}),
    [](const ::testing::TestParamInfo<FailureCase>& info) {
      std::string name;
      for (const char c : std::string_view(info.param.fault)) {
        if (c != '-') name += c;
      }
      return name;
    });

TEST(Failures, KeyOfTheWrongKindEntersTheErrorStopWithTextOneTwentyFive) {
  UpgradeRun s("wrong-kind");
  s.choose(protocol::UpgradeOption::only);
  ASSERT_TRUE(exitAfterErrorStop(s, 40));
  EXPECT_EQ(*s.view.endResult, kEndAtOnce);
  EXPECT_EQ(s.states.back(), UpgradeState::notApplicable);
  EXPECT_EQ(s.view.statusLog.back(), s.text(kTextNotApplicable));
  EXPECT_EQ(std::count(s.view.statusLog.begin(), s.view.statusLog.end(), s.text(kTextCorrupted)),
            0);
  EXPECT_TRUE(s.view.messageBoxes.empty());
}

struct BrokenPackage {
  const char* what;
  std::size_t offset;
  std::uint8_t flip;   // the bits changed
  bool stateZeroRuns;  // a package that opens but whose contents fail the check
};

class BrokenPackages : public ::testing::TestWithParam<BrokenPackage> {};

TEST_P(BrokenPackages, StopWithTextOneTwentyAndNeverStartTheWorker) {
  std::vector<std::uint8_t> package = support::embeddedPackageCopy();
  ASSERT_LT(GetParam().offset, package.size());
  package[GetParam().offset] ^= GetParam().flip;
  UpgradeRun s("fresh", {.package = package});
  ASSERT_TRUE(exitAfterErrorStop(s, 30));
  EXPECT_EQ(*s.view.endResult, kEndAtOnce);
  EXPECT_EQ(s.view.statusLog, std::vector<std::string>{s.text(kTextCorrupted)});
  EXPECT_EQ(s.dialog->block().startRequest.get(), 0);
  EXPECT_EQ(s.dialog->block().startDone.get(), 0);
  // A package that does not open never reaches state 0: the label column is never written.
  EXPECT_EQ(s.view.control(kIdLabels).textWrites, GetParam().stateZeroRuns ? 1 : 0);
  for (const emulator::TraceEvent& e : s.traceEvents()) EXPECT_NE(e.ev, "open");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenPackages,
    ::testing::Values(BrokenPackage{"model code of another logger", 0x100, 0x02, false},
                      // The first component's checksum word, low byte.
                      BrokenPackage{"component checksum", 0x300 + 0x8000 + 4, 0x01, true}),
    [](const auto& info) { return std::string(info.param.stateZeroRuns ? "Contents" : "Model"); });

}  // namespace
}  // namespace flashwell::scenarios
