#pragma once

// The plain lines of the headless flasher, for pipes, logs and CI: "status: ...", the version
// columns under their headings, "question:", "answer:", "message:", with the labels in the
// language of the run's texts.

#include <cstdint>
#include <ostream>
#include <string_view>

#include "catalogue/program_texts.h"
#include "catalogue/text_tables.h"
#include "tools/cli/run_output.h"

namespace flashwell::cli {

class PlainOutput : public RunOutput {
 public:
  // `language`: the language number that the run's texts are chosen by.
  PlainOutput(std::ostream& out, std::ostream& err,
              std::uint16_t language = catalogue::kLanguageEnglish)
      : out_(out), err_(err), language_(language) {}

  void text(TextKind kind, const std::string& text) override;
  void column(const Column& column) override;
  void question(const std::string& text, bool yes) override;
  void progress(const Progress&) override {}
  void key(const KeyInfo& info) override;
  void replayDiffers(std::size_t line, const std::string& recorded,
                     const std::string& sent) override;
  void end(int) override {}

 protected:
  std::string_view ownText(catalogue::ProgramText id) const {
    return catalogue::programText(id, language_);
  }

  std::ostream& out_;
  std::ostream& err_;
  std::uint16_t language_;
};

// The lines of a text.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace flashwell::cli
