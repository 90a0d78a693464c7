#pragma once

// The headless flasher's own English lines for what it asks on a terminal, beside the dialog's
// texts. One place, so that the program's text table can take them over.

#include <string_view>

namespace flashwell::cli {

enum class CliText {
  modeChoice,  // asks for the mode on a terminal
  yesNo,       // after the erase question on a terminal
};

std::string_view cliText(CliText id);

}  // namespace flashwell::cli
