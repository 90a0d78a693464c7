#pragma once

// The lines that the program says by itself about stopping from outside the window (a signal,
// a closed output, the end of the session), in the language of the program's own texts.

#include <cstdint>
#include <string_view>

#include "catalogue/program_texts.h"
#include "catalogue/text_tables.h"

namespace flashwell::app {

enum class StopText {
  held,            // a stop asked while the key's firmware is being written
  alreadyHeld,     // a second one while the first is held
  keepAwakeReason  // why sleep and shutdown are held off during the upgrade
};

// UTF-8.
inline std::string_view stopText(StopText id,
                                 std::uint16_t languageNumber = catalogue::kLanguageEnglish) {
  using catalogue::ProgramText;
  const ProgramText text = id == StopText::held          ? ProgramText::signalHeld
                           : id == StopText::alreadyHeld ? ProgramText::signalRepeated
                                                         : ProgramText::shutdownBlocked;
  return catalogue::programText(text, languageNumber);
}

}  // namespace flashwell::app
