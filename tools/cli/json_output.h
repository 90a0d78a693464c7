#pragma once

// --json, version 1: one JSON object per line for each event of the run, in UTF-8, for programs
// that drive the headless flasher. Every object has "v": 1 and "event"; docs/json-output.md
// lists the events and their fields.

#include <ostream>

#include "tools/cli/run_output.h"

namespace flashwell::cli {

inline constexpr int kJsonVersion = 1;

class JsonOutput final : public RunOutput {
 public:
  explicit JsonOutput(std::ostream& out) : out_(out) {}

  void text(TextKind kind, const std::string& text) override;
  void column(const Column& column) override;
  void question(const std::string& text, bool yes) override;
  void phase(const Phase& phase, const std::string& text) override;
  void error(const std::string& code, const std::string& text) override;
  void progress(const Progress& progress) override;
  void key(const KeyInfo& info) override;
  void replayDiffers(std::size_t line, const std::string& recorded,
                     const std::string& sent) override;
  void end(int exitCode) override;

 private:
  std::ostream& out_;
  std::string lastStep_;
  int lastPercent_ = -1;
  bool lastFinished_ = false;
};

// The lines a run that never started writes under --json: the refusal, then its end.
void writeJsonRefusal(std::ostream& out, const std::string& why, int exitCode);

}  // namespace flashwell::cli
