// The displays: reset of a pass, the blinking prompts and status line.

#include "sequencer/text_ids.h"
#include "sequencer_fixture.h"

namespace flashwell::sequencer::tests {
namespace {

// The status line blinks with the state; the EXIT caption blinks with it on the failure
// display only.
TEST(SequencerDisplaysTest, StatusLineBlinksAndSoDoesTheExitCaptionWhenAsked) {
  struct Case {
    const char* what;
    std::uint16_t status;
    bool exitBlinks;
  };
  for (const Case& c : {Case{"firmware erase under way", kTextErasingFirmware, false},
                        Case{"firmware erase refused", kTextImpossible, true}}) {
    SCOPED_TRACE(c.what);
    SequencerRig r;
    r.runTo(UpgradeState::eraseFirmware);
    if (c.exitBlinks) r.block.eraseDone.set(protocol::kJobRefused);
    std::string exitCaptions;
    const std::string seen = r.watch(kIdStatus, T(c.status), "", 1);
    for (int i = 0; i < 25; ++i) {
      exitCaptions += r.view.text(kIdExit) == T(kTextExit) ? '1'
                      : r.view.text(kIdExit) == " "        ? '0'
                                                           : '?';
      EXPECT_EQ(r.view.text(kIdStatus), i % 13 < 10 ? T(c.status) : "") << i;
      r.tick();
    }
    EXPECT_EQ(seen, "1");
    EXPECT_EQ(exitCaptions, c.exitBlinks ? "1111111111000111111111100" : std::string(25, '1'));
  }
}

// Ticks of a state without a key: which of them write the connect prompt into static 1106.
std::string connectPromptTicks(SequencerRig& r, int ticks) {
  std::string out;
  for (int i = 0; i < ticks; ++i) {
    const int before = r.view.control(kIdKeyColumn).textWrites;
    r.tick();
    const bool written = r.view.control(kIdKeyColumn).textWrites != before;
    out += !written ? '.' : r.view.text(kIdKeyColumn).empty() ? '_' : 'P';
  }
  return out;
}

TEST_F(SequencerTest, ConnectPromptFromTheThirdOnTickOn) {
  tick();  // state 0 (its first on-tick counts nothing: it does not refresh the prompts)
  const std::string seen = connectPromptTicks(*this, 40);
  // State 1 from an on-phase: on-ticks 1 and 2 only count, from the third on the prompt shows;
  // off-ticks blank the column.
  EXPECT_EQ(seen.substr(0, 13), "..PPPPPPPP___");
  EXPECT_EQ(seen.substr(13, 13), "PPPPPPPPPP___");

  // The delay is not counted again in a later pass: a key found in its booter, whose firmware
  // is restored, is searched for again when it restarts.
  keyIdentity = booterIdentity();
  runTo(UpgradeState::leaveBooter);
  runTo(UpgradeState::awaitStart);
  ASSERT_EQ(status().booterPasses, 2);
  block.connected.set(0);
  EXPECT_EQ(connectPromptTicks(*this, 3), "PPP");
}

TEST_F(SequencerTest, ConnectedKeyNeverGetsTheConnectPrompt) {
  block.connected.set(1);
  tick();
  EXPECT_EQ(connectPromptTicks(*this, 40), std::string(40, '.'));
}

TEST_F(SequencerTest, AfterProceedTheColumnIsOnlyBlankedWhileTheKeyIsAway) {
  tick();
  connectPromptTicks(*this, 4);  // the delay is counted out
  runTo(UpgradeState::leaveBooter);
  block.connected.set(0);  // the key restarts into its firmware
  EXPECT_EQ(connectPromptTicks(*this, 13), "..........___");
}

TEST_F(SequencerTest, ModePromptBlinksUntilAModeIsTicked) {
  tick();
  EXPECT_EQ(watch(kIdModePrompt, T(kTextModePrompt), "", 13), "1111111111000");

  seq.chooseMode(UpgradeOption::only);
  const int writes = view.control(kIdModePrompt).textWrites;
  tick(26);
  EXPECT_EQ(view.control(kIdModePrompt).textWrites, writes);
  EXPECT_EQ(view.text(kIdModePrompt), T(kTextModePrompt));
  EXPECT_FALSE(view.control(kIdModePrompt).enabled);
}

TEST_F(SequencerTest, BeginSetsTheCaptionsAndTheBar) {
  seq.begin();
  EXPECT_EQ(package.languageChoices, 1);
  EXPECT_EQ(view.progressMin, 0);
  EXPECT_EQ(view.progressMax, 1000);
  EXPECT_EQ(view.progressLog, std::vector<int>{0});
  EXPECT_EQ(view.text(kIdExit), T(kTextExit));
  EXPECT_TRUE(view.control(kIdExit).enabled);
  EXPECT_EQ(view.text(kIdProceed), T(kTextProceed));
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  EXPECT_EQ(view.text(kIdModePrompt), T(kTextModePrompt));
  EXPECT_EQ(view.text(kIdOnly), T(kTextOnly));
  EXPECT_EQ(view.text(kIdAlways), T(kTextAlways));
  EXPECT_EQ(view.text(kIdNever), T(kTextNever));
  EXPECT_EQ(status().finishMode, FinishMode::running);
  EXPECT_FALSE(status().selectedOption);
}

// The second pass, after a key's firmware was restored from its booter, starts over from the
// package: the requests of the pass before are lowered, the rest stands.
TEST_F(SequencerTest, SecondPassResetsTheDisplaysAndLowersTheRequestsOfTheFirst) {
  keyIdentity = booterIdentity();
  mode = UpgradeOption::always;
  tick();
  runTo(UpgradeState::checkPackage);
  ASSERT_EQ(status().booterPasses, 2);
  view.enable(kIdProceed, true);
  view.setText(kIdExit, "blank");
  for (const protocol::SharedByte* b :
       {&block.connectRequest, &block.identityRequest, &block.eraseRequest,
        &block.keyFirmwareRequest, &block.leaveBooterRequest, &block.upgradeOption}) {
    ASSERT_NE(b->get(), 0);
  }

  tick();

  EXPECT_EQ(package.languageChoices, 2);
  EXPECT_EQ(view.progressMax, 1000);
  EXPECT_EQ(view.progressPos, 0);
  EXPECT_EQ(status().finishMode, FinishMode::running);
  EXPECT_EQ(status().exitLocked, 0);
  EXPECT_EQ(status().proceedStarted, 0);
  EXPECT_EQ(status().booterPasses, 2);
  EXPECT_EQ(status().selectedOption, UpgradeOption::always);
  for (const protocol::SharedByte* b :
       {&block.exitRequest, &block.connectRequest, &block.identityRequest,
        &block.enterBooterRequest, &block.eraseRequest, &block.keyFirmwareRequest,
        &block.leaveBooterRequest}) {
    EXPECT_EQ(b->get(), 0);
  }
  EXPECT_EQ(block.upgradeOption.get(), protocol::optionByte(UpgradeOption::always));
  EXPECT_EQ(block.startRequest.get(), 1);
  EXPECT_EQ(view.text(kIdExit), T(kTextExit));
  EXPECT_TRUE(view.control(kIdExit).enabled);
  EXPECT_FALSE(view.control(kIdProceed).enabled);
  EXPECT_EQ(view.text(kIdModePrompt), T(kTextModePrompt));
  EXPECT_EQ(view.text(kIdAlways), T(kTextAlways));
  // What a pass leaves as it was: the ticked box, the prompt disabled by the choice, the key's
  // column.
  EXPECT_TRUE(view.control(kIdAlways).checked);
  EXPECT_FALSE(view.control(kIdModePrompt).enabled);
  EXPECT_EQ(view.text(kIdKeyColumn), "BOOTER");
}

}  // namespace
}  // namespace flashwell::sequencer::tests
