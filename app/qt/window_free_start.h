#pragma once

// What the desktop programs answer before they open a window: --help and --version, and a
// start with no display to open it on.

#include <optional>
#include <ostream>

namespace flashwell::app::qt {

// The exit code when the program ends here, or none when it goes on to open its window.
// `environment` gives a variable's value, or null.
std::optional<int> answerWithoutWindow(int argc, const char* const* argv, std::ostream& out,
                                       std::ostream& err, const char* (*environment)(const char*));

}  // namespace flashwell::app::qt
