// The states after PROCEED: booter, firmware erase and write, data erase, mark, components,
// read-back.

#include <functional>
#include <string>
#include <vector>

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

class UpgradeStatesTest : public SequencerTest {
 protected:
  // State 53 passed with `mode` confirmed.
  void confirm(UpgradeOption mode) {
    reachChoice();
    seq.chooseMode(mode);
    block.upgradeOption.set(protocol::optionByte(mode));
    tick();
    ASSERT_EQ(state(), UpgradeState::proceed);
  }
};

TEST_F(UpgradeStatesTest, NeverLeavesTheKeysFirmwareAlone) {
  confirm(UpgradeOption::never);
  tick();
  EXPECT_EQ(state(), UpgradeState::clearMark);
  EXPECT_EQ(block.enterBooterRequest.get(), 0);
  EXPECT_EQ(f().proceedStarted, 1);
  EXPECT_FALSE(view.control(kIdProceed).enabled);
}

TEST_F(UpgradeStatesTest, OnlyStartsTheBooterUntilItRuns) {
  confirm(UpgradeOption::only);
  tick(4);
  EXPECT_EQ(state(), UpgradeState::proceed);
  EXPECT_EQ(block.enterBooterRequest.get(), 1);
  EXPECT_EQ(view.statusLog.back(), T(kTextStartingBooter));
  block.enterBooterDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::eraseFirmware);
}

TEST_F(UpgradeStatesTest, ProceedStepByBooterPasses) {
  for (std::uint8_t passes : {1, 2, 5}) {
    f().booterPasses = passes;
    f().selectedOption =
        UpgradeOption::never;  // the mode does not matter once the booter was found
    seq.goToState(UpgradeState::proceed);
    tick();
    EXPECT_EQ(state(), passes == 1 ? UpgradeState::eraseFirmware : UpgradeState::eraseData)
        << int(passes);
    EXPECT_EQ(block.enterBooterRequest.get(), 0);
  }
}

TEST_F(UpgradeStatesTest, FirmwareStatesLockExitUntilTheKeyLeavesItsBooter) {
  seq.goToState(UpgradeState::eraseFirmware);
  tick();
  EXPECT_EQ(f().exitLocked, 1);
  EXPECT_EQ(block.eraseRequest.get(), 1);
  seq.guardedExit(true);
  EXPECT_EQ(f().finishMode, FinishMode::running);
  block.eraseDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::writeFirmware);
  EXPECT_EQ(f().progressPos, 0);
  tick();
  EXPECT_EQ(block.keyFirmwareRequest.get(), 1);
  EXPECT_EQ(view.statusLog.back(), T(kTextUpdatingFirmware));
  seq.guardedExit(true);
  EXPECT_EQ(f().finishMode, FinishMode::running);
  block.keyFirmwareDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::leaveBooter);
  tick();
  EXPECT_EQ(f().exitLocked, 0);
  EXPECT_EQ(block.leaveBooterRequest.get(), 1);
  block.leaveBooterDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::eraseData);
}

TEST_F(UpgradeStatesTest, RefusedJobsShowTheFailureAndUnlockExit) {
  struct Case {
    UpgradeState state;
    protocol::SharedByte protocol::RequestBlock::*done;
  };
  for (const Case& c : {Case{UpgradeState::eraseFirmware, &protocol::RequestBlock::eraseDone},
                        Case{UpgradeState::writeFirmware, &protocol::RequestBlock::keyFirmwareDone},
                        Case{UpgradeState::eraseData, &protocol::RequestBlock::dataEraseDone},
                        Case{UpgradeState::clearMark, &protocol::RequestBlock::markDone}}) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    Sequencer s(v, b, p);
    s.goToState(c.state);
    (b.*c.done).set(2);
    std::string exitCaptions;
    for (int i = 0; i < 13; ++i) {
      s.onTimer(kTimerId);
      exitCaptions += v.text(kIdExit) == T(kTextExit) ? 'E' : v.text(kIdExit) == " " ? '_' : '?';
      EXPECT_EQ(v.text(kIdStatus), i < 10 ? T(kTextImpossible) : "");
    }
    SCOPED_TRACE(stateNumber(c.state));
    EXPECT_EQ(s.fields().state, c.state);
    EXPECT_EQ(exitCaptions, "EEEEEEEEEE___");
    EXPECT_EQ(s.fields().exitLocked, 0);
    s.guardedExit(true);
    EXPECT_EQ(s.fields().finishMode, FinishMode::exitAsked);
  }
}

TEST_F(UpgradeStatesTest, BooterKeyGetsASecondPassThatKeepsTheFirstChoice) {
  startAndConnect();
  answerKeyRead(booterIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  EXPECT_EQ(view.text(kIdKeyColumn), "BOOTER");
  seq.chooseMode(UpgradeOption::always);
  seq.proceed();  // no answer scripted: No
  EXPECT_EQ(f().finishMode, FinishMode::exitAsked);
  f().finishMode = FinishMode::running;
  view.answers.push_back(MessageBoxAnswer::yes);
  seq.proceed();
  tick();
  tick();
  ASSERT_EQ(state(), UpgradeState::eraseFirmware);  // whatever the mode
  block.eraseDone.set(1);
  tick();
  block.keyFirmwareDone.set(1);
  tick(2);
  block.leaveBooterDone.set(1);
  tick();
  ASSERT_EQ(state(), UpgradeState::checkPackage);
  EXPECT_EQ(f().booterPasses, 2);

  tick();  // state 0 of the second pass
  EXPECT_EQ(f().selectedOption, UpgradeOption::always);
  EXPECT_TRUE(view.control(kIdAlways).checked);
  EXPECT_FALSE(view.control(kIdAlways).enabled);
  tick();  // 1: startDone is never cleared
  tick();  // 2: still connected
  answerKeyRead(firmwareIdentity());
  ASSERT_EQ(state(), UpgradeState::awaitChoice);
  tick();
  EXPECT_EQ(state(), UpgradeState::proceed);
  tick();
  EXPECT_EQ(state(), UpgradeState::eraseData);
}

TEST_F(UpgradeStatesTest, ComponentPhasesShowTheirTextsAndRestartTheBar) {
  block.identity = firmwareIdentity();
  f().selectedOption = UpgradeOption::only;
  seq.goToState(UpgradeState::writeRegions);
  const std::uint8_t phases[] = {0, 25, 20, 21, 22, 23, 24, 26};
  for (std::uint8_t phase : phases) {
    block.regionsDone.set(phase);
    f().blinkPhase = 1;  // keep to the on-phase, where the status line is written
    f().blinkTicks = 5;
    view.progressLog.clear();
    tick();
    // bar +6, then back to 0 at the change of phase
    EXPECT_EQ(view.progressLog.back(), 0) << int(phase);
    tick();
    EXPECT_EQ(view.progressPos, 6) << int(phase);
  }
  const std::vector<std::string> expected{T(140), T(165), T(160), T(161),
                                          T(162), T(163), T(164), T(166)};
  EXPECT_EQ(view.statusLog, expected);
  EXPECT_EQ(block.upgradeOption.get(), 1);
  EXPECT_EQ(block.regionsRequest.get(), 1);
  block.regionsDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::readBack);
}

TEST_F(UpgradeStatesTest, NeverShowsTheErasingTextThroughEveryPhase) {
  block.identity = firmwareIdentity();
  f().selectedOption = UpgradeOption::never;
  seq.goToState(UpgradeState::writeRegions);
  for (std::uint8_t phase : {0, 25, 20, 26}) {
    block.regionsDone.set(phase);
    tick();
    EXPECT_EQ(view.text(kIdStatus), T(kTextErasingComponents));
  }
  EXPECT_EQ(block.upgradeOption.get(), 3);
}

TEST_F(UpgradeStatesTest, ComponentWriteErrors) {
  // Refused by the worker.
  block.identity = firmwareIdentity();
  f().selectedOption = UpgradeOption::only;
  seq.goToState(UpgradeState::writeRegions);
  block.regionsDone.set(2);
  tick(15);
  EXPECT_EQ(state(), UpgradeState::writeRegions);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextCopyError)});
  EXPECT_TRUE(seq.failureReached());

  // A key that no longer runs its firmware is not asked at all.
  RecordingView v;
  protocol::RequestBlock b;
  FakePackage p;
  Sequencer s(v, b, p);
  b.identity = booterIdentity();
  s.goToState(UpgradeState::writeRegions);
  s.onTimer(kTimerId);
  EXPECT_EQ(b.regionsRequest.get(), 0);
  EXPECT_EQ(v.text(kIdStatus), T(kTextCopyError));
}

TEST_F(UpgradeStatesTest, ReadBackEndsInTheReportOrTheFailure) {
  protocol::KeyIdentity otherBooter = booterIdentity();
  usb::putLe32(otherBooter, 4, 5);
  struct Case {
    const char* what;
    protocol::KeyIdentity identity;
    std::uint8_t booterPasses;
    UpgradeState next;
  };
  const Case cases[] = {
      {"firmware", firmwareIdentity(), 0, UpgradeState::finalReport},
      {"firmware after a second pass", firmwareIdentity(), 2, UpgradeState::finalReport},
      // Here it is a failure, not the error stop.
      {"booter of another kind", otherBooter, 0, UpgradeState::failed},
      // The key fell back to its booter: no success to report.
      {"booter", booterIdentity(), 0, UpgradeState::failed},
      {"booter after a second pass", booterIdentity(), 2, UpgradeState::failed},
  };
  for (const Case& c : cases) {
    RecordingView v;
    protocol::RequestBlock b;
    FakePackage p;
    Sequencer s(v, b, p);
    s.fields().booterPasses = c.booterPasses;
    b.connected.set(1);
    s.goToState(UpgradeState::readBack);
    for (int i = 0; i < 20 && s.fields().state == UpgradeState::readBack; ++i) {
      s.onTimer(kTimerId);
      if (b.identityRequest.get() == 1 && b.identityDone.get() == 0) {
        b.identity = c.identity;
        b.identityDone.set(1);
      }
      if (b.versionsRequest.get() == 1) b.versionsDone.set(1);
    }
    EXPECT_EQ(s.fields().state, c.next) << c.what;
  }
}

TEST_F(UpgradeStatesTest, ReadBackComparesEveryStoredHeadAndTheKeysFirmwareVersion) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* what;
    std::uint8_t mode;
    std::function<void(protocol::RequestBlock&)> keyHolds;
    Names differing;
  };
  const Case cases[] = {
      {"what was sent", 1, [](auto&) {}, {}},
      {"another policy mark", 2, [](auto& b) { b.componentHeads[0][7] = 1; }, {}},
      {"a byte of the logger firmware",
       1,
       [](auto& b) { b.componentHeads[0][0x10] = 1; },
       {"LAPSTER4 firmware"}},
      {"the last byte of two heads",
       2,
       [](auto& b) { b.componentHeads[7][255] = b.componentHeads[4][255] = 1; },
       {"LANG (display languages)", "Lps4 EXP"}},
      {"the key's firmware patch", 1, [](auto& b) { b.identity[25] = 1; }, {"MEMPOD firmware"}},
      {"the key's firmware date", 1, [](auto& b) { b.identity[23] = 1; }, {"MEMPOD firmware"}},
      {"anything under Never", 3, [](auto& b) { b.componentHeads[1][0] = 1; }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingView v;
    protocol::RequestBlock b;
    // Every slot starts at the image's first byte: the heads sent are zeros, as is the version
    // in the package's firmware header.
    std::vector<std::uint8_t> package(protocol::kFlashImageOffset + protocol::kFlashImageSize, 0);
    b.imageBase = package.data();
    b.imageSize = package.size();
    FakePackage p;
    Sequencer s(v, b, p);
    s.fields().selectedOption = protocol::optionFromByte(c.mode);
    b.connected.set(1);
    s.goToState(UpgradeState::readBack);
    for (int i = 0; i < 20 && s.fields().state == UpgradeState::readBack; ++i) {
      s.onTimer(kTimerId);
      if (b.identityRequest.get() == 1 && b.identityDone.get() == 0) {
        b.identity = firmwareIdentity();
        c.keyHolds(b);
        b.identityDone.set(1);
      }
      if (b.versionsRequest.get() == 1) b.versionsDone.set(1);
    }
    EXPECT_EQ(s.readBackDifferences(), c.differing);
    EXPECT_EQ(s.failureReached(), !c.differing.empty());
    if (c.differing.empty()) {
      EXPECT_EQ(s.fields().state, UpgradeState::finalReport);
    } else {
      EXPECT_EQ(s.fields().state, UpgradeState::readBack);
      EXPECT_EQ(v.statusLog.back(), T(kTextCopyError));
    }
  }
}

}  // namespace
}  // namespace flashwell::sequencer::tests
