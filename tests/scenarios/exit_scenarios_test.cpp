// Leaving a run: the declined erase, EXIT in each part of the upgrade, the locked states.

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

TEST(DeclinedErase, ExitsWithoutTouchingTheKey) {
  UpgradeRun s;
  s.choose(protocol::UpgradeOption::only, /*answerYes=*/false);
  const emulator::KeyImage before = s.key->image();
  ASSERT_TRUE(s.run(kEnoughTicks));
  ASSERT_EQ(s.view.messageBoxes.size(), 1u);
  EXPECT_EQ(s.view.messageBoxes[0].text, s.text(kTextEraseQuestion));
  EXPECT_EQ(s.view.statusLog.back(), s.text(kTextExiting));
  EXPECT_EQ(s.states.back(), UpgradeState::awaitChoice);
  EXPECT_EQ(s.key->image().firmwareArea, before.firmwareArea);
  EXPECT_EQ(s.key->image().regions, before.regions);
  EXPECT_EQ(s.key->image().configuration, before.configuration);
  EXPECT_FALSE(s.traceHasRestart());
}

TEST(ExitWhileWaiting, ForTheChoiceStopsTheWorkerAtOnce) {
  UpgradeRun s;
  s.pressExitInState(UpgradeState::awaitChoice);
  s.run(200);
  EXPECT_TRUE(s.view.ended());
  EXPECT_EQ(s.finishModes, (std::vector<flashwell::sequencer::FinishMode>{
                               flashwell::sequencer::FinishMode::running,
                               flashwell::sequencer::FinishMode::exitAsked,
                               flashwell::sequencer::FinishMode::stopWorker}));
  EXPECT_FALSE(s.traceHasRestart());
}

TEST(ExitWhileWaiting, ForAKeyThatNeverComesEndsOnceTheWorkerHasStopped) {
  UpgradeRun s;
  s.pullKey();
  bool promptShown = false;
  ASSERT_FALSE(s.run(600, [&] {
    promptShown = promptShown || s.shown(kIdKeyColumn) == s.text(kTextConnectPrompt);
  }));
  EXPECT_EQ(s.state(), UpgradeState::connect);
  EXPECT_TRUE(promptShown);
  s.dialog->OnClose();
  ASSERT_TRUE(s.run(100));
  EXPECT_EQ(*s.view.endResult, kEndOrderly);
  EXPECT_EQ(s.dialog->block().workerEnded.get(), 1);
}

class ExitAfterTheFirmware : public ::testing::TestWithParam<UpgradeState> {};

TEST_P(ExitAfterTheFirmware, WaitsOneTickForTheKeyThatIsBackAlready) {
  const UpgradeState at = GetParam();
  UpgradeRun s;
  s.choose(protocol::UpgradeOption::only);
  s.pressExitInState(at);
  ASSERT_TRUE(s.run(kEnoughTicks));
  EXPECT_EQ(s.states.back(), at);
  EXPECT_EQ(s.finishModes, (std::vector<flashwell::sequencer::FinishMode>{
                               flashwell::sequencer::FinishMode::running,
                               flashwell::sequencer::FinishMode::exitAsked,
                               flashwell::sequencer::FinishMode::awaitFirmware,
                               flashwell::sequencer::FinishMode::stopWorker}));
  // Mode 2 ends on its first tick, since the key came back while leaving the booter already.
  EXPECT_EQ(std::count_if(s.ticks.begin(), s.ticks.end(),
                          [](const auto& t) {
                            return t.finishMode == flashwell::sequencer::FinishMode::awaitFirmware;
                          }),
            1);
}

INSTANTIATE_TEST_SUITE_P(States, ExitAfterTheFirmware,
                         ::testing::Values(UpgradeState::eraseData, UpgradeState::clearMark,
                                           UpgradeState::writeRegions, UpgradeState::readBack),
                         [](const auto& info) { return std::to_string(stateNumber(info.param)); });

TEST(LockedStates, IgnoreExitAndCloseWhileTheFirmwareIsRewritten) {
  UpgradeRun s;
  s.choose(protocol::UpgradeOption::always);
  int pressedInErase = 0;
  int pressedInWrite = 0;
  ASSERT_TRUE(s.run(kEnoughTicks, [&] {
    // From the first tick each state has run: the tick that enters the erase does not lock yet.
    const UpgradeState st = s.state();
    const bool erasing = st == UpgradeState::eraseFirmware;
    if ((!erasing && st != UpgradeState::writeFirmware) || !s.dialog->status().exitLocked) return;
    (erasing ? pressedInErase : pressedInWrite)++;
    s.dialog->OnExit();
    s.dialog->OnClose();
    s.dialog->OnEscape();
    EXPECT_EQ(s.finishMode(), flashwell::sequencer::FinishMode::running) << stateNumber(st);
  }));
  EXPECT_GT(pressedInErase, 0);
  EXPECT_GT(pressedInWrite, 0);
  EXPECT_EQ(s.view.messageBoxes.back().text, s.text(kTextCongratulations));
}

TEST(CancelCommand, EndsTheDialogAtOnceAndTheDialogStillStopsItsWorker) {
  UpgradeRun s;
  ASSERT_FALSE(s.run(30));
  s.dialog->OnCancelCommand();
  EXPECT_EQ(*s.view.endResult, kEndAtOnce);
  EXPECT_EQ(s.dialog->block().workerEnded.get(), 0);
  // The worker works on the dialog's block: the dialog joins it before the block goes away.
  ASSERT_EQ(s.driver->openHandles(), 1u);
  s.dialog.reset();
  EXPECT_EQ(s.driver->openHandles(), 0u);
}

}  // namespace
}  // namespace flashwell::scenarios
