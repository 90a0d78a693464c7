#pragma once

// The headless flasher's own English lines, beside the dialog's texts: what it says while it
// waits, when it gives up waiting, and what it asks on a terminal. One place, so that the
// program's text table can take them over.

#include <string_view>

namespace flashwell::cli {

enum class CliText {
  waitingForKey,  // once, when a run finds no key
  noKeyFound,     // info, when its time ran out before a key was found
  modeChoice,     // asks for the mode on a terminal
  yesNo,          // after the erase question on a terminal
};

std::string_view cliText(CliText id);

}  // namespace flashwell::cli
