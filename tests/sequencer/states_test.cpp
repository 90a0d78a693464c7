// The states before PROCEED: package check, start, connection, key read, choice, final report.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST(SequencerStatesTest, PackageCheckOutcomes) {
  struct Case {
    bool slotsComplete;
    catalogue::Result rows;
    UpgradeState next;
    bool rowsBuilt;
  };
  for (const Case& c : {Case{true, catalogue::Result::ok, UpgradeState::awaitStart, true},
                        Case{true, catalogue::Result::invalid, UpgradeState::notApplicable, true},
                        Case{true, catalogue::Result::badChecksum, UpgradeState::corrupted, true},
                        Case{false, catalogue::Result::ok, UpgradeState::corrupted, false},
                        Case{false, catalogue::Result::invalid, UpgradeState::corrupted, false}}) {
    SequencerRig r;
    r.package.slotsComplete = c.slotsComplete;
    r.package.rowsResult = c.rows;
    r.tick();
    SCOPED_TRACE(::testing::Message() << c.slotsComplete << " " << static_cast<int>(c.rows));
    EXPECT_EQ(r.state(), c.next);
    EXPECT_EQ(r.package.rowBuilds, c.rowsBuilt ? 1 : 0);
    EXPECT_EQ(r.view.text(kIdLabels), T(kTextLabels));
    EXPECT_EQ(r.block.regions[0].bytes[0], 6);
    const bool good = c.next == UpgradeState::awaitStart;
    EXPECT_EQ(r.block.startRequest.get(), good ? 1 : 0);
    EXPECT_EQ(r.view.text(kIdToolColumn), good ? "IMAGE" : "");
    for (int id : {kIdOnly, kIdAlways, kIdNever}) EXPECT_EQ(r.view.control(id).enabled, good);
  }
}

TEST_F(SequencerTest, KeyOfTheWrongKindKeepsShowingTextOneTwentyFive) {
  package.rowsResult = catalogue::Result::invalid;
  tick(2);
  EXPECT_EQ(status().finishMode, FinishMode::errorStop);
  tick(40);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextNotApplicable)});
}

TEST_F(SequencerTest, CorruptPackageShowsTextOneTwenty) {
  package.rowsResult = catalogue::Result::badChecksum;
  tick(20);
  EXPECT_EQ(status().finishMode, FinishMode::errorStop);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextCorrupted)});
  EXPECT_EQ(block.startRequest.get(), 0);
}

TEST_F(SequencerTest, WaitsForStartAndConnectionAsLongAsItTakes) {
  tick();
  tick(50);
  EXPECT_EQ(state(), UpgradeState::awaitStart);
  block.startDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::connect);
  tick(300);
  EXPECT_EQ(state(), UpgradeState::connect);
  EXPECT_EQ(block.connectRequest.get(), 1);
  block.connected.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::readKey);
}

// The read-back comes after the key read of state 30, whose answers the worker still shows.
TEST_F(SequencerTest, KeyReadWaitsForTheWorkerToClearOldAnswers) {
  runTo(UpgradeState::readBack);
  ASSERT_EQ(block.identityDone.get(), 1);
  ASSERT_EQ(block.versionsDone.get(), 1);
  tick(5);
  EXPECT_EQ(block.identityRequest.get(), 0);
  EXPECT_EQ(block.versionsRequest.get(), 1) << "lowered once the identity's answer is cleared";
  block.identityDone.set(0);
  tick(2);
  EXPECT_EQ(block.versionsRequest.get(), 0);
  EXPECT_EQ(block.identityRequest.get(), 0) << "versions still answered";
  block.versionsDone.set(0);
  tick();  // the old answers are gone
  EXPECT_EQ(block.identityRequest.get(), 0);
  tick();
  EXPECT_EQ(block.identityRequest.get(), 1);
  EXPECT_EQ(block.versionsRequest.get(), 0);
}

protocol::KeyIdentity withValue(protocol::KeyIdentity id, std::size_t at, std::uint32_t v) {
  usb::putLe32(id, at, v);
  return id;
}

TEST(SequencerStatesTest, IdentityJudgement) {
  struct Case {
    const char* what;
    protocol::KeyIdentity identity;
    std::uint8_t booterPassesBefore;
    UpgradeState next;
    std::uint8_t booterPassesAfter;
  };
  const protocol::KeyIdentity fw = firmwareIdentity();
  const protocol::KeyIdentity bt = booterIdentity();
  protocol::KeyIdentity otherProgram = fw;
  usb::putLe16(otherProgram, 28, 7);
  const Case cases[] = {
      {"firmware", fw, 0, UpgradeState::awaitChoice, 0},
      {"firmware, size 17", withValue(fw, 16, 17), 0, UpgradeState::awaitChoice, 0},
      {"firmware, size 16", withValue(fw, 16, 16), 0, UpgradeState::failed, 0},
      {"firmware, size 0xFFFFFF00", withValue(fw, 16, 0xFFFFFF00u), 0, UpgradeState::failed, 0},
      {"firmware, size 0xFFFFFEFF", withValue(fw, 16, 0xFFFFFEFFu), 0, UpgradeState::awaitChoice,
       0},
      {"firmware of another kind", withValue(fw, 4, 112), 0, UpgradeState::failed, 0},
      {"neither program", otherProgram, 0, UpgradeState::failed, 0},
      {"booter of another kind", withValue(bt, 4, 110), 0, UpgradeState::notApplicable, 0},
      {"booter", bt, 0, UpgradeState::awaitChoice, 1},
      {"booter, size ignored", withValue(bt, 16, 0), 0, UpgradeState::awaitChoice, 1},
      // The second pass, once the firmware was restored, finds the booter again.
      {"booter a second time", bt, 2, UpgradeState::failed, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    r.keyIdentity = bt;
    r.afterLeaving = bt;
    if (c.booterPassesBefore != 0) {  // the first pass finds the booter and restores it
      r.runTo(UpgradeState::leaveBooter);
      r.runTo(UpgradeState::checkPackage);
    }
    r.runTo(UpgradeState::readKey);
    ASSERT_EQ(r.status().booterPasses, c.booterPassesBefore);
    r.answerKeyRead(c.identity);
    EXPECT_EQ(r.state(), c.next);
    EXPECT_EQ(r.status().booterPasses, c.booterPassesAfter);
    if (c.next == UpgradeState::awaitChoice) {
      EXPECT_EQ(r.view.text(kIdKeyColumn), c.booterPassesAfter ? "BOOTER" : "KEY");
    }
  }
}

TEST(SequencerStatesTest, UnreadableIdentityOrVersionsGoToTheFailureState) {
  for (const bool identityRefused : {true, false}) {
    SCOPED_TRACE(identityRefused ? "identity" : "versions");
    SequencerRig r;
    r.runTo(UpgradeState::readKey);
    if (identityRefused) {
      r.tick(2);
      r.block.identityDone.set(protocol::kJobRefused);
      r.tick();
    } else {
      r.answerKeyRead(firmwareIdentity(), protocol::kJobRefused);
    }
    EXPECT_EQ(r.state(), UpgradeState::failed);
    r.tick(12);
    EXPECT_EQ(r.view.statusLog.back(), T(kTextImpossible));
    EXPECT_FALSE(r.view.control(kIdProceed).enabled);
    EXPECT_TRUE(r.seq.failureReached());
  }
}

TEST_F(SequencerTest, KeyReadMovesTheBarAndResetsItWhenDone) {
  runTo(UpgradeState::readKey);
  view.progressLog.clear();
  answerKeyRead(firmwareIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  // Step 0 once, 330 twice, 331 twice, 332 once: bar +5, plus +5 in each step after the first.
  const std::vector<int> expected{5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 0};
  EXPECT_EQ(view.progressLog, expected);
}

TEST(SequencerStatesTest, KeyMarkerFollowsTheKeysPolicyMark) {
  for (std::uint8_t variant : {0, 1, 2, 0xFF}) {
    SequencerRig r;
    for (int id : {kIdMarkOnly, kIdMarkAlways, kIdMarkNever}) r.view.setText(id, "old");
    r.block.keyVariant.set(variant);  // what the versions job read
    r.runTo(UpgradeState::awaitChoice);
    const int expected = variant == 0 ? kIdMarkOnly : variant == 1 ? kIdMarkAlways : kIdMarkNever;
    for (int id : {kIdMarkOnly, kIdMarkAlways, kIdMarkNever}) {
      EXPECT_EQ(r.view.text(id), id == expected ? "Key:" : "") << int(variant);
    }
  }
}

TEST_F(SequencerTest, ChoiceEnablesProceedAndWaitsForIt) {
  runTo(UpgradeState::awaitChoice);
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  tick(5);
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  seq.chooseMode(UpgradeOption::always);
  tick();
  EXPECT_TRUE(view.control(kIdProceed).enabled);
  tick(20);
  EXPECT_EQ(state(), UpgradeState::awaitChoice);
  view.answers.push_back(MessageBoxAnswer::yes);
  seq.proceed();
  EXPECT_EQ(block.upgradeOption.get(), 2);
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);
}

TEST_F(SequencerTest, ModeTickedWhileTheKeyIsReadEnablesProceedOnTheFirstChoiceTick) {
  runTo(UpgradeState::readKey);
  seq.chooseMode(UpgradeOption::only);
  answerKeyRead(firmwareIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  tick();
  EXPECT_TRUE(view.control(kIdProceed).enabled);
}

TEST(SequencerStatesTest, FinalReportNamesTheUpgradeOrForNeverTheAbsenceOfOne) {
  for (UpgradeOption mode : {UpgradeOption::only, UpgradeOption::always, UpgradeOption::never}) {
    SequencerRig r;
    r.mode = mode;
    r.runTo(UpgradeState::finalReport);
    r.view.messageBoxes.clear();
    r.tick();
    ASSERT_EQ(r.view.messageBoxes.size(), 1u);
    EXPECT_EQ(r.view.messageBoxes[0].text,
              T(mode == UpgradeOption::never ? kTextNoUpgrade : kTextCongratulations));
    EXPECT_EQ(r.view.messageBoxes[0].kind, MessageBoxKind::information);
    EXPECT_EQ(r.status().finishMode, FinishMode::exitAsked);
    EXPECT_EQ(r.status().exitLocked, 0);
    EXPECT_TRUE(r.view.control(kIdExit).shown);
  }
}

}  // namespace
}  // namespace flashwell::sequencer::tests
