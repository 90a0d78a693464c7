// The buttons: mode choice, PROCEED and the guarded exit.

#include <set>

#include "sequencer/text_ids.h"
#include "sequencer/upgrade_modes.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST_F(SequencerTest, ModeChoiceTicksExactlyOneBox) {
  view.setText(kIdMarkAlways, "Key:");
  using enum UpgradeOption;
  const std::pair<UpgradeOption, int> boxes[] = {
      {only, kIdOnly}, {always, kIdAlways}, {never, kIdNever}};
  for (UpgradeOption mode : {only, always, always, never, only}) {
    seq.chooseMode(mode);
    EXPECT_EQ(f().selectedOption, mode);
    for (const auto& [boxMode, box] : boxes) EXPECT_EQ(view.control(box).checked, boxMode == mode);
  }
  for (int id : {kIdMarkOnly, kIdMarkAlways, kIdMarkNever}) EXPECT_EQ(view.text(id), " ");
}

// A mode is found from its check box and from its block byte, and has a row for the writers.
TEST_F(SequencerTest, EveryModeIsFoundFromItsBoxAndItsByte) {
  std::set<int> boxes, markers;
  for (const UpgradeMode& m : kUpgradeModes) {
    EXPECT_EQ(modeOfCheckBox(m.checkBox), m.option);
    EXPECT_EQ(protocol::optionFromByte(protocol::optionByte(m.option)), m.option);
    EXPECT_EQ(protocol::writesOf(m.option).option, m.option);
    EXPECT_NE(protocol::optionByte(m.option), protocol::kOptionNone);
    boxes.insert(m.checkBox);
    markers.insert(m.marker);
  }
  EXPECT_EQ(boxes.size(), kUpgradeModes.size());
  EXPECT_EQ(markers.size(), kUpgradeModes.size());
  EXPECT_FALSE(modeOfCheckBox(kIdProceed));
  EXPECT_FALSE(protocol::optionFromByte(protocol::kOptionNone));
  EXPECT_FALSE(protocol::optionFromByte(4));
}

TEST_F(SequencerTest, ProceedWithoutAModeDoesNothing) {
  seq.proceed();
  EXPECT_TRUE(view.messageBoxes.empty());
  EXPECT_EQ(block.upgradeOption.get(), 0);
  EXPECT_EQ(f().finishMode, FinishMode::running);
}

TEST_F(SequencerTest, ProceedAsksBeforeAnEraseButNotForNever) {
  struct Case {
    UpgradeOption mode;
    std::optional<MessageBoxAnswer> answer;
    std::uint8_t upgradeOption;
    FinishMode finishMode;
  };
  using enum UpgradeOption;
  for (const Case& c : {Case{only, MessageBoxAnswer::yes, 1, FinishMode::running},
                        Case{always, MessageBoxAnswer::yes, 2, FinishMode::running},
                        Case{only, MessageBoxAnswer::no, 0, FinishMode::exitAsked},
                        Case{always, MessageBoxAnswer::ok, 0, FinishMode::exitAsked},
                        Case{never, std::nullopt, 3, FinishMode::running}}) {
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
  seq.chooseMode(UpgradeOption::only);
  tick();
  ASSERT_TRUE(view.control(kIdProceed).enabled);
  view.answers = {MessageBoxAnswer::yes, MessageBoxAnswer::no};
  seq.proceed();
  ASSERT_EQ(block.upgradeOption.get(), 1);
  // PROCEED is still enabled until state 50's first tick disables it.
  ASSERT_TRUE(view.control(kIdProceed).enabled);
  seq.proceed();
  EXPECT_EQ(view.messageBoxes.size(), 1u) << "the question is not asked again";
  EXPECT_EQ(f().finishMode, FinishMode::running);
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);

  RecordingView v;
  protocol::RequestBlock b;
  FakePackage p;
  Sequencer s(v, b, p);
  v.answers.push_back(MessageBoxAnswer::no);
  s.chooseMode(UpgradeOption::always);
  s.fields().finishMode = FinishMode::awaitFirmware;
  s.proceed();
  EXPECT_TRUE(v.messageBoxes.empty());
  EXPECT_EQ(s.fields().finishMode, FinishMode::awaitFirmware) << "the exit is not started over";
}

TEST_F(SequencerTest, TicksGoOnWhileTheProceedQuestionIsOpen) {
  reachChoice();
  seq.chooseMode(UpgradeOption::only);
  tick();
  view.setTimer(kTimerId, kTimerPeriodMs);
  std::vector<UpgradeState> statesUnderTheBox;
  view.whileOpen = [&](const std::string&) {
    for (int i = 0; i < 5; ++i) {
      if (view.timerSet(kTimerId)) tick();
      statesUnderTheBox.push_back(state());
    }
  };
  view.answers.push_back(MessageBoxAnswer::yes);
  seq.proceed();
  EXPECT_EQ(statesUnderTheBox, std::vector<UpgradeState>(5, UpgradeState::awaitChoice));
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);
}

TEST_F(SequencerTest, DeclinedEraseExitsWithoutTouchingTheKey) {
  reachChoice();
  seq.chooseMode(UpgradeOption::always);
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
    FinishMode finishMode;
    bool packageOpen;
    bool endsAtOnce;
    FinishMode finishModeAfter;
  };
  for (const Case& c :
       {Case{"running", 0, FinishMode::running, true, false, FinishMode::exitAsked},
        Case{"locked", 1, FinishMode::running, true, false, FinishMode::running},
        Case{"locked, no package", 1, FinishMode::running, false, false, FinishMode::running},
        Case{"no package", 0, FinishMode::running, false, true, FinishMode::running},
        Case{"error stop", 0, FinishMode::errorStop, true, true, FinishMode::errorStop}}) {
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
  EXPECT_EQ(f().finishMode, FinishMode::stopWorker);
  EXPECT_EQ(block.leaveBooterRequest.get(), 0);
}

}  // namespace
}  // namespace flashwell::sequencer::tests
