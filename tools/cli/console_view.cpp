#include "tools/cli/console_view.h"

#include <algorithm>

#include "catalogue/cp1252.h"
#include "sequencer/control_ids.h"
#include "tools/cli/plain_output.h"

namespace flashwell::cli {

namespace {

bool blank(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\n'; });
}

// The label column has two lines above the first row of the version columns.
constexpr std::size_t kLabelLinesAbove = 2;

}  // namespace

ConsoleView::ConsoleView(RunOutput& output, Answer answer)
    : output_(output), answer_(std::move(answer)) {}

void ConsoleView::setCaption(const std::string& text) {
  output_.text(TextKind::caption, catalogue::cp1252ToUtf8(text));
}

void ConsoleView::setText(int controlId, const std::string& text) {
  using namespace sequencer;
  switch (controlId) {
    case kIdStatus:
      // A failure display writes the state's own text before its own in the same tick.
      if (!text.empty()) tickStatus_ = catalogue::cp1252ToUtf8(text);
      return;
    case kIdLabels:
      labels_ = text;
      return;
    case kIdToolColumn:
      return tellColumn(controlId, text);
    case kIdKeyColumn:
      if (!connectPrompt_.empty() && text == connectPrompt_) {
        if (promptPrinted_) return;
        promptPrinted_ = true;
        output_.text(TextKind::prompt, catalogue::cp1252ToUtf8(text));
        return;
      }
      return tellColumn(controlId, text);
    default:
      return;
  }
}

void ConsoleView::endTick() {
  if (tickStatus_.empty() || tickStatus_ == lastStatus_) return;
  lastStatus_ = tickStatus_;
  output_.text(TextKind::status, lastStatus_);
}

std::string ConsoleView::label(std::size_t row) const {
  const std::vector<std::string> labels = splitLines(labels_);
  const std::size_t at = row + kLabelLinesAbove;
  return at < labels.size() ? catalogue::cp1252ToUtf8(labels[at]) : "";
}

void ConsoleView::tellColumn(int id, const std::string& column) {
  if (blank(column) || lastColumn_[id] == column) return;
  lastColumn_[id] = column;
  if (keepColumns_) return;
  const bool tool = id == sequencer::kIdToolColumn;
  Column told{tool ? "tool" : "key", tool ? kToolHeading : kKeyHeading, {}};
  const std::vector<std::string> rows = splitLines(column);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    std::string name = label(i);
    if (name.empty() && blank(rows[i])) continue;
    told.rows.emplace_back(std::move(name), catalogue::cp1252ToUtf8(rows[i]));
  }
  output_.column(told);
}

std::vector<std::vector<std::string>> ConsoleView::columnsSideBySide() const {
  auto rowsOf = [this](int id) {
    const auto it = lastColumn_.find(id);
    return it == lastColumn_.end() ? std::vector<std::string>{} : splitLines(it->second);
  };
  const std::vector<std::string> tool = rowsOf(sequencer::kIdToolColumn);
  const std::vector<std::string> key = rowsOf(sequencer::kIdKeyColumn);
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 0; i < std::max(tool.size(), key.size()); ++i) {
    const std::string t = i < tool.size() ? catalogue::cp1252ToUtf8(tool[i]) : "";
    const std::string k = i < key.size() ? catalogue::cp1252ToUtf8(key[i]) : "";
    std::string name = label(i);
    if (name.empty() && blank(t) && blank(k)) continue;
    rows.push_back({std::move(name), t, k});
  }
  return rows;
}

sequencer::MessageBoxAnswer ConsoleView::messageBox(const std::string& text,
                                                    sequencer::MessageBoxKind kind) {
  if (kind == sequencer::MessageBoxKind::information) {
    ++informationBoxes_;
    output_.text(TextKind::message, catalogue::cp1252ToUtf8(text));
    return sequencer::MessageBoxAnswer::ok;
  }
  const std::string question = catalogue::cp1252ToUtf8(text);
  const bool yes = answer_(question);
  output_.question(question, yes);
  if (!yes) declined_ = true;
  return yes ? sequencer::MessageBoxAnswer::yes : sequencer::MessageBoxAnswer::no;
}

bool ConsoleView::enabled(int controlId) const {
  const auto it = enabled_.find(controlId);
  return it == enabled_.end() || it->second;
}

}  // namespace flashwell::cli
