#include "tools/cli/cli_texts.h"

namespace flashwell::cli {

std::string_view cliText(CliText id) {
  switch (id) {
    case CliText::modeChoice:
      return "Type only, always or never, or nothing to leave: ";
    case CliText::yesNo:
      return " [y/N] ";
  }
  return {};
}

}  // namespace flashwell::cli
