#include "tools/cli/plain_output.h"

#include <algorithm>
#include <cstdio>

namespace flashwell::cli {

namespace {
constexpr std::size_t kLabelWidth = 10;

void printIndented(std::ostream& out, const std::string& text, const std::string& indent) {
  for (const std::string& line : splitLines(text)) out << indent << line << "\n";
}
}  // namespace

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

void PlainOutput::caption(const std::string& text) {
  out_ << text << "\n" << std::flush;
}

void PlainOutput::status(const std::string& text) {
  out_ << "status: " << text << "\n" << std::flush;
}

void PlainOutput::prompt(const std::string& text) {
  printIndented(out_, text, "");
  out_ << std::flush;
}

void PlainOutput::column(const Column& column) {
  out_ << column.heading << ":\n";
  for (const auto& [label, value] : column.rows) {
    std::string padded = label;
    padded.resize(std::max(padded.size(), kLabelWidth), ' ');
    out_ << "  " << padded << value << "\n";
  }
  out_ << std::flush;
}

void PlainOutput::question(const std::string& text, bool yes) {
  out_ << "question:\n";
  printIndented(out_, text, "  ");
  out_ << "answer: " << (yes ? "Yes" : "No") << "\n" << std::flush;
}

void PlainOutput::message(const std::string& text) {
  out_ << "message:\n";
  printIndented(out_, text, "  ");
  out_ << std::flush;
}

void PlainOutput::key(const KeyInfo& info) {
  constexpr std::size_t kValueWidth = 26;
  auto padded = [](std::string text, std::size_t width) {
    text.resize(std::max(text.size(), width), ' ');
    return text;
  };
  out_ << "  " << padded("", kLabelWidth) << padded(kToolHeading, kValueWidth) << kKeyHeading
       << "\n";
  for (const auto& row : info.rows) {
    std::string line = "  " + padded(row[0], kLabelWidth) + padded(row[1], kValueWidth) + row[2];
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out_ << line << "\n";
  }
  char mark[8];
  std::snprintf(mark, sizeof mark, "0x%02X", info.mark);
  out_ << "key: " << info.program << " running, " << info.packet << "-packet key, mark " << mark
       << "\n"
       << std::flush;
}

void PlainOutput::replayDiffers(std::size_t line, const std::string& recorded,
                                const std::string& sent) {
  err_ << "flashwell-cli: the replay differs from the log";
  if (line != 0) err_ << " at line " << line;
  err_ << "\n  recorded: " << recorded << "\n  sent:     " << sent << "\n" << std::flush;
}

}  // namespace flashwell::cli
