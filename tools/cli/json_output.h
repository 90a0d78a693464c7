#pragma once

// One JSON object per line for each event of the run, in UTF-8, for programs that drive the
// headless flasher. The events and their fields are listed in --help.

#include <ostream>

#include "tools/cli/run_output.h"

namespace flashwell::cli {

class JsonOutput final : public RunOutput {
 public:
  explicit JsonOutput(std::ostream& out) : out_(out) {}

  void caption(const std::string& text) override;
  void status(const std::string& text) override;
  void prompt(const std::string& text) override;
  void column(const Column& column) override;
  void question(const std::string& text, bool yes) override;
  void message(const std::string& text) override;
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

}  // namespace flashwell::cli
