#pragma once

// What a run without --mode asks on a terminal, as the window would: the mode, with the
// window's texts for the three, and the erase question, whose default is No.

#include <array>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

namespace flashwell::cli {

class TerminalPrompts {
 public:
  // `overBar`: `out` is the terminal that shows the progress bar, whose line a prompt clears.
  TerminalPrompts(std::istream& in, std::ostream& out, bool overBar = false)
      : in_(in), out_(out), overBar_(overBar) {}

  // `prompt` and the explanations of "only", "always" and "never" in the run's language;
  // protocol::kOptionOnly, kOptionAlways or kOptionNever, or kOptionNone when the user typed
  // nothing or the input ended.
  std::uint8_t askMode(const std::string& prompt, const std::array<std::string, 3>& modes);
  // Yes only for an answer that begins with y or Y.
  bool askYes(const std::string& question);

 private:
  std::istream& in_;
  std::ostream& out_;
  bool overBar_;
};

}  // namespace flashwell::cli
