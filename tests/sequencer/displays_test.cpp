// The displays: reset of a pass, the blinking prompts and status line.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

TEST_F(SequencerTest, StatusLineBlinksAndSoDoesTheExitCaptionWhenAsked) {
  f().blinkPhase = 0;
  seq.showStatus(kTextImpossible, true);
  EXPECT_EQ(view.text(kIdStatus), "");
  EXPECT_EQ(view.text(kIdExit), " ");
  f().blinkPhase = 1;
  seq.showStatus(kTextImpossible, true);
  EXPECT_EQ(view.text(kIdStatus), T(kTextImpossible));
  EXPECT_EQ(view.text(kIdExit), T(kTextExit));

  view.setText(kIdExit, "unchanged");
  seq.showStatus(kTextErasingData, false);
  f().blinkPhase = 0;
  seq.showStatus(kTextErasingData, false);
  EXPECT_EQ(view.text(kIdExit), "unchanged");

  f().blinkPhase = 7;  // no phase: nothing written
  const int writes = view.control(kIdStatus).textWrites;
  seq.showStatus(kTextErasingData, false);
  EXPECT_EQ(view.control(kIdStatus).textWrites, writes);
}

TEST_F(SequencerTest, ExitingTextUnlocksExit) {
  f().exitLocked = 1;
  seq.showStatus(kTextExiting, false);
  EXPECT_EQ(f().exitLocked, 0);
}

// Ticks of state 1 without a key: which of them write the connect prompt into static 1106.
std::string connectPromptTicks(Sequencer& seq, RecordingView& view, int ticks) {
  std::string out;
  for (int i = 0; i < ticks; ++i) {
    const int before = view.control(kIdKeyColumn).textWrites;
    seq.onTimer(kTimerId);
    const bool written = view.control(kIdKeyColumn).textWrites != before;
    out += !written ? '.' : view.text(kIdKeyColumn).empty() ? '_' : 'P';
  }
  return out;
}

TEST_F(SequencerTest, ConnectPromptFromTheThirdOnTickOn) {
  tick();  // state 0 (its first on-tick counts nothing: it does not refresh the prompts)
  const std::string seen = connectPromptTicks(seq, view, 40);
  // State 1 from an on-phase: on-ticks 1 and 2 only count, from the third on the prompt shows;
  // off-ticks blank the column.
  EXPECT_EQ(seen.substr(0, 13), "..PPPPPPPP___");
  EXPECT_EQ(seen.substr(13, 13), "PPPPPPPPPP___");
  EXPECT_EQ(f().connectPromptDelay, 2);

  // The delay is not counted again in later passes.
  seq.goToState(UpgradeState::checkPackage);
  tick();
  EXPECT_EQ(connectPromptTicks(seq, view, 3), "PPP");
}

TEST_F(SequencerTest, ConnectedKeyNeverGetsTheConnectPrompt) {
  block.connected.set(1);
  tick();
  EXPECT_EQ(connectPromptTicks(seq, view, 40), std::string(40, '.'));
}

TEST_F(SequencerTest, AfterProceedTheColumnIsOnlyBlankedWhileTheKeyIsAway) {
  f().connectPromptDelay = 2;
  f().proceedStarted = 1;
  seq.goToState(UpgradeState::awaitStart);
  EXPECT_EQ(connectPromptTicks(seq, view, 13), "..........___");
}

TEST_F(SequencerTest, ModePromptBlinksUntilAModeIsTicked) {
  tick();
  std::string seen;
  for (int i = 0; i < 13; ++i) {
    tick();
    seen += view.text(kIdModePrompt) == T(kTextModePrompt) ? 'P'
            : view.text(kIdModePrompt).empty()             ? '_'
                                                           : '?';
  }
  EXPECT_EQ(seen, "PPPPPPPPPP___");

  seq.chooseMode(UpgradeOption::only);
  const int writes = view.control(kIdModePrompt).textWrites;
  tick(26);
  EXPECT_EQ(view.control(kIdModePrompt).textWrites, writes);
  EXPECT_EQ(view.text(kIdModePrompt), T(kTextModePrompt));
  EXPECT_FALSE(view.control(kIdModePrompt).enabled);
}

TEST_F(SequencerTest, ResetDisplaySetsCaptionsAndLowersTheRequestsOfAPass) {
  view.setCheck(kIdNever, true);
  view.enable(kIdModePrompt, false);
  view.setText(kIdMarkOnly, "Key:");
  view.setText(kIdKeyColumn, "versions");
  view.enable(kIdProceed, true);
  f().finishMode = FinishMode::exitAsked;
  f().exitLocked = 1;
  f().selectedOption = UpgradeOption::always;
  f().finishTicks = 7;
  f().proceedStarted = 1;
  f().booterPasses = 1;
  f().progressPos = 300;
  for (protocol::SharedByte* b :
       {&block.exitRequest, &block.connectRequest, &block.identityRequest,
        &block.enterBooterRequest, &block.eraseRequest, &block.keyFirmwareRequest,
        &block.leaveBooterRequest, &block.upgradeOption, &block.startRequest,
        &block.versionsRequest, &block.dataEraseRequest, &block.regionsRequest,
        &block.markRequest}) {
    b->set(1);
  }

  seq.resetDisplay();

  EXPECT_EQ(package.languageChoices, 1);
  EXPECT_EQ(view.progressMin, 0);
  EXPECT_EQ(view.progressMax, 1000);
  EXPECT_EQ(view.progressPos, 0);
  EXPECT_EQ(f().finishMode, FinishMode::running);
  EXPECT_EQ(f().exitLocked, 0);
  EXPECT_FALSE(f().selectedOption);
  EXPECT_EQ(f().finishTicks, 0u);
  EXPECT_EQ(f().proceedStarted, 0);
  EXPECT_EQ(f().booterPasses, 1);
  for (const protocol::SharedByte* b :
       {&block.exitRequest, &block.connectRequest, &block.identityRequest,
        &block.enterBooterRequest, &block.eraseRequest, &block.keyFirmwareRequest,
        &block.leaveBooterRequest}) {
    EXPECT_EQ(b->get(), 0);
  }
  for (const protocol::SharedByte* b :
       {&block.upgradeOption, &block.startRequest, &block.versionsRequest, &block.dataEraseRequest,
        &block.regionsRequest, &block.markRequest}) {
    EXPECT_EQ(b->get(), 1);
  }
  EXPECT_EQ(view.text(kIdExit), T(kTextExit));
  EXPECT_TRUE(view.control(kIdExit).enabled);
  EXPECT_EQ(view.text(kIdProceed), T(kTextProceed));
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  EXPECT_EQ(view.text(kIdModePrompt), T(kTextModePrompt));
  EXPECT_EQ(view.text(kIdOnly), T(kTextOnly));
  EXPECT_EQ(view.text(kIdAlways), T(kTextAlways));
  EXPECT_EQ(view.text(kIdNever), T(kTextNever));
  // What a pass leaves as it was.
  EXPECT_TRUE(view.control(kIdNever).checked);
  EXPECT_FALSE(view.control(kIdModePrompt).enabled);
  EXPECT_EQ(view.text(kIdMarkOnly), "Key:");
  EXPECT_EQ(view.text(kIdKeyColumn), "versions");
}

}  // namespace
}  // namespace flashwell::sequencer::tests
