#pragma once

// Numbers of the texts that the sequencer and the dialog show, the same in every language.

#include <cstdint>

namespace flashwell::sequencer {

inline constexpr std::uint16_t kTextCaptionPrefix = 101;  // "UPDATE for  "
inline constexpr std::uint16_t kTextExit = 102;           // "E X I T"
inline constexpr std::uint16_t kTextExiting = 106;        // "EXITING..."
inline constexpr std::uint16_t kTextLabels = 107;         // the label column
inline constexpr std::uint16_t kTextCorrupted = 120;
inline constexpr std::uint16_t kTextStartingBooter = 124;
inline constexpr std::uint16_t kTextNotApplicable = 125;
inline constexpr std::uint16_t kTextImpossible = 131;
inline constexpr std::uint16_t kTextErasingFirmware = 133;
inline constexpr std::uint16_t kTextUpdatingFirmware = 134;
inline constexpr std::uint16_t kTextCongratulations = 137;
inline constexpr std::uint16_t kTextNoUpgrade = 139;
inline constexpr std::uint16_t kTextErasingData = 140;  // also the base of the phase texts
inline constexpr std::uint16_t kTextBooterNotice = 152;
inline constexpr std::uint16_t kTextCopyError = 171;
inline constexpr std::uint16_t kTextErasingComponents = 172;
inline constexpr std::uint16_t kTextProceed = 180;
inline constexpr std::uint16_t kTextModePrompt = 181;
inline constexpr std::uint16_t kTextOnly = 182;
inline constexpr std::uint16_t kTextAlways = 183;
inline constexpr std::uint16_t kTextNever = 184;
inline constexpr std::uint16_t kTextConnectPrompt = 187;
inline constexpr std::uint16_t kTextEraseQuestion = 188;

}  // namespace flashwell::sequencer
