// The frame of the machine: the tick, the blink, the bar, the exit and the error stop.

#include <functional>

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

// The mode prompt blinks while no mode is ticked: from each change of state, ten on-ticks and
// three off-ticks, whatever the blink had come to in the state before.
TEST(SequencerFrameTest, AfterAnyStateChangeTenOnTicksThenThreeOffTicks) {
  struct Case {
    const char* what;
    UpgradeState state;
    std::function<void(SequencerRig&)> enter;
  };
  const Case cases[] = {
      {"state 1 after state 0", UpgradeState::awaitStart, [](SequencerRig& r) { r.tick(); }},
      {"state 2 in an off-phase of state 1", UpgradeState::connect,
       [](SequencerRig& r) {
         r.tick(12);  // state 0, then state 1 into its off-ticks
         r.block.startDone.set(1);
         r.tick();
       }},
      {"state 53 after the key read", UpgradeState::awaitChoice,
       [](SequencerRig& r) { r.runTo(UpgradeState::awaitChoice); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    c.enter(r);
    ASSERT_EQ(r.state(), c.state);
    EXPECT_EQ(r.watch(kIdModePrompt, T(kTextModePrompt), "", 27), "111111111100011111111110001");
  }
}

// The bar moves by each state's step and starts over near its beginning rather than stopping
// full. Each state here starts it from 0, but for the read-back, which state 56 leaves at 6; in
// the read-back the worker has not cleared the key read's old answers, so only its own step runs.
TEST(SequencerFrameTest, BarStepsAndStartsOverNearItsBeginning) {
  struct Case {
    UpgradeState held;     // the state whose job the worker leaves unanswered
    int first;             // the bar after the state's first tick
    std::size_t lastTick;  // the tick before the bar starts over
    int last;              // the bar after it
    int step;
  };
  for (const Case& c : {Case{UpgradeState::eraseFirmware, 10, 98, 990, 10},
                        Case{UpgradeState::eraseData, 7, 141, 994, 7},
                        Case{UpgradeState::clearMark, 5, 198, 995, 5},
                        Case{UpgradeState::readBack, 9, 330, 999, 3}}) {
    SCOPED_TRACE(stateNumber(c.held));
    SequencerRig r;
    r.runTo(c.held);
    r.view.progressLog.clear();
    r.tick(static_cast<int>(c.lastTick) + 3);
    EXPECT_EQ(r.state(), c.held);
    ASSERT_EQ(r.view.progressLog.size(), c.lastTick + 3);
    EXPECT_EQ(r.view.progressLog[0], c.first);
    EXPECT_EQ(r.view.progressLog[c.lastTick - 1], c.last - c.step);
    EXPECT_EQ(r.view.progressLog[c.lastTick], c.last);
    EXPECT_EQ(r.view.progressLog[c.lastTick + 1], 50);
    EXPECT_EQ(r.view.progressLog[c.lastTick + 2], 50 + c.step);
  }
}

TEST(SequencerFrameTest, TimerMessageOfAnotherTimerChangesNothing) {
  SequencerRig told, untold;
  for (SequencerRig* r : {&told, &untold}) {
    r->tick(4);
    r->block.startDone.set(1);
  }
  told.view.timers.clear();
  told.seq.onTimer(11);
  EXPECT_FALSE(told.view.timerSet(kTimerId));
  EXPECT_EQ(told.state(), UpgradeState::awaitStart);
  // The tick after it runs as it would have: the blink and the prompts went on from where they
  // were.
  for (SequencerRig* r : {&told, &untold}) r->tick(12);
  EXPECT_EQ(told.state(), untold.state());
  for (const auto& [id, c] : untold.view.controls) {
    EXPECT_EQ(told.view.controls[id].textWrites, c.textWrites) << id;
    EXPECT_EQ(told.view.controls[id].text, c.text) << id;
  }
  EXPECT_EQ(told.view.progressLog, untold.view.progressLog);
}

TEST_F(SequencerTest, TickKillsTheTimerWhileItRunsAndSetsItAgain) {
  runTo(UpgradeState::finalReport);
  bool setWhileOpen = true;
  view.whileOpen = [&](const std::string&) { setWhileOpen = view.timerSet(kTimerId); };
  view.setTimer(kTimerId, kTimerPeriodMs);
  tick();
  ASSERT_EQ(view.messageBoxes.size(), 2u);  // the erase question, the report
  EXPECT_FALSE(setWhileOpen);
  ASSERT_TRUE(view.timerSet(kTimerId));
  EXPECT_EQ(view.timers[kTimerId], 100u);
}

TEST_F(SequencerTest, StatesDoNotRunWhileExiting) {
  mode = UpgradeOption::never;
  runTo(UpgradeState::clearMark);
  tick(3);  // the mark is not answered; the bar moves on
  ASSERT_EQ(view.progressPos, 15);
  seq.guardedExit(true);
  tick();
  EXPECT_EQ(state(), UpgradeState::clearMark);
  EXPECT_EQ(view.progressPos, 0);
  EXPECT_EQ(status().exitLocked, 0);
  EXPECT_EQ(status().finishMode, FinishMode::stopWorker);  // no booter was entered
  EXPECT_EQ(view.statusLog.back(), T(kTextExiting));
}

// EXIT once the key was put into its booter, or while it is put there: the key is sent back to
// its firmware first, and the worker is stopped once it is back or after 100 ticks.
TEST(SequencerFrameTest, ExitBringsAKeyInItsBooterBackFirst) {
  struct Case {
    const char* what;
    UpgradeState exitIn;
    bool entryAnswered;  // the worker has answered the booter entry before EXIT
    bool keyBack;        // the worker answers the return at once
    int ticksToStop;     // ticks from EXIT until the worker is stopped
  };
  const Case cases[] = {
      {"booter running, key never back", UpgradeState::proceed, true, false, 101},
      {"booter entry under way", UpgradeState::proceed, false, true, 7},
      {"key back already", UpgradeState::eraseData, true, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    r.runTo(c.exitIn);
    r.tick();  // the state raises its request
    if (c.entryAnswered) r.block.enterBooterDone.set(1);
    ASSERT_EQ(r.block.connectRequest.get(), 1);
    r.seq.guardedExit(true);
    ASSERT_EQ(r.status().finishMode, FinishMode::exitAsked);
    r.tick();
    EXPECT_EQ(r.block.enterBooterRequest.get(), 0) << "a booter entry not begun is withdrawn";
    EXPECT_EQ(r.block.connectRequest.get(), 0);
    EXPECT_EQ(r.block.leaveBooterRequest.get(), 1);
    for (int t = 1; t < c.ticksToStop; ++t) {
      EXPECT_NE(r.status().finishMode, FinishMode::stopWorker) << "after " << t << " ticks";
      if (t == 5) r.block.enterBooterDone.set(1);  // the entry's answer comes in late
      if (t == 6 && c.keyBack) r.block.leaveBooterDone.set(1);
      r.tick();
    }
    EXPECT_EQ(r.status().finishMode, FinishMode::stopWorker);
    EXPECT_EQ(r.state(), c.exitIn);
  }
}

TEST_F(SequencerTest, DialogEndsOnlyOnceTheWorkerHasEnded) {
  runTo(UpgradeState::awaitChoice);
  seq.guardedExit(true);
  tick(3);
  EXPECT_EQ(block.exitRequest.get(), 1);
  EXPECT_FALSE(view.ended());
  EXPECT_EQ(view.statusLog.back(), T(kTextExiting));
  block.workerEnded.set(1);
  tick();
  ASSERT_TRUE(view.ended());
  EXPECT_EQ(*view.endResult, kEndOrderly);
}

TEST_F(SequencerTest, RefusedPackageShowsTextOneTwentyAndNeverRunsStateZero) {
  seq.begin();
  seq.refusePackage();
  EXPECT_EQ(status().finishMode, FinishMode::errorStop);
  EXPECT_EQ(watch(kIdExit, T(kTextExit), " ", 13), "1111111111000");
  EXPECT_EQ(view.text(kIdStatus), "");
  tick(30);
  EXPECT_EQ(package.rowBuilds, 0);
  EXPECT_EQ(block.startRequest.get(), 0);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextCorrupted)});
  EXPECT_TRUE(seq.failureReached());
}

}  // namespace
}  // namespace flashwell::sequencer::tests
