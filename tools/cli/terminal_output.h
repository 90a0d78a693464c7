#pragma once

// The plain lines on a terminal, with a one-line progress bar below them: the step, the share of
// the blocks sent and the elapsed time, redrawn in place at most ten times a second, and always
// when a phase ends, so that its percentage is shown exactly.

#include <cstdint>
#include <functional>
#include <string>

#include "tools/cli/plain_output.h"

namespace flashwell::cli {

class TerminalOutput final : public PlainOutput {
 public:
  // `wallMs`: a millisecond wall clock for the redraw rate (the run's own clock may be simulated).
  TerminalOutput(std::ostream& out, std::ostream& err, std::function<std::uint64_t()> wallMs,
                 std::uint16_t language = catalogue::kLanguageEnglish);

  // The status line is the bar's step; the other texts go above the bar.
  void text(TextKind kind, const std::string& text) override;
  void column(const Column& c) override {
    between([&] { PlainOutput::column(c); });
  }
  void question(const std::string& text, bool yes) override {
    between([&] { PlainOutput::question(text, yes); });
  }
  void progress(const Progress& progress) override;
  void key(const KeyInfo& info) override {
    between([&] { PlainOutput::key(info); });
  }
  void end(int exitCode) override;

  // The bar's line as it is drawn.
  static std::string barLine(const Progress& progress);

 private:
  // Prints plain lines where the bar stands, then draws the bar again below them.
  void between(const std::function<void()>& print);
  void draw();

  std::function<std::uint64_t()> wallMs_;
  Progress current_;
  bool shown_ = false;  // the bar stands on the last line
  std::uint64_t lastDrawMs_ = 0;
  std::string lastLine_;
  int lastPercent_ = -1;
};

}  // namespace flashwell::cli
