#include "tools/cli/terminal_output.h"

#include <cstdio>

namespace flashwell::cli {

namespace {
constexpr std::uint64_t kRedrawMs = 100;
constexpr int kBarWidth = 30;
constexpr const char* kClearLine = "\r\x1b[K";
}  // namespace

TerminalOutput::TerminalOutput(std::ostream& out, std::ostream& err,
                               std::function<std::uint64_t()> wallMs, std::uint16_t language)
    : PlainOutput(out, err, language), wallMs_(std::move(wallMs)) {}

std::string TerminalOutput::barLine(const Progress& p) {
  const int percent = p.percent;
  const auto filled = static_cast<std::size_t>(percent * kBarWidth / 100);
  std::string line;
  line.reserve(64 + p.step.size());
  line.push_back('[');
  line.append(filled, '#');
  line.append(static_cast<std::size_t>(kBarWidth) - filled, '-');
  line.push_back(']');
  char figures[48];
  const std::uint32_t seconds = p.elapsedMs / 1000;
  std::snprintf(figures, sizeof figures, " %3d%%  %u:%02u  ", percent, seconds / 60, seconds % 60);
  line.append(figures);
  line.append(p.step);
  return line;
}

void TerminalOutput::between(const std::function<void()>& print) {
  if (shown_) out_ << kClearLine;
  shown_ = false;
  print();
  draw();
}

void TerminalOutput::draw() {
  const std::string line = barLine(current_);
  out_ << kClearLine << line << std::flush;
  shown_ = true;
  lastLine_ = line;
  lastPercent_ = current_.percent;
  lastDrawMs_ = wallMs_();
}

void TerminalOutput::text(TextKind kind, const std::string& text) {
  if (kind != TextKind::status) return between([&] { PlainOutput::text(kind, text); });
  current_.step = text;
  progress(current_);
}

void TerminalOutput::progress(const Progress& progress) {
  const std::string step = current_.step;
  current_ = progress;
  if (current_.step.empty()) current_.step = step;
  if (barLine(current_) == lastLine_) return;
  const bool phaseEnds = current_.percent != lastPercent_ && current_.atPhaseEnd();
  if (phaseEnds || !shown_ || wallMs_() - lastDrawMs_ >= kRedrawMs) draw();
}

void TerminalOutput::end(int) {
  if (barLine(current_) != lastLine_ || !shown_) draw();
  out_ << "\n" << std::flush;
  shown_ = false;
}

}  // namespace flashwell::cli
