// The states after PROCEED: booter, firmware erase and write, data erase, mark, components,
// read-back.

#include <functional>
#include <string>
#include <vector>

#include "sequencer/text_ids.h"
#include "sequencer/upgrade_modes.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

using UpgradeStatesTest = SequencerTest;

TEST_F(UpgradeStatesTest, NeverLeavesTheKeysFirmwareAlone) {
  confirm(UpgradeOption::never);
  tick();
  EXPECT_EQ(state(), UpgradeState::clearMark);
  EXPECT_EQ(block.enterBooterRequest.get(), 0);
  EXPECT_EQ(status().proceedStarted, 1);
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

TEST_F(UpgradeStatesTest, FirmwareStatesLockExitUntilTheKeyLeavesItsBooter) {
  runTo(UpgradeState::eraseFirmware);
  tick();
  EXPECT_EQ(status().exitLocked, 1);
  EXPECT_EQ(block.eraseRequest.get(), 1);
  seq.guardedExit(true);
  EXPECT_EQ(status().finishMode, FinishMode::running);
  block.eraseDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::writeFirmware);
  EXPECT_EQ(view.progressPos, 0);
  tick();
  EXPECT_EQ(block.keyFirmwareRequest.get(), 1);
  EXPECT_EQ(view.statusLog.back(), T(kTextUpdatingFirmware));
  seq.guardedExit(true);
  EXPECT_EQ(status().finishMode, FinishMode::running);
  block.keyFirmwareDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::leaveBooter);
  tick();
  EXPECT_EQ(status().exitLocked, 0);
  EXPECT_EQ(block.leaveBooterRequest.get(), 1);
  block.leaveBooterDone.set(1);
  tick();
  EXPECT_EQ(state(), UpgradeState::eraseData);
}

TEST(UpgradeStatesTableTest, RefusedJobsShowTheFailureAndUnlockExit) {
  struct Case {
    UpgradeState state;
    protocol::SharedByte protocol::RequestBlock::*done;
  };
  for (const Case& c : {Case{UpgradeState::eraseFirmware, &protocol::RequestBlock::eraseDone},
                        Case{UpgradeState::writeFirmware, &protocol::RequestBlock::keyFirmwareDone},
                        Case{UpgradeState::eraseData, &protocol::RequestBlock::dataEraseDone},
                        Case{UpgradeState::clearMark, &protocol::RequestBlock::markDone}}) {
    SCOPED_TRACE(stateNumber(c.state));
    SequencerRig r;
    r.runTo(c.state);
    (r.block.*c.done).set(protocol::kJobRefused);
    EXPECT_EQ(r.watch(kIdStatus, T(kTextImpossible), "", 13), "1111111111000");
    EXPECT_EQ(r.view.text(kIdExit), " ");
    EXPECT_EQ(r.state(), c.state);
    EXPECT_EQ(r.status().exitLocked, 0);
    r.seq.guardedExit(true);
    EXPECT_EQ(r.status().finishMode, FinishMode::exitAsked);
  }
}

// Whatever the mode, a key found in its booter gets its firmware restored first (it runs its
// booter already: no entry), then a second pass from the package that keeps the first choice
// and goes from PROCEED straight to the data area.
TEST(UpgradeStatesTableTest, BooterKeyGetsASecondPassThatKeepsTheFirstChoice) {
  for (UpgradeOption mode : {UpgradeOption::only, UpgradeOption::always, UpgradeOption::never}) {
    SCOPED_TRACE(int(mode));
    SequencerRig r;
    r.mode = mode;
    r.keyIdentity = booterIdentity();
    r.runTo(UpgradeState::awaitChoice);
    r.answerKeyRead(booterIdentity());
    EXPECT_EQ(r.view.text(kIdKeyColumn), "BOOTER");
    r.runTo(UpgradeState::proceed);
    r.tick();
    ASSERT_EQ(r.state(), UpgradeState::eraseFirmware);
    EXPECT_EQ(r.block.enterBooterRequest.get(), 0);
    r.runTo(UpgradeState::checkPackage);
    EXPECT_EQ(r.status().booterPasses, 2);

    r.tick();  // state 0 of the second pass
    EXPECT_EQ(r.status().selectedOption, mode);
    for (const UpgradeMode& m : kUpgradeModes) {
      EXPECT_EQ(r.view.control(m.checkBox).checked, m.option == mode);
      EXPECT_FALSE(r.view.control(m.checkBox).enabled);
    }
    r.runTo(UpgradeState::awaitChoice);
    r.tick();  // no click: the choice stands
    EXPECT_EQ(r.state(), UpgradeState::proceed);
    r.tick();
    EXPECT_EQ(r.state(), UpgradeState::eraseData);
    EXPECT_EQ(r.block.enterBooterRequest.get(), 0);
  }
}

// Steps the worker through the phases of the component write, three ticks each (so each is
// seen in an on-phase of the blink); returns the bar of each from its change of phase on.
std::vector<std::vector<int>> componentPhases(SequencerRig& r,
                                              const std::vector<std::uint8_t>& phases) {
  r.runTo(UpgradeState::writeRegions);
  r.view.statusLog.clear();
  std::vector<std::vector<int>> bars;
  for (std::uint8_t phase : phases) {
    r.block.regionsDone.set(phase);
    r.view.progressLog.clear();
    r.tick(3);
    bars.push_back({r.view.progressLog.begin() + 1, r.view.progressLog.end()});
  }
  return bars;
}

TEST_F(UpgradeStatesTest, ComponentPhasesShowTheirTextsAndRestartTheBar) {
  const std::vector<std::vector<int>> bars =
      componentPhases(*this, {0, 25, 20, 21, 22, 23, 24, 26});
  // bar +6 and back to 0 at the change of phase, then +6 a tick
  EXPECT_EQ(bars, std::vector<std::vector<int>>(8, {0, 6, 12}));
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
  mode = UpgradeOption::never;
  componentPhases(*this, {0, 25, 20, 26});
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextErasingComponents)});
  EXPECT_EQ(block.upgradeOption.get(), 3);
}

TEST_F(UpgradeStatesTest, ComponentWriteRefusedStaysOnTheCopyError) {
  runTo(UpgradeState::writeRegions);
  view.statusLog.clear();
  block.regionsDone.set(protocol::kJobRefused);
  tick(15);
  EXPECT_EQ(state(), UpgradeState::writeRegions);
  EXPECT_EQ(view.statusLog, std::vector<std::string>{T(kTextCopyError)});
  EXPECT_TRUE(seq.failureReached());
}

// A key whose last identity read found it no longer running its firmware is not asked for the
// components at all. (The worker writes the identity only when asked; here the test writes it
// as a worker that read the key again would.)
TEST_F(UpgradeStatesTest, KeyNotRunningItsFirmwareIsNotAskedForTheComponents) {
  runTo(UpgradeState::writeRegions);
  block.identity = booterIdentity();
  tick();
  EXPECT_EQ(block.regionsRequest.get(), 0);
  EXPECT_EQ(view.text(kIdStatus), T(kTextCopyError));
  EXPECT_TRUE(seq.failureReached());
}

TEST(UpgradeStatesTableTest, ReadBackEndsInTheReportOrTheFailure) {
  protocol::KeyIdentity otherBooter = booterIdentity();
  usb::putLe32(otherBooter, 4, 5);
  struct Case {
    const char* what;
    protocol::KeyIdentity identity;
    bool secondPass;  // the key was found in its booter and its firmware restored first
    UpgradeState next;
  };
  const Case cases[] = {
      {"firmware", firmwareIdentity(), false, UpgradeState::finalReport},
      {"firmware after a second pass", firmwareIdentity(), true, UpgradeState::finalReport},
      // Here it is a failure, not the error stop.
      {"booter of another kind", otherBooter, false, UpgradeState::failed},
      // The key fell back to its booter: no success to report.
      {"booter", booterIdentity(), false, UpgradeState::failed},
      {"booter after a second pass", booterIdentity(), true, UpgradeState::failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    if (c.secondPass) r.keyIdentity = booterIdentity();
    r.runTo(UpgradeState::readBack);
    EXPECT_EQ(r.status().booterPasses, c.secondPass ? 2 : 0);
    r.answerKeyRead(c.identity);
    EXPECT_EQ(r.state(), c.next);
  }
}

TEST(UpgradeStatesTableTest, ReadBackComparesEveryStoredHeadAndTheKeysFirmwareVersion) {
  using Names = std::vector<std::string>;
  using protocol::RequestBlock;
  struct Case {
    const char* what;
    UpgradeOption mode;
    std::function<void(RequestBlock&)> keyHolds;  // what the key reads back other than sent
    Names differing;
  };
  using enum UpgradeOption;
  const Case cases[] = {
      {"what was sent", only, [](RequestBlock&) {}, {}},
      {"another policy mark", always, [](RequestBlock& b) { b.componentHeads[0][7] = 1; }, {}},
      {"a byte of the logger firmware",
       only,
       [](RequestBlock& b) { b.componentHeads[0][0x10] = 1; },
       {"LAPSTER4 firmware"}},
      {"the last byte of two heads",
       always,
       [](RequestBlock& b) { b.componentHeads[7][255] = b.componentHeads[4][255] = 1; },
       {"LANG (display languages)", "Lps4 EXP"}},
      {"the key's firmware patch",
       only,
       [](RequestBlock& b) { b.identity[25] = 1; },
       {"MEMPOD firmware"}},
      {"the key's firmware date",
       only,
       [](RequestBlock& b) { b.identity[23] = 1; },
       {"MEMPOD firmware"}},
      {"anything under Never", never, [](RequestBlock& b) { b.componentHeads[1][0] = 1; }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    r.mode = c.mode;
    r.runTo(UpgradeState::readBack);
    c.keyHolds(r.block);  // the versions job's heads; the identity as the key read answers it
    const protocol::KeyIdentity read = r.block.identity;
    r.answerKeyRead(read);
    EXPECT_EQ(r.seq.readBackDifferences(), c.differing);
    EXPECT_EQ(r.seq.failureReached(), !c.differing.empty());
    if (c.differing.empty()) {
      EXPECT_EQ(r.state(), UpgradeState::finalReport);
    } else {
      EXPECT_EQ(r.state(), UpgradeState::readBack);
      EXPECT_EQ(r.view.statusLog.back(), T(kTextCopyError));
    }
  }
}

}  // namespace
}  // namespace flashwell::sequencer::tests
