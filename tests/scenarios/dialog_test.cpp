// The dialog itself: its initialisation, and the worker thread that it owns.

#include <gtest/gtest.h>

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tests/support/upgrade_run.h"

namespace flashwell::scenarios {
namespace {

using support::UpgradeRun;

using namespace sequencer;

TEST(Dialog, InitialisationOpensThePackageAndStartsTheTimer) {
  UpgradeRun s;
  EXPECT_EQ(s.view.caption, s.text(kTextCaptionPrefix) + "LAPSTER4");
  // The image column is written once at opening, with its rows still empty.
  EXPECT_EQ(s.view.control(kIdToolColumn).textWrites, 1);
  EXPECT_EQ(s.shown(kIdToolColumn).find_first_not_of(" \n"), std::string::npos);
  EXPECT_EQ(s.shown(kIdExit), s.text(kTextExit));
  EXPECT_FALSE(s.view.control(kIdProceed).enabled);
  EXPECT_EQ(s.view.progressMax, 1000);
  ASSERT_TRUE(s.view.timerSet(kTimerId));
  EXPECT_EQ(s.view.timers[kTimerId], kTimerPeriodMs);
  const protocol::RequestBlock& b = s.dialog->block();
  EXPECT_NE(b.imageBase, nullptr);
  EXPECT_EQ(b.imageSize, support::embeddedPackageCopy().size());
  EXPECT_EQ(b.startRequest.get(), 0);
  EXPECT_EQ(s.finishMode(), flashwell::sequencer::FinishMode::running);
  EXPECT_EQ(s.dialog->mainIcon(), 128);
}

TEST(Dialog, LanguageFollowsTheSystemLocale) {
  struct Case {
    std::uint32_t lcid;
    const char* exitCaption;
  };
  for (const Case& c :
       {Case{0x0C0A, "TERMINA"}, Case{0x0409, "E X I T"}, Case{0x0411, "E X I T"}}) {
    UpgradeRun s("fresh", {.lcid = c.lcid});
    EXPECT_EQ(s.shown(kIdExit), c.exitCaption) << std::hex << c.lcid;
  }
}

TEST(Dialog, DestroyedWhileItsWorkerWaitsForAKeyStopsTheWorkerFirst) {
  UpgradeRun s;
  s.pullKey();
  ASSERT_FALSE(s.run(100));
  EXPECT_EQ(s.state(), UpgradeState::connect);
  // Without a stop the join would wait for ever: the worker looks for the key without end.
  s.dialog.reset();
  EXPECT_EQ(s.driver->openHandles(), 0u);
}

TEST(Dialog, ErrorStopEndsAtOnceOnExitCloseOrEscape) {
  for (int how = 0; how < 3; ++how) {
    std::vector<std::uint8_t> package = support::embeddedPackageCopy();
    package[0x100] = 99;  // a model that the tool does not serve
    UpgradeRun s("fresh", {.package = package});
    ASSERT_EQ(s.finishMode(), flashwell::sequencer::FinishMode::errorStop);
    s.run(5);
    if (how == 0) s.dialog->OnExit();
    if (how == 1) s.dialog->OnClose();
    if (how == 2) s.dialog->OnEscape();
    ASSERT_TRUE(s.view.ended()) << how;
    EXPECT_EQ(*s.view.endResult, kEndAtOnce);
  }
}

}  // namespace
}  // namespace flashwell::scenarios
