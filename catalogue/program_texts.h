#pragma once

// The texts that the program adds to those of the firmware package: the labels of the headless
// flasher, its `info` line, the notices about access to the key, the replay's lines, and the
// lines about signals, shutdown and waiting for the key. One row per text, in the six languages
// of the package's tables, chosen by the same language number. Unlike the package's texts they
// are UTF-8; "%1", "%2", "%3" stand for the values that `fillIn` puts in.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace flashwell::catalogue {

enum class ProgramText : std::uint8_t {
  // Labels of the headless flasher's plain lines.
  questionLabel,  // "question:"
  answerLabel,    // "answer:"
  yes,            // "Yes"
  no,             // "No"
  statusLabel,    // "status:"
  messageLabel,   // "message:"
  // The `info` line: "key: %1, %2, mark %3" with one of the program and one of the packet texts.
  keyInfoLine,
  firmwareRunning,
  booterRunning,
  programRunning,  // "program %1 running"
  largePacketKey,
  smallPacketKey,
  // The system refuses access to the key: on the console (%1 the path), in the Linux window
  // (%1 the path, %2 the udev rule's file name) and in the Windows window (%1 the path).
  consoleAccessDenied,
  windowAccessDenied,
  windowsAccessDenied,
  // Why the key could not be claimed (%1 the USB library's reason).
  keyNotConfigured,
  kernelDriverHoldsKey,
  // A replay that leaves its log.
  replayDiffers,
  replayDiffersAtLine,  // %1 the log's line
  replayRecorded,
  replaySent,
  // Signals while the key's firmware is written, the reason that holds off shutdown and sleep,
  // and the waits for the key.
  signalHeld,
  signalRepeated,
  shutdownBlocked,
  noKeyFound,
  waitingForKey,
  // The key holds other bytes than were sent (%1 the components, by name).
  readBackDiffers,
};

inline constexpr std::size_t kProgramTextCount =
    static_cast<std::size_t>(ProgramText::readBackDiffers) + 1;
inline constexpr std::size_t kProgramLanguages = 6;

// The language number that the package's texts follow for a system locale: the locale table's
// number when the package has a table of that language (Italian, German, Spanish, French,
// Dutch), English otherwise.
std::uint16_t chosenLanguage(std::span<const std::uint8_t> localeTable, std::uint32_t lcid);

// The text in the language of that number; English for a number without a table of its own.
std::string_view programText(ProgramText id, std::uint16_t languageNumber);

// The text with "%1", "%2", ... replaced by the values in order; a placeholder without a value
// stays as it is.
std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values);

// The two-letter ISO 639-1 code of the language ("en", "it", "de", "fr", "es", "nl").
std::string_view languageCode(std::uint16_t languageNumber);

// The language numbers of the six tables, in the tables' order.
std::span<const std::uint16_t, kProgramLanguages> programLanguages();

}  // namespace flashwell::catalogue
