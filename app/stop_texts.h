#pragma once

// The English lines that the program writes by itself about stopping from outside the window
// (a signal, a closed output, the end of the session). Kept together so that the program's own
// text table can take them over.

#include <string_view>

namespace flashwell::app {

enum class StopText {
  held,            // a stop asked while the key's firmware is being written
  alreadyHeld,     // a second one while the first is held
  keepAwakeReason  // why sleep and shutdown are held off during the upgrade
};

constexpr std::string_view stopText(StopText id) {
  switch (id) {
    case StopText::held:
      return "The key's firmware is being written: Flashwell will exit as soon as it is safe.";
    case StopText::alreadyHeld:
      return "Already exiting as soon as it is safe.";
    case StopText::keepAwakeReason:
      return "Writing the firmware of the MEMPOD key";
  }
  return {};
}

}  // namespace flashwell::app
