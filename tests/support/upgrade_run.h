#pragma once

// One whole run of the program in tests, in simulated time: the dialog on a recording view, the
// real worker thread, the virtual key behind the emulated driver, and the user of dialog_run.h.
//
//   UpgradeRun run("fresh");
//   run.pullKey();
//   run.choose(protocol::UpgradeOption::only);  // and Yes to the erase question
//   ASSERT_FALSE(run.run(50));  // the prompt for the key
//   run.plugKey();
//   ASSERT_TRUE(run.run(5000));
//   EXPECT_EQ(run.view.messageBoxes.back().text, run.text(kTextCongratulations));

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/flashwell_dlg.h"
#include "catalogue/system_locale.h"
#include "sequencer/recording_view.h"
#include "sequencer/upgrade_state.h"
#include "tests/support/dialog_run.h"
#include "tests/support/key_bench.h"
#include "tests/support/state_print.h"
#include "tests/support/test_packages.h"

namespace flashwell::support {

struct RunOptions {
  std::vector<std::uint8_t> package = embeddedPackageCopy();
  std::uint32_t lcid = 0x0409;
  bool keepTrace = true;
};

class UpgradeRun : public DialogRun {
 public:
  explicit UpgradeRun(std::string_view keyState = "fresh", RunOptions options = {});
  // A key as an earlier run left it.
  explicit UpgradeRun(emulator::KeyImage image, RunOptions options = {});
  ~UpgradeRun() override;

  bool ended() const override { return view.ended(); }
  // The text of that id in the run's language; a control's text as the view shows it.
  std::string text(std::uint16_t id) { return dialog->text(id); }
  const std::string& shown(int controlId) { return view.text(controlId); }

  catalogue::FixedSystemLocale locale;
  sequencer::RecordingView view;
  std::unique_ptr<app::CFlashwell_02Dlg> dialog;

 private:
  const app::CFlashwell_02Dlg& controller() const override { return *dialog; }
  bool fireTimer() override;
  std::size_t boxesShown() const override { return view.messageBoxes.size(); }
  // The handler of the control, as the window would call it.
  void click(int controlId) override;
  bool enabled(int controlId) override { return view.control(controlId).enabled; }
  bool checked(int controlId) override { return view.control(controlId).checked; }
  void answerNext(bool yes) override;
};

}  // namespace flashwell::support
