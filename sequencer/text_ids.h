#pragma once

// Numbers of the texts that the sequencer and the dialog show, the same in every language.

#include <array>
#include <cstdint>
#include <optional>

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
inline constexpr std::uint16_t kTextErasingData = 140;
inline constexpr std::uint16_t kTextBooterNotice = 152;
// "Copying Firmware for ..." while one component is written.
inline constexpr std::uint16_t kTextCopyingLapster = 160;
inline constexpr std::uint16_t kTextCopyingLanguages = 161;
inline constexpr std::uint16_t kTextCopyingZunit = 162;
inline constexpr std::uint16_t kTextCopyingLambda = 163;
inline constexpr std::uint16_t kTextCopyingGps = 164;
inline constexpr std::uint16_t kTextCopyingBooter = 165;
inline constexpr std::uint16_t kTextCopyingExp = 166;
inline constexpr std::uint16_t kTextCopyError = 171;
inline constexpr std::uint16_t kTextErasingComponents = 172;
inline constexpr std::uint16_t kTextProceed = 180;
inline constexpr std::uint16_t kTextModePrompt = 181;
inline constexpr std::uint16_t kTextOnly = 182;
inline constexpr std::uint16_t kTextAlways = 183;
inline constexpr std::uint16_t kTextNever = 184;
inline constexpr std::uint16_t kTextConnectPrompt = 187;
inline constexpr std::uint16_t kTextEraseQuestion = 188;

// The status text while the component of a phase (the regions' done byte) is written, by the
// phase; none for a byte that is no phase.
struct PhaseText {
  std::uint8_t phase;
  std::uint16_t text;
};
inline constexpr std::array<PhaseText, 7> kPhaseTexts{{
    {20, kTextCopyingLapster},
    {21, kTextCopyingLanguages},
    {22, kTextCopyingZunit},
    {23, kTextCopyingLambda},
    {24, kTextCopyingGps},
    {25, kTextCopyingBooter},
    {26, kTextCopyingExp},
}};
constexpr std::optional<std::uint16_t> phaseText(std::uint8_t phase) {
  for (const PhaseText& p : kPhaseTexts) {
    if (p.phase == phase) return p.text;
  }
  return std::nullopt;
}

}  // namespace flashwell::sequencer
