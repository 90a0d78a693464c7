// EXIT while the key is being put into its booter, at every tick from the erase question to the
// firmware erase, and the run that follows on the same key; PROCEED pressed again after Yes.

#include <gtest/gtest.h>

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::scenarios {
namespace {

using support::UpgradeRun;

using namespace sequencer;

constexpr int kEnoughTicks = 5000;

void expectUnchanged(const emulator::KeyImage& before, const emulator::VirtualKey& key) {
  EXPECT_EQ(key.program(), emulator::KeyProgram::firmware) << "the key was left in its booter";
  EXPECT_EQ(key.image().firmwareArea, before.firmwareArea);
  EXPECT_EQ(key.image().regions, before.regions);
  EXPECT_EQ(key.image().configuration, before.configuration);
}

TEST(ExitDuringTheBooterEntry, LeavesTheKeyAsFoundAndTheNextNeverRunWritesNothing) {
  int exitsAfterTheRestart = 0;
  bool reachedTheLock = false;
  for (int at = 0; !reachedTheLock; ++at) {
    SCOPED_TRACE("EXIT " + std::to_string(at) + " ticks after Yes");
    UpgradeRun s;
    const emulator::KeyImage found = s.key->image();
    s.choose(protocol::UpgradeOption::only);
    int ticksAfterYes = -1;
    bool pressed = false;
    UpgradeState pressedIn = UpgradeState::checkPackage;
    ASSERT_TRUE(s.run(kEnoughTicks, [&] {
      if (pressed || s.dialog->block().upgradeOption.get() == 0 || ++ticksAfterYes < at) return;
      pressed = true;
      pressedIn = s.state();
      s.dialog->OnExit();
      reachedTheLock = s.finishMode() == flashwell::sequencer::FinishMode::running;
    }));
    ASSERT_TRUE(pressed);
    if (reachedTheLock) {
      // EXIT is locked from the first tick of the firmware erase on: the upgrade ran through,
      // and its writes are what the checks below look for.
      EXPECT_EQ(pressedIn, UpgradeState::eraseFirmware);
      EXPECT_FALSE(s.keyWrites().empty());
      EXPECT_EQ(s.view.messageBoxes.back().text, s.text(kTextCongratulations));
      break;
    }
    // Up to the tick that sees the booter answer: the erase has not run yet and EXIT still works.
    EXPECT_TRUE(pressedIn == UpgradeState::awaitChoice || pressedIn == UpgradeState::proceed ||
                pressedIn == UpgradeState::eraseFirmware)
        << stateNumber(pressedIn);
    // A key sent back to its firmware is off the bus for a while and may still be when the
    // program ends; it comes back by itself, which the emulated driver applies at its next call.
    s.driver->keyPresent();
    if (s.traceHasRestart()) ++exitsAfterTheRestart;
    EXPECT_EQ(s.keyWrites(), std::vector<std::string>{});
    EXPECT_EQ(*s.view.endResult, kEndOrderly);
    expectUnchanged(found, *s.key);

    // The next run, with "Never", finds a key that runs its firmware and leaves it alone.
    UpgradeRun next(s.key->image());
    next.choose(protocol::UpgradeOption::never);
    ASSERT_TRUE(next.run(kEnoughTicks));
    EXPECT_EQ(next.keyWrites(), std::vector<std::string>{});
    ASSERT_EQ(next.view.messageBoxes.size(), 1u);
    EXPECT_EQ(next.view.messageBoxes[0].text, next.text(kTextNoUpgrade));
  }
  EXPECT_TRUE(reachedTheLock);
  // The sweep went through the restart and the key's return, not only the ticks before them.
  EXPECT_GT(exitsAfterTheRestart, 10);
}

TEST(SecondProceed, RightAfterYesIsIgnored) {
  UpgradeRun s;
  s.choose(protocol::UpgradeOption::only);
  // Were the question asked again, this "No" would start the exit under the upgrade.
  s.view.answers.push_back(MessageBoxAnswer::no);
  bool again = false;
  ASSERT_TRUE(s.run(kEnoughTicks, [&] {
    if (again || s.dialog->block().upgradeOption.get() == 0) return;
    again = true;
    ASSERT_TRUE(s.view.control(kIdProceed).enabled);
    s.dialog->OnProceed();
  }));
  ASSERT_TRUE(again);
  ASSERT_EQ(s.view.messageBoxes.size(), 2u);
  EXPECT_EQ(s.view.messageBoxes[0].text, s.text(kTextEraseQuestion));
  EXPECT_EQ(s.view.messageBoxes[1].text, s.text(kTextCongratulations));
  EXPECT_EQ(s.finishModes, (std::vector<flashwell::sequencer::FinishMode>{
                               flashwell::sequencer::FinishMode::running,
                               flashwell::sequencer::FinishMode::exitAsked,
                               flashwell::sequencer::FinishMode::awaitFirmware,
                               flashwell::sequencer::FinishMode::stopWorker}));
}

}  // namespace
}  // namespace flashwell::scenarios
