#include "sequencer/recording_view.h"

#include "sequencer/control_ids.h"

namespace flashwell::sequencer {

void RecordingView::setText(int controlId, const std::string& text) {
  ControlState& c = controls[controlId];
  c.text = text;
  ++c.textWrites;
  if (controlId == kIdStatus && !text.empty() && (statusLog.empty() || statusLog.back() != text)) {
    statusLog.push_back(text);
  }
}

void RecordingView::setProgressRange(int minimum, int maximum) {
  progressMin = minimum;
  progressMax = maximum;
}

void RecordingView::setProgressPos(int position) {
  progressPos = position;
  progressLog.push_back(position);
}

MessageBoxAnswer RecordingView::messageBox(const std::string& text, MessageBoxKind kind) {
  if (whileOpen) whileOpen(text);
  MessageBoxAnswer answer =
      kind == MessageBoxKind::yesNoQuestion ? MessageBoxAnswer::no : MessageBoxAnswer::ok;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  messageBoxes.push_back({text, kind, answer});
  return answer;
}

}  // namespace flashwell::sequencer
