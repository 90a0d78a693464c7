#include "tools/cli/terminal_prompts.h"

#include "protocol/request_block.h"
#include "tools/cli/cli_texts.h"

namespace flashwell::cli {

namespace {

constexpr const char* kModeNames[] = {"only", "always", "never"};
constexpr std::uint8_t kModeOptions[] = {protocol::kOptionOnly, protocol::kOptionAlways,
                                         protocol::kOptionNever};

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// The text's lines, each indented, without the blanks the window puts around them.
void printIndented(std::ostream& out, const std::string& text) {
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    if (const std::string line = trimmed(text.substr(at, end - at)); !line.empty()) {
      out << "    " << line << "\n";
    }
    at = end + 1;
  }
}

}  // namespace

std::uint8_t TerminalPrompts::askMode(const std::string& prompt,
                                      const std::array<std::string, 3>& modes) {
  if (overBar_) out_ << "\r\x1b[K";
  out_ << trimmed(prompt) << "\n";
  for (std::size_t i = 0; i < modes.size(); ++i) {
    out_ << "  " << kModeNames[i] << ":\n";
    printIndented(out_, modes[i]);
  }
  for (;;) {
    out_ << cliText(CliText::modeChoice) << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      out_ << "\n";
      return protocol::kOptionNone;
    }
    line = trimmed(line);
    if (line.empty()) return protocol::kOptionNone;
    for (std::size_t i = 0; i < modes.size(); ++i) {
      if (line == kModeNames[i]) return kModeOptions[i];
    }
  }
}

bool TerminalPrompts::askYes(const std::string& question) {
  if (overBar_) out_ << "\r\x1b[K";
  out_ << trimmed(question) << cliText(CliText::yesNo) << std::flush;
  std::string line;
  if (!std::getline(in_, line)) {
    out_ << "\n";
    return false;
  }
  line = trimmed(line);
  return !line.empty() && (line[0] == 'y' || line[0] == 'Y');
}

}  // namespace flashwell::cli
