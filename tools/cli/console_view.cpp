#include "tools/cli/console_view.h"

#include <algorithm>
#include <vector>

#include "catalogue/cp1252.h"
#include "sequencer/control_ids.h"

namespace flashwell::cli {

namespace {

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find('\n', start)) != std::string::npos; start = at + 1) {
    lines.push_back(text.substr(start, at - start));
  }
  lines.push_back(text.substr(start));
  return lines;
}

bool blank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; });
}

// The label column has two lines above the first row of the version columns.
constexpr std::size_t kLabelLinesAbove = 2;
constexpr std::size_t kLabelWidth = 10;

}  // namespace

ConsoleView::ConsoleView(std::ostream& out, bool answerYes) : out_(out), answerYes_(answerYes) {}

void ConsoleView::setCaption(const std::string& text) {
  out_ << catalogue::cp1252ToUtf8(text) << "\n" << std::flush;
}

void ConsoleView::setText(int controlId, const std::string& text) {
  using namespace sequencer;
  switch (controlId) {
    case kIdStatus:
      if (!text.empty() && text != lastStatus_) {
        lastStatus_ = text;
        out_ << "status: " << catalogue::cp1252ToUtf8(text) << "\n" << std::flush;
      }
      return;
    case kIdLabels:
      labels_ = text;
      return;
    case kIdToolColumn:
      return printColumn(controlId, "Vers.  in  FLASHWELL", text);
    case kIdKeyColumn:
      if (!connectPrompt_.empty() && text == connectPrompt_) {
        if (promptPrinted_) return;
        promptPrinted_ = true;
        printLines(text, "");
        return;
      }
      return printColumn(controlId, "Vers.  in  MEMPOD", text);
    default:
      return;
  }
}

void ConsoleView::printColumn(int id, const char* heading, const std::string& column) {
  if (blank(column) || lastColumn_[id] == column) return;
  lastColumn_[id] = column;
  out_ << heading << ":\n";
  const std::vector<std::string> labels = splitLines(labels_);
  const std::vector<std::string> rows = splitLines(column);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::size_t li = i + kLabelLinesAbove;
    std::string label = li < labels.size() ? catalogue::cp1252ToUtf8(labels[li]) : "";
    if (label.empty() && blank(rows[i])) continue;
    label.resize(std::max(label.size(), kLabelWidth), ' ');
    out_ << "  " << label << catalogue::cp1252ToUtf8(rows[i]) << "\n";
  }
  out_ << std::flush;
}

void ConsoleView::printLines(const std::string& text, const std::string& indent) {
  for (const std::string& line : splitLines(catalogue::cp1252ToUtf8(text))) {
    out_ << indent << line << "\n";
  }
  out_ << std::flush;
}

sequencer::MessageBoxAnswer ConsoleView::messageBox(const std::string& text,
                                                    sequencer::MessageBoxKind kind) {
  if (kind == sequencer::MessageBoxKind::information) {
    ++informationBoxes_;
    out_ << "message:\n";
    printLines(text, "  ");
    return sequencer::MessageBoxAnswer::ok;
  }
  out_ << "question:\n";
  printLines(text, "  ");
  out_ << "answer: " << (answerYes_ ? "Yes" : "No") << "\n" << std::flush;
  if (!answerYes_) declined_ = true;
  return answerYes_ ? sequencer::MessageBoxAnswer::yes : sequencer::MessageBoxAnswer::no;
}

bool ConsoleView::enabled(int controlId) const {
  const auto it = enabled_.find(controlId);
  return it == enabled_.end() || it->second;
}

}  // namespace flashwell::cli
