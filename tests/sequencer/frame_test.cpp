// The frame of the machine: the tick, the blink, the bar, the exit and the error stop.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST_F(SequencerTest, AfterAnyStateChangeTenOnTicksThenThreeOffTicks) {
  for (UpgradeState next :
       {UpgradeState::checkPackage, UpgradeState::awaitChoice, UpgradeState::finalReport}) {
    seq.goToState(next);
    std::string phases;
    for (int i = 0; i < 27; ++i) {
      seq.blinkTick();
      phases += f().blinkPhase ? '1' : '0';
    }
    EXPECT_EQ(phases, "111111111100011111111110001")
        << "after goToState(" << stateNumber(next) << ")";
  }
}

TEST_F(SequencerTest, ProgressStepsAndStartsOverNearItsBeginning) {
  struct Case {
    std::int32_t start, position, step, expected;
  };
  for (const Case& c :
       {Case{989, 0, 10, 999}, Case{990, 0, 10, 50}, Case{995, 0, 10, 50}, Case{500, 0, 0, 0},
        Case{500, 320, 0, 320}, Case{0, 0, 5, 5}, Case{998, 0, 3, 50}}) {
    f().progressPos = c.start;
    seq.setProgress(c.position, c.step);
    EXPECT_EQ(f().progressPos, c.expected) << c.start << " + " << c.step;
    EXPECT_EQ(view.progressPos, c.expected);
  }
}

TEST_F(SequencerTest, TimerMessageOfAnotherTimerChangesNothing) {
  tick();  // state 0 has run; the timer is set
  view.timers.clear();
  const auto before = view.controls;
  const SequencerFields fieldsBefore = f();
  seq.onTimer(11);
  EXPECT_FALSE(view.timerSet(kTimerId));
  EXPECT_EQ(f().state, fieldsBefore.state);
  EXPECT_EQ(f().blinkTicks, fieldsBefore.blinkTicks);
  for (const auto& [id, c] : view.controls) EXPECT_EQ(c.textWrites, before.at(id).textWrites);
}

TEST_F(SequencerTest, TickKillsTheTimerWhileItRunsAndSetsItAgain) {
  seq.goToState(UpgradeState::finalReport);
  bool setWhileOpen = true;
  view.whileOpen = [&](const std::string&) { setWhileOpen = view.timerSet(kTimerId); };
  view.setTimer(kTimerId, kTimerPeriodMs);
  tick();
  ASSERT_EQ(view.messageBoxes.size(), 1u);
  EXPECT_FALSE(setWhileOpen);
  ASSERT_TRUE(view.timerSet(kTimerId));
  EXPECT_EQ(view.timers[kTimerId], 100u);
}

TEST_F(SequencerTest, StatesDoNotRunWhileExiting) {
  reachChoice();
  f().finishMode = FinishMode::exitAsked;
  f().exitLocked = 1;
  f().progressPos = 400;
  tick();
  EXPECT_EQ(state(), UpgradeState::awaitChoice);
  EXPECT_EQ(f().exitLocked, 0);
  EXPECT_EQ(f().progressPos, 0);
  EXPECT_EQ(f().finishTicks, 100u);
  EXPECT_EQ(f().finishMode, FinishMode::stopWorker);  // no booter was entered
  EXPECT_EQ(view.statusLog.back(), T(kTextExiting));
}

TEST_F(SequencerTest, ExitWithTheBooterEnteredBringsTheKeyBackFirst) {
  block.enterBooterDone.set(1);
  block.connectRequest.set(1);
  f().finishMode = FinishMode::exitAsked;
  tick();
  EXPECT_EQ(f().finishMode, FinishMode::awaitFirmware);
  EXPECT_EQ(block.connectRequest.get(), 0);
  EXPECT_EQ(block.leaveBooterRequest.get(), 1);

  // The key gets 100 ticks to come back; then the worker is stopped anyway.
  tick(99);
  EXPECT_EQ(f().finishMode, FinishMode::awaitFirmware);
  tick();
  EXPECT_EQ(f().finishMode, FinishMode::stopWorker);
}

TEST_F(SequencerTest, ExitDuringTheBooterEntryWithdrawsItAndBringsTheKeyBack) {
  // State 50 has raised the entry; the worker may be restarting the key right now.
  block.enterBooterRequest.set(1);
  block.connectRequest.set(1);
  f().finishMode = FinishMode::exitAsked;
  tick();
  EXPECT_EQ(f().finishMode, FinishMode::awaitFirmware);
  EXPECT_EQ(block.enterBooterRequest.get(), 0);
  EXPECT_EQ(block.connectRequest.get(), 0);
  EXPECT_EQ(block.leaveBooterRequest.get(), 1);
  // The entry's answer comes in and is cleared; only the key's return ends the wait.
  block.enterBooterDone.set(1);
  tick(5);
  EXPECT_EQ(f().finishMode, FinishMode::awaitFirmware);
  block.leaveBooterDone.set(1);
  tick();
  EXPECT_EQ(f().finishMode, FinishMode::stopWorker);
}

TEST_F(SequencerTest, ExitEndsOnTheFirstTickWhenTheKeyIsBackAlready) {
  block.enterBooterDone.set(1);
  block.leaveBooterDone.set(1);
  f().finishMode = FinishMode::exitAsked;
  tick(2);
  EXPECT_EQ(f().finishMode, FinishMode::stopWorker);
}

TEST_F(SequencerTest, DialogEndsOnlyOnceTheWorkerHasEnded) {
  f().finishMode = FinishMode::stopWorker;
  tick(3);
  EXPECT_EQ(block.exitRequest.get(), 1);
  EXPECT_FALSE(view.ended());
  EXPECT_EQ(view.statusLog.back(), T(kTextExiting));
  block.workerEnded.set(1);
  tick();
  ASSERT_TRUE(view.ended());
  EXPECT_EQ(*view.endResult, kEndOrderly);
}

TEST_F(SequencerTest, ErrorStopFromTheStartShowsTextOneTwentyAndNeverRunsStateZero) {
  f().finishMode = FinishMode::errorStop;
  tick(30);
  EXPECT_EQ(package.rowBuilds, 0);
  EXPECT_EQ(block.startRequest.get(), 0);
  EXPECT_EQ(view.statusLog.front(), T(kTextCorrupted));
  EXPECT_EQ(view.statusLog.size(), 1u);
  EXPECT_TRUE(seq.failureReached());
}

TEST_F(SequencerTest, ErrorStopBlinksTheExitCaption) {
  f().finishMode = FinishMode::errorStop;
  std::string exitCaptions;
  for (int i = 0; i < 13; ++i) {
    tick();
    exitCaptions += view.text(kIdExit) == T(kTextExit) ? 'E'
                    : view.text(kIdExit) == " "        ? '_'
                                                       : '?';
  }
  EXPECT_EQ(exitCaptions, "EEEEEEEEEE___");
  EXPECT_EQ(view.text(kIdStatus), "");
}

}  // namespace
}  // namespace flashwell::sequencer::tests
