#pragma once

// The sequencer's fields, members of the main dialog: the part a shell may read of a run, and
// the sequencer's own working fields besides.

#include <cstdint>
#include <optional>
#include <string>

#include "protocol/upgrade_option.h"
#include "sequencer/upgrade_state.h"

namespace flashwell::sequencer {

// Value of lastRegionsPhase before any phase was seen.
inline constexpr std::uint8_t kNoPhase = 0xFF;

// Where a run stands, as the shells and the tests read it (Sequencer::status()); only the
// sequencer writes it.
struct RunStatus {
  UpgradeState state = UpgradeState::checkPackage;
  FinishMode finishMode = FinishMode::running;
  std::uint8_t exitLocked = 0;                            // EXIT and close ignored while 1
  std::optional<protocol::UpgradeOption> selectedOption;  // none until a mode is chosen
  std::uint8_t booterPasses = 0;
  std::uint16_t proceedStarted = 0;
  std::uint8_t lastRegionsPhase = kNoPhase;  // the worker's last phase while writing components
};

struct SequencerFields : RunStatus {
  std::uint32_t finishTicks = 0;  // ticks left while waiting for the key to leave its booter
  std::uint8_t imageComplete = 0;
  std::string keyColumnText;  // what static 1106 was last given from the key's versions
  std::string resultMessage;
  KeyReadStep keyReadStep = KeyReadStep::clear;
  std::uint8_t blinkPhase = 0;  // 1 on-phase, 0 off-phase
  std::uint8_t blinkTicks = 0;
  std::int32_t progressPos = 0;
  std::uint8_t connectPromptDelay = 0;
};

}  // namespace flashwell::sequencer
