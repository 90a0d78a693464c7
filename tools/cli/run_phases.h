#pragma once

// Where a run stands, by names that stay the same in every language, and the failure display
// it reached, by a code: what --json tells a script besides the status line's text.

#include <cstdint>
#include <optional>
#include <string>

#include "app/flashwell_dlg.h"
#include "sequencer/sequencer_fields.h"
#include "tools/cli/run_output.h"

namespace flashwell::cli {

// The step of the run for this status; none between steps (the package check, the choice of
// the mode, the final report, a failure display).
std::optional<Phase> phaseOf(const sequencer::RunStatus& status);

// The failure display's code and text number for a run that reached one in `state`.
struct FailureDisplay {
  const char* code;
  std::uint16_t textId;
};
FailureDisplay failureIn(sequencer::UpgradeState state);

// Tells the output each new phase, and the first failure display once, after every tick.
class PhaseWatch {
 public:
  PhaseWatch(app::CFlashwell_02Dlg& dialog, RunOutput& output) : dialog_(dialog), output_(output) {}
  void afterTick();

 private:
  std::string textOf(const Phase& phase);

  app::CFlashwell_02Dlg& dialog_;
  RunOutput& output_;
  std::optional<Phase> last_;
  bool failureTold_ = false;
};

}  // namespace flashwell::cli
