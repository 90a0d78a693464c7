#include "tools/cli/plain_output.h"

#include <algorithm>
#include <cstdio>

#include "protocol/key_records.h"

namespace flashwell::cli {

namespace {
constexpr std::size_t kLabelWidth = 10;

using catalogue::ProgramText;

// The width of a UTF-8 text in characters.
std::size_t characters(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

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

void PlainOutput::text(TextKind kind, const std::string& text) {
  switch (kind) {
    case TextKind::caption:
      out_ << text << "\n";
      break;
    case TextKind::status:
      out_ << ownText(ProgramText::statusLabel) << " " << text << "\n";
      break;
    case TextKind::prompt:
      printIndented(out_, text, "");
      break;
    case TextKind::message:
    case TextKind::notice:
      out_ << ownText(ProgramText::messageLabel) << "\n";
      printIndented(out_, text, "  ");
      break;
  }
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

void PlainOutput::question(const std::string& asked, bool yes) {
  out_ << ownText(ProgramText::questionLabel) << "\n";
  printIndented(out_, asked, "  ");
  out_ << ownText(ProgramText::answerLabel) << " "
       << ownText(yes ? ProgramText::yes : ProgramText::no) << "\n"
       << std::flush;
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
  const std::string code = std::to_string(info.programCode);
  const std::string program = info.programCode == protocol::kProgramFirmware
                                  ? std::string(ownText(ProgramText::firmwareRunning))
                              : info.programCode == protocol::kProgramBooter
                                  ? std::string(ownText(ProgramText::booterRunning))
                                  : catalogue::fillIn(ownText(ProgramText::programRunning), {code});
  const ProgramText packet =
      info.packet == "small" ? ProgramText::smallPacketKey : ProgramText::largePacketKey;
  out_ << catalogue::fillIn(ownText(ProgramText::keyInfoLine), {program, ownText(packet), mark})
       << "\n"
       << std::flush;
}

void PlainOutput::replayDiffers(std::size_t line, const std::string& recorded,
                                const std::string& sent) {
  err_ << "flashwell-cli: "
       << (line != 0 ? catalogue::fillIn(ownText(ProgramText::replayDiffersAtLine),
                                         {std::to_string(line)})
                     : std::string(ownText(ProgramText::replayDiffers)))
       << "\n";
  // The two requests one above the other: both labels padded to the longer.
  const std::string_view recordedLabel = ownText(ProgramText::replayRecorded);
  const std::string_view sentLabel = ownText(ProgramText::replaySent);
  const std::size_t width = std::max(characters(recordedLabel), characters(sentLabel)) + 1;
  auto padded = [width](std::string_view label) {
    return std::string(label) + std::string(width - characters(label), ' ');
  };
  err_ << "  " << padded(recordedLabel) << recorded << "\n  " << padded(sentLabel) << sent << "\n"
       << std::flush;
}

}  // namespace flashwell::cli
