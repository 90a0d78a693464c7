// The states before PROCEED: package check, start, connection, key read, choice, final report.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST_F(SequencerTest, PackageCheckOutcomes) {
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
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    p.slotsComplete = c.slotsComplete;
    p.rowsResult = c.rows;
    Sequencer s(v, b, p);
    s.onTimer(kTimerId);
    SCOPED_TRACE(::testing::Message() << c.slotsComplete << " " << static_cast<int>(c.rows));
    EXPECT_EQ(s.fields().state, c.next);
    EXPECT_EQ(p.rowBuilds, c.rowsBuilt ? 1 : 0);
    EXPECT_EQ(v.text(kIdLabels), T(kTextLabels));
    EXPECT_EQ(b.regions[0].bytes[0], 6);
    const bool good = c.next == UpgradeState::awaitStart;
    EXPECT_EQ(b.startRequest.get(), good ? 1 : 0);
    EXPECT_EQ(v.text(kIdToolColumn), good ? "IMAGE" : "");
    for (int id : {kIdOnly, kIdAlways, kIdNever}) EXPECT_EQ(v.control(id).enabled, good);
  }
}

TEST_F(SequencerTest, KeyOfTheWrongKindKeepsShowingTextOneTwentyFive) {
  package.rowsResult = catalogue::Result::invalid;
  tick(2);
  EXPECT_EQ(f().finishMode, FinishMode::errorStop);
  tick(40);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextNotApplicable)});
}

TEST_F(SequencerTest, CorruptPackageShowsTextOneTwenty) {
  package.rowsResult = catalogue::Result::badChecksum;
  tick(20);
  EXPECT_EQ(f().finishMode, FinishMode::errorStop);
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

TEST_F(SequencerTest, KeyReadWaitsForTheWorkerToClearOldAnswers) {
  startAndConnect();
  block.identityRequest.set(1);
  block.identityDone.set(1);
  block.versionsDone.set(1);
  tick(5);
  EXPECT_EQ(block.identityRequest.get(), 0);
  EXPECT_EQ(block.versionsRequest.get(), 0);
  EXPECT_EQ(f().keyReadStep, KeyReadStep::clear);
  block.identityDone.set(0);
  tick();
  EXPECT_EQ(f().keyReadStep, KeyReadStep::clear);  // versions still answered
  block.versionsDone.set(0);
  tick();
  EXPECT_EQ(f().keyReadStep, KeyReadStep::identity);
}

protocol::KeyIdentity withValue(protocol::KeyIdentity id, std::size_t at, std::uint32_t v) {
  usb::putLe32(id, at, v);
  return id;
}

TEST_F(SequencerTest, IdentityJudgement) {
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
      {"booter a second time", bt, 1, UpgradeState::failed, 2},
  };
  for (const Case& c : cases) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    SCOPED_TRACE(c.what);
    Sequencer s(v, b, p);
    s.fields().booterPasses = c.booterPassesBefore;
    s.goToState(UpgradeState::readKey);
    b.connected.set(1);
    for (int i = 0; i < 20 && s.fields().state == UpgradeState::readKey; ++i) {
      s.onTimer(kTimerId);
      if (b.identityRequest.get() == 1 && b.identityDone.get() == 0) {
        b.identity = c.identity;
        b.identityDone.set(1);
      }
      if (b.versionsRequest.get() == 1) b.versionsDone.set(1);
    }
    EXPECT_EQ(s.fields().state, c.next);
    EXPECT_EQ(s.fields().booterPasses, c.booterPassesAfter);
    if (c.next == UpgradeState::awaitChoice) {
      EXPECT_EQ(v.text(kIdKeyColumn), c.booterPassesAfter ? "BOOTER" : "KEY");
    }
  }
}

TEST_F(SequencerTest, UnreadableIdentityOrVersionsGoToTheFailureState) {
  startAndConnect();
  tick(2);
  block.identityDone.set(2);
  tick();
  EXPECT_EQ(state(), UpgradeState::failed);

  seq.goToState(UpgradeState::readKey);
  block.identityDone.set(0);
  answerKeyRead(firmwareIdentity(), 2);
  EXPECT_EQ(state(), UpgradeState::failed);
  tick(12);
  EXPECT_EQ(view.statusLog.back(), T(kTextImpossible));
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  EXPECT_TRUE(seq.failureReached());
}

TEST_F(SequencerTest, KeyReadMovesTheBarAndResetsItWhenDone) {
  startAndConnect();
  view.progressLog.clear();
  answerKeyRead(firmwareIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  // Step 0 once, 330 twice, 331 twice, 332 once: bar +5, plus +5 in each step after the first.
  const std::vector<int> expected{5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 55, 0};
  EXPECT_EQ(view.progressLog, expected);
}

TEST_F(SequencerTest, KeyMarkerFollowsTheKeysPolicyMark) {
  for (std::uint8_t variant : {0, 1, 2, 0xFF}) {
    block.keyVariant.set(variant);
    seq.showKeyVersions();
    const int expected = variant == 0 ? kIdMarkOnly : variant == 1 ? kIdMarkAlways : kIdMarkNever;
    for (int id : {kIdMarkOnly, kIdMarkAlways, kIdMarkNever}) {
      EXPECT_EQ(view.text(id), id == expected ? "Key:" : "") << int(variant);
    }
  }
}

TEST_F(SequencerTest, ChoiceEnablesProceedAndWaitsForIt) {
  reachChoice();
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  tick(5);
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  seq.chooseMode(UpgradeOption::always);
  tick();
  EXPECT_TRUE(view.control(kIdProceed).enabled);
  tick(20);
  EXPECT_EQ(state(), UpgradeState::awaitChoice);
  block.upgradeOption.set(2);
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);
}

TEST_F(SequencerTest, ModeTickedWhileTheKeyIsReadEnablesProceedOnTheFirstChoiceTick) {
  startAndConnect();
  seq.chooseMode(UpgradeOption::only);
  answerKeyRead(firmwareIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  tick();
  EXPECT_TRUE(view.control(kIdProceed).enabled);
}

TEST_F(SequencerTest, FinalReportNamesTheUpgradeOrForNeverTheAbsenceOfOne) {
  for (UpgradeOption mode : {UpgradeOption::only, UpgradeOption::always, UpgradeOption::never}) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    Sequencer s(v, b, p);
    s.fields().selectedOption = mode;
    s.fields().exitLocked = 1;
    s.goToState(UpgradeState::finalReport);
    s.onTimer(kTimerId);
    ASSERT_EQ(v.messageBoxes.size(), 1u);
    EXPECT_EQ(v.messageBoxes[0].text,
              T(mode == UpgradeOption::never ? kTextNoUpgrade : kTextCongratulations));
    EXPECT_EQ(v.messageBoxes[0].kind, MessageBoxKind::information);
    EXPECT_EQ(s.fields().finishMode, FinishMode::exitAsked);
    EXPECT_EQ(s.fields().exitLocked, 0);
    EXPECT_TRUE(v.control(kIdExit).shown);
  }
}

}  // namespace
}  // namespace flashwell::sequencer::tests
