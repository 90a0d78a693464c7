// The buttons: mode choice, PROCEED and the guarded exit.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST_F(SequencerTest, ModeChoiceTicksExactlyOneBox) {
  view.setText(kIdMarkAlways, "Key:");
  const int boxes[] = {kIdOnly, kIdAlways, kIdNever};
  for (std::uint8_t mode : {1, 2, 2, 3, 1}) {
    seq.chooseMode(mode);
    EXPECT_EQ(f().selectedOption, mode);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(view.control(boxes[i]).checked, i + 1 == mode);
  }
  for (int id : {kIdMarkOnly, kIdMarkAlways, kIdMarkNever}) EXPECT_EQ(view.text(id), " ");
}

TEST_F(SequencerTest, ProceedWithoutAModeDoesNothing) {
  seq.proceed();
  EXPECT_TRUE(view.messageBoxes.empty());
  EXPECT_EQ(block.upgradeOption.get(), 0);
  EXPECT_EQ(f().finishMode, kRunning);
}

TEST_F(SequencerTest, ProceedAsksBeforeAnEraseButNotForNever) {
  struct Case {
    std::uint8_t mode;
    std::optional<MessageBoxAnswer> answer;
    std::uint8_t upgradeOption;
    std::uint8_t finishMode;
  };
  for (const Case& c :
       {Case{1, MessageBoxAnswer::yes, 1, kRunning}, Case{2, MessageBoxAnswer::yes, 2, kRunning},
        Case{1, MessageBoxAnswer::no, 0, kExitAsked}, Case{2, MessageBoxAnswer::ok, 0, kExitAsked},
        Case{3, std::nullopt, 3, kRunning}}) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    Sequencer s(v, b, p);
    if (c.answer) v.answers.push_back(*c.answer);
    s.chooseMode(c.mode);
    s.proceed();
    SCOPED_TRACE(int(c.mode));
    ASSERT_EQ(v.messageBoxes.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(v.messageBoxes[0].text, T(kTextEraseQuestion));
      EXPECT_EQ(v.messageBoxes[0].kind, MessageBoxKind::yesNoQuestion);
    }
    EXPECT_EQ(b.upgradeOption.get(), c.upgradeOption);
    EXPECT_EQ(s.fields().finishMode, c.finishMode);
    const bool went = c.upgradeOption != 0;
    for (int id : {kIdOnly, kIdAlways, kIdNever}) EXPECT_EQ(v.control(id).enabled, !went);
  }
}

TEST_F(SequencerTest, ProceedOnceTheUpgradeIsChosenOrTheExitHasBegunDoesNothing) {
  reachChoice();
  seq.chooseMode(1);
  tick();
  ASSERT_TRUE(view.control(kIdProceed).enabled);
  view.answers = {MessageBoxAnswer::yes, MessageBoxAnswer::no};
  seq.proceed();
  ASSERT_EQ(block.upgradeOption.get(), 1);
  // PROCEED is still enabled until state 50's first tick disables it.
  ASSERT_TRUE(view.control(kIdProceed).enabled);
  seq.proceed();
  EXPECT_EQ(view.messageBoxes.size(), 1u) << "the question is not asked again";
  EXPECT_EQ(f().finishMode, kRunning);
  tick();
  EXPECT_EQ(state(), 50);

  RecordingView v;
  protocol::RequestBlock b;
  FakePackage p;
  Sequencer s(v, b, p);
  v.answers.push_back(MessageBoxAnswer::no);
  s.chooseMode(2);
  s.fields().finishMode = kAwaitFirmware;
  s.proceed();
  EXPECT_TRUE(v.messageBoxes.empty());
  EXPECT_EQ(s.fields().finishMode, kAwaitFirmware) << "the exit is not started over";
}

TEST_F(SequencerTest, TicksGoOnWhileTheProceedQuestionIsOpen) {
  reachChoice();
  seq.chooseMode(1);
  tick();
  view.setTimer(kTimerId, kTimerPeriodMs);
  std::vector<std::uint16_t> statesUnderTheBox;
  view.whileOpen = [&](const std::string&) {
    for (int i = 0; i < 5; ++i) {
      if (view.timerSet(kTimerId)) tick();
      statesUnderTheBox.push_back(state());
    }
  };
  view.answers.push_back(MessageBoxAnswer::yes);
  seq.proceed();
  EXPECT_EQ(statesUnderTheBox, std::vector<std::uint16_t>(5, 53));
  tick();
  EXPECT_EQ(state(), 50);
}

TEST_F(SequencerTest, DeclinedEraseExitsWithoutTouchingTheKey) {
  reachChoice();
  seq.chooseMode(2);
  seq.proceed();
  block.workerEnded.set(1);
  tick(3);
  EXPECT_TRUE(view.ended());
  EXPECT_EQ(view.statusLog.back(), T(kTextExiting));
  for (const protocol::SharedByte* b :
       {&block.enterBooterRequest, &block.eraseRequest, &block.keyFirmwareRequest,
        &block.dataEraseRequest, &block.markRequest, &block.regionsRequest}) {
    EXPECT_EQ(b->get(), 0);
  }
}

TEST_F(SequencerTest, GuardedExit) {
  struct Case {
    const char* what;
    std::uint8_t exitLocked;
    std::uint8_t finishMode;
    bool packageOpen;
    bool endsAtOnce;
    std::uint8_t finishModeAfter;
  };
  for (const Case& c : {Case{"running", 0, kRunning, true, false, kExitAsked},
                        Case{"locked", 1, kRunning, true, false, kRunning},
                        Case{"locked, no package", 1, kRunning, false, false, kRunning},
                        Case{"no package", 0, kRunning, false, true, kRunning},
                        Case{"error stop", 0, kErrorStop, true, true, kErrorStop}}) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    Sequencer s(v, b, p);
    s.fields().exitLocked = c.exitLocked;
    s.fields().finishMode = c.finishMode;
    s.guardedExit(c.packageOpen);
    SCOPED_TRACE(c.what);
    EXPECT_EQ(v.ended(), c.endsAtOnce);
    if (c.endsAtOnce) {
      EXPECT_EQ(*v.endResult, kEndAtOnce);
    }
    EXPECT_EQ(s.fields().finishMode, c.finishModeAfter);
  }
}

TEST_F(SequencerTest, ExitDuringTheChoiceStopsTheWorkerAtOnce) {
  reachChoice();
  seq.guardedExit(true);
  tick();
  EXPECT_EQ(f().finishMode, kStopWorker);
  EXPECT_EQ(block.leaveBooterRequest.get(), 0);
}

}  // namespace
}  // namespace flashwell::sequencer::tests
