#include "tools/cli/run_phases.h"

#include "protocol/upgrade_option.h"

#include "catalogue/cp1252.h"
#include "protocol/key_records.h"
#include "protocol/request_block.h"
#include "sequencer/text_ids.h"

namespace flashwell::cli {

namespace {

using sequencer::UpgradeState;

// The worker's phase values while it writes the components, in the order it writes them.
struct ComponentName {
  std::uint8_t phase;
  const char* id;
};
constexpr ComponentName kComponents[] = {
    {25, "booter"}, {20, "lapster4"}, {21, "languages"}, {22, "zunit"},
    {23, "lambda"}, {24, "gps"},      {26, "lps4-exp"},
};

// The steps that are one phase each, whatever else the run holds.
struct StepPhase {
  UpgradeState state;
  const char* id;
};
constexpr StepPhase kStepPhases[] = {
    {UpgradeState::connect, "wait-key"},
    {UpgradeState::readKey, "read-key"},
    {UpgradeState::eraseFirmware, "firmware-erase"},
    {UpgradeState::writeFirmware, "firmware-write"},
    {UpgradeState::leaveBooter, "booter-leave"},
    {UpgradeState::eraseData, "data-erase"},
    {UpgradeState::clearMark, "mark"},
    {UpgradeState::readBack, "read-back"},
};

std::optional<Phase> stepPhase(UpgradeState state) {
  for (const StepPhase& s : kStepPhases) {
    if (s.state == state) return Phase{s.id, {}};
  }
  return std::nullopt;
}

const char* componentOf(std::uint8_t phase) {
  for (const ComponentName& c : kComponents) {
    if (c.phase == phase) return c.id;
  }
  return nullptr;
}

// The text the window shows for the step; none for a step without one.
std::optional<std::uint16_t> textIdOf(const Phase& p,
                                      std::optional<protocol::UpgradeOption> option) {
  using namespace sequencer;
  if (p.id == "wait-key") return kTextConnectPrompt;
  if (p.id == "booter-entry") return kTextStartingBooter;
  if (p.id == "firmware-erase") return kTextErasingFirmware;
  if (p.id == "firmware-write" || p.id == "booter-leave" || p.id == "mark") {
    return kTextUpdatingFirmware;
  }
  if (p.id == "data-erase") return kTextErasingData;
  if (p.id == "component") {
    if (option && !protocol::writesOf(*option).components) return kTextErasingComponents;
    for (const ComponentName& c : kComponents) {
      if (c.id == p.component) return phaseText(c.phase);
    }
  }
  if (p.id == "exit") return kTextExiting;
  return std::nullopt;
}

}  // namespace

std::optional<Phase> phaseOf(const sequencer::RunStatus& f) {
  // The error stop is a failure display; EXIT then ends the run at once.
  if (f.finishMode == sequencer::FinishMode::errorStop) return std::nullopt;
  if (f.finishMode != sequencer::FinishMode::running) return Phase{"exit", {}};
  switch (f.state) {
    case UpgradeState::proceed:
      // Under a mode that leaves the key's firmware ("Never"), or with the booter running
      // already, the step leads elsewhere at once.
      if (!f.selectedOption || !protocol::writesOf(*f.selectedOption).keyFirmware ||
          f.booterPasses != 0) {
        return std::nullopt;
      }
      return Phase{"booter-entry", {}};
    case UpgradeState::writeRegions:
      if (const char* component = componentOf(f.lastRegionsPhase)) {
        return Phase{"component", component};
      }
      return std::nullopt;
    default:
      return stepPhase(f.state);
  }
}

FailureDisplay failureIn(UpgradeState state) {
  switch (state) {
    case UpgradeState::notApplicable:
      return {"not-applicable", sequencer::kTextNotApplicable};
    case UpgradeState::corrupted:
      return {"corrupted", sequencer::kTextCorrupted};
    case UpgradeState::writeRegions:
    case UpgradeState::readBack:  // the key holds other bytes than were sent
      return {"copy-failed", sequencer::kTextCopyError};
    default:
      return {"impossible", sequencer::kTextImpossible};
  }
}

std::string PhaseWatch::textOf(const Phase& phase) {
  const auto id = textIdOf(phase, dialog_.status().selectedOption);
  return id ? catalogue::cp1252ToUtf8(dialog_.text(*id)) : std::string();
}

void PhaseWatch::afterTick() {
  if (const std::optional<Phase> now = phaseOf(dialog_.status()); now && now != last_) {
    last_ = now;
    output_.phase(*now, textOf(*now));
  }
  if (dialog_.failureReached() && !failureTold_) {
    failureTold_ = true;
    const FailureDisplay failure = failureIn(dialog_.status().state);
    output_.error(failure.code, catalogue::cp1252ToUtf8(dialog_.text(failure.textId)));
  }
}

}  // namespace flashwell::cli
