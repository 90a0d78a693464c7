// Whole upgrades on the virtual key, in simulated time with the real worker thread.

#include <gtest/gtest.h>

#include <algorithm>

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::scenarios {
namespace {

using support::UpgradeRun;

using namespace sequencer;

constexpr int kEnoughTicks = 5000;

struct ModeCase {
  std::uint8_t mode;
  const char* name;
};

class WholeUpgrade : public ::testing::TestWithParam<ModeCase> {};

TEST_P(WholeUpgrade, RunsToTheFinalReportAndStopsInOrder) {
  const std::uint8_t mode = GetParam().mode;
  UpgradeRun s;
  s.choose(*protocol::optionFromByte(mode));
  const std::vector<std::uint8_t> firmwareBefore = s.key->image().firmwareArea;
  std::string keyColumnBefore;
  const bool ended = s.run(kEnoughTicks, [&] {
    if (s.state() == UpgradeState::awaitChoice && keyColumnBefore.empty())
      keyColumnBefore = s.shown(kIdKeyColumn);
  });
  ASSERT_TRUE(ended);
  EXPECT_EQ(*s.view.endResult, kEndOrderly);
  EXPECT_FALSE(s.dialog->failureReached());

  // Both columns, before and after.
  EXPECT_FALSE(s.shown(kIdToolColumn).empty());
  EXPECT_NE(s.shown(kIdToolColumn), ".");
  EXPECT_FALSE(keyColumnBefore.empty());
  EXPECT_NE(keyColumnBefore, s.text(kTextConnectPrompt));
  EXPECT_NE(s.shown(kIdKeyColumn), keyColumnBefore);
  EXPECT_FALSE(s.shown(kIdKeyColumn).empty());

  // The final report: text 137, or for "Never" text 139 alone.
  ASSERT_EQ(s.view.messageBoxes.size(), mode == 3 ? 1u : 2u);
  const MessageBoxRecord& report = s.view.messageBoxes.back();
  EXPECT_EQ(report.kind, MessageBoxKind::information);
  EXPECT_EQ(report.text, s.text(mode == 3 ? kTextNoUpgrade : kTextCongratulations));
  EXPECT_EQ(s.view.statusLog.back(), s.text(kTextExiting));

  using enum UpgradeState;
  std::vector<UpgradeState> expectedStates{checkPackage, awaitStart,  connect,
                                           readKey,      awaitChoice, proceed};
  if (mode == 3) {
    expectedStates.insert(expectedStates.end(), {clearMark, writeRegions, readBack, finalReport});
  } else {
    expectedStates.insert(expectedStates.end(),
                          {eraseFirmware, writeFirmware, leaveBooter, eraseData, clearMark,
                           writeRegions, readBack, finalReport});
  }
  EXPECT_EQ(s.states, expectedStates);

  std::vector<std::string> expectedTexts;
  if (mode == 3) {
    expectedTexts = {s.text(kTextUpdatingFirmware), s.text(kTextErasingComponents),
                     s.text(kTextExiting)};
    // Never: the key's own firmware stays as it was, and the key is never restarted.
    EXPECT_EQ(s.key->image().firmwareArea, firmwareBefore);
    EXPECT_FALSE(s.traceHasRestart());
    EXPECT_EQ(s.finishModes, (std::vector<flashwell::sequencer::FinishMode>{
                                 flashwell::sequencer::FinishMode::running,
                                 flashwell::sequencer::FinishMode::exitAsked,
                                 flashwell::sequencer::FinishMode::stopWorker}));
  } else {
    expectedTexts = {s.text(kTextStartingBooter), s.text(kTextErasingFirmware),
                     s.text(kTextUpdatingFirmware), s.text(kTextErasingData),
                     s.text(kTextUpdatingFirmware)};
    for (std::uint16_t id : {165, 160, 161, 162, 163, 164, 166})
      expectedTexts.push_back(s.text(id));
    expectedTexts.push_back(s.text(kTextExiting));
    EXPECT_NE(s.key->image().firmwareArea, firmwareBefore);
    EXPECT_TRUE(s.traceHasRestart());
    // The exit finds the booter left in this run and the key already back.
    EXPECT_EQ(s.finishModes, (std::vector<flashwell::sequencer::FinishMode>{
                                 flashwell::sequencer::FinishMode::running,
                                 flashwell::sequencer::FinishMode::exitAsked,
                                 flashwell::sequencer::FinishMode::awaitFirmware,
                                 flashwell::sequencer::FinishMode::stopWorker}));
  }
  EXPECT_TRUE(support::inOrder(s.view.statusLog, expectedTexts))
      << ::testing::PrintToString(s.view.statusLog);
  EXPECT_EQ(s.dialog->block().workerEnded.get(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachMode, WholeUpgrade,
                         ::testing::Values(ModeCase{1, "Only"}, ModeCase{2, "Always"},
                                           ModeCase{3, "Never"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BooterKey, RestoresTheFirmwareThenRunsASecondPassWithTheFirstChoice) {
  UpgradeRun s("booter");
  s.choose(protocol::UpgradeOption::never);  // whatever the mode, the firmware is restored first
  std::string keyColumnAtChoice;
  ASSERT_TRUE(s.run(kEnoughTicks, [&] {
    if (s.state() == UpgradeState::awaitChoice && keyColumnAtChoice.empty())
      keyColumnAtChoice = s.shown(kIdKeyColumn);
  }));
  EXPECT_EQ(keyColumnAtChoice, "BOOTER\n\n" + s.text(kTextBooterNotice));
  using enum UpgradeState;
  // The first pass restores the firmware; the second starts from the package check again.
  const std::vector<UpgradeState> expected{checkPackage, awaitStart,   connect,       readKey,
                                           awaitChoice,  proceed,      eraseFirmware, writeFirmware,
                                           leaveBooter,  checkPackage, awaitStart,    connect,
                                           readKey,      awaitChoice,  proceed,       eraseData,
                                           clearMark,    writeRegions, readBack,      finalReport};
  EXPECT_EQ(s.states, expected);
  EXPECT_EQ(s.dialog->status().booterPasses, 2);
  // The final read shows the restored firmware's versions, not the booter notice.
  EXPECT_EQ(s.shown(kIdKeyColumn).find("BOOTER"), std::string::npos);
  EXPECT_NE(s.shown(kIdKeyColumn).find("02.05"), std::string::npos);
  ASSERT_FALSE(s.view.messageBoxes.empty());
  EXPECT_EQ(s.view.messageBoxes.back().text, s.text(kTextNoUpgrade));
  EXPECT_FALSE(s.dialog->failureReached());
}

TEST(LateKey, PluggedInAtThePromptIsReadAndUpgraded) {
  UpgradeRun s;
  s.pullKey();
  s.choose(protocol::UpgradeOption::only);
  ASSERT_FALSE(s.run(50));
  EXPECT_EQ(s.state(), UpgradeState::connect);
  EXPECT_EQ(s.shown(kIdKeyColumn), s.text(kTextConnectPrompt));
  s.plugKey();
  ASSERT_TRUE(s.run(kEnoughTicks));
  EXPECT_FALSE(s.dialog->failureReached());
  EXPECT_EQ(s.view.messageBoxes.back().text, s.text(kTextCongratulations));
  EXPECT_NE(s.shown(kIdKeyColumn).find("02.05"), std::string::npos);
}

}  // namespace
}  // namespace flashwell::scenarios
