#pragma once

// A view for tests: it keeps what the sequencer and the dialog did to every control, the bar,
// the timers and the message boxes, and answers each message box from a script.

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sequencer/dialog_view.h"

namespace flashwell::sequencer {

struct ControlState {
  std::string text;
  bool enabled = true;
  bool shown = true;
  bool checked = false;
  int textWrites = 0;  // how often the text was set
};

struct MessageBoxRecord {
  std::string text;
  MessageBoxKind kind;
  MessageBoxAnswer answer;
};

class RecordingView : public DialogView {
 public:
  void setCaption(const std::string& text) override { caption = text; }
  void setText(int controlId, const std::string& text) override;
  void enable(int controlId, bool enabled) override { controls[controlId].enabled = enabled; }
  void show(int controlId, bool shown) override { controls[controlId].shown = shown; }
  void setCheck(int controlId, bool checked) override { controls[controlId].checked = checked; }
  void setProgressRange(int minimum, int maximum) override;
  void setProgressPos(int position) override;
  MessageBoxAnswer messageBox(const std::string& text, MessageBoxKind kind) override;
  void setTimer(unsigned timerId, unsigned periodMs) override { timers[timerId] = periodMs; }
  void killTimer(unsigned timerId) override { timers.erase(timerId); }
  void endDialog(int result) override { endResult = result; }

  // The control's state (a control never touched reads as empty, enabled and shown).
  const ControlState& control(int controlId) { return controls[controlId]; }
  const std::string& text(int controlId) { return controls[controlId].text; }
  bool timerSet(unsigned timerId) const { return timers.count(timerId) != 0; }
  bool ended() const { return endResult.has_value(); }

  std::string caption;
  std::map<int, ControlState> controls;
  int progressMin = 0;
  int progressMax = 100;
  int progressPos = 0;
  std::vector<int> progressLog;         // every position sent to the bar
  std::map<unsigned, unsigned> timers;  // id -> period of the timers that are set
  std::optional<int> endResult;
  // Every non-empty text of the status line, a repeat of the one before it left out.
  std::vector<std::string> statusLog;
  std::vector<MessageBoxRecord> messageBoxes;

  // Answers for the message boxes, in order; once they run out a question is answered No and
  // an information box OK. `whileOpen` runs inside each box before it is answered (the window
  // thread goes on ticking under a modal box).
  std::deque<MessageBoxAnswer> answers;
  std::function<void(const std::string& text)> whileOpen;
};

}  // namespace flashwell::sequencer
