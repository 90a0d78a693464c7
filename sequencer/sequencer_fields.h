#pragma once

// The sequencer's fields, members of the main dialog, in the dialog's order.

#include <cstdint>
#include <string>

namespace flashwell::sequencer {

// finishMode values.
inline constexpr std::uint8_t kRunning = 0;
inline constexpr std::uint8_t kExitAsked = 1;
inline constexpr std::uint8_t kAwaitFirmware = 2;  // waiting for the key to leave its booter
inline constexpr std::uint8_t kStopWorker = 3;
inline constexpr std::uint8_t kErrorStop = 85;

// Results of readKeyStep.
inline constexpr std::uint8_t kKeyReading = 0;
inline constexpr std::uint8_t kKeyReady = 1;
inline constexpr std::uint8_t kKeyUnusable = 2;
inline constexpr std::uint8_t kKeyWrongKind = 3;

// Value of lastRegionsPhase before any phase was seen.
inline constexpr std::uint8_t kNoPhase = 0xFF;

struct SequencerFields {
  std::uint32_t finishTicks = 0;  // ticks left while waiting for the key to leave its booter
  std::uint8_t imageComplete = 0;
  std::string keyColumnText;  // what static 1106 was last given from the key's versions
  std::string resultMessage;
  std::uint16_t state = 0;
  std::uint16_t keyReadStep = 0;  // 0, 330, 331 or 332
  std::uint16_t proceedStarted = 0;
  std::uint8_t exitLocked = 0;  // EXIT and close ignored while 1
  std::uint8_t blinkPhase = 0;  // 1 on-phase, 0 off-phase
  std::uint8_t blinkTicks = 0;
  std::uint8_t finishMode = kRunning;
  std::int32_t progressPos = 0;
  std::uint8_t selectedOption = 0;  // 0 none, 1 Only, 2 Always, 3 Never
  std::uint8_t booterPasses = 0;
  std::uint8_t connectPromptDelay = 0;
  std::uint8_t lastRegionsPhase = kNoPhase;
};

}  // namespace flashwell::sequencer
