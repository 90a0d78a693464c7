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
    EXPECT_EQ(status().selectedOption, mode);
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
  EXPECT_EQ(status().finishMode, FinishMode::running);
}

TEST(SequencerHandlersTest, ProceedAsksBeforeAnEraseButNotForNever) {
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
    SequencerRig r;
    r.runTo(UpgradeState::awaitChoice);
    if (c.answer) r.view.answers.push_back(*c.answer);
    r.seq.chooseMode(c.mode);
    r.seq.proceed();
    SCOPED_TRACE(int(c.mode));
    ASSERT_EQ(r.view.messageBoxes.size(), c.answer ? 1u : 0u);
    if (c.answer) {
      EXPECT_EQ(r.view.messageBoxes[0].text, T(kTextEraseQuestion));
      EXPECT_EQ(r.view.messageBoxes[0].kind, MessageBoxKind::yesNoQuestion);
    }
    EXPECT_EQ(r.block.upgradeOption.get(), c.upgradeOption);
    EXPECT_EQ(r.status().finishMode, c.finishMode);
    const bool went = c.upgradeOption != 0;
    for (int id : {kIdOnly, kIdAlways, kIdNever}) EXPECT_EQ(r.view.control(id).enabled, !went);
  }
}

TEST_F(SequencerTest, ProceedOnceTheUpgradeIsChosenOrTheExitHasBegunDoesNothing) {
  runTo(UpgradeState::awaitChoice);
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
  EXPECT_EQ(status().finishMode, FinishMode::running);
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);

  // EXIT pressed at the choice: the exit is under way.
  SequencerRig r;
  r.runTo(UpgradeState::awaitChoice);
  r.view.answers.push_back(MessageBoxAnswer::no);
  r.seq.chooseMode(UpgradeOption::always);
  r.seq.guardedExit(true);
  for (int ticks = 0; ticks < 2; ++ticks) {
    const FinishMode before = r.status().finishMode;
    r.seq.proceed();
    EXPECT_TRUE(r.view.messageBoxes.empty());
    EXPECT_EQ(r.status().finishMode, before) << "the exit is not started over";
    r.tick();
  }
}

TEST_F(SequencerTest, TicksGoOnWhileTheProceedQuestionIsOpen) {
  runTo(UpgradeState::awaitChoice);
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
  runTo(UpgradeState::awaitChoice);
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

TEST(SequencerHandlersTest, GuardedExit) {
  enum class Reach { choice, firmwareErase, errorStop };
  struct Case {
    const char* what;
    Reach reach;
    bool packageOpen;
    bool endsAtOnce;
    FinishMode finishModeAfter;
  };
  for (const Case& c :
       {Case{"running", Reach::choice, true, false, FinishMode::exitAsked},
        Case{"locked", Reach::firmwareErase, true, false, FinishMode::running},
        Case{"locked, no package", Reach::firmwareErase, false, false, FinishMode::running},
        Case{"no package", Reach::choice, false, true, FinishMode::running},
        Case{"error stop", Reach::errorStop, true, true, FinishMode::errorStop}}) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    if (c.reach == Reach::choice) r.runTo(UpgradeState::awaitChoice);
    if (c.reach == Reach::firmwareErase) {
      r.runTo(UpgradeState::eraseFirmware);
      r.tick();
      ASSERT_EQ(r.status().exitLocked, 1);
    }
    if (c.reach == Reach::errorStop) {
      r.package.rowsResult = catalogue::Result::badChecksum;
      r.tick(2);
    }
    r.seq.guardedExit(c.packageOpen);
    EXPECT_EQ(r.view.ended(), c.endsAtOnce);
    if (c.endsAtOnce) {
      EXPECT_EQ(*r.view.endResult, kEndAtOnce);
    }
    EXPECT_EQ(r.status().finishMode, c.finishModeAfter);
  }
}

TEST_F(SequencerTest, ExitDuringTheChoiceStopsTheWorkerAtOnce) {
  runTo(UpgradeState::awaitChoice);
  seq.guardedExit(true);
  tick();
  EXPECT_EQ(status().finishMode, FinishMode::stopWorker);
  EXPECT_EQ(block.leaveBooterRequest.get(), 0);
}

}  // namespace
}  // namespace flashwell::sequencer::tests
