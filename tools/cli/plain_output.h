#pragma once

// The plain lines of the headless flasher, for pipes, logs and CI: "status: ...", the version
// columns under their headings, "question:", "answer:", "message:".

#include <ostream>

#include "tools/cli/run_output.h"

namespace flashwell::cli {

class PlainOutput : public RunOutput {
 public:
  PlainOutput(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

  void caption(const std::string& text) override;
  void status(const std::string& text) override;
  void prompt(const std::string& text) override;
  void column(const Column& column) override;
  void question(const std::string& text, bool yes) override;
  void message(const std::string& text) override;
  void progress(const Progress&) override {}
  void key(const KeyInfo& info) override;
  void replayDiffers(std::size_t line, const std::string& recorded,
                     const std::string& sent) override;
  void end(int) override {}

 protected:
  std::ostream& out_;
  std::ostream& err_;
};

// The lines of a text.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace flashwell::cli
