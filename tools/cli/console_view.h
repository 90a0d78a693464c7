#pragma once

// The headless flasher's window: it tells the run's output what a user would notice, once, as
// UTF-8. Each new status-line text (not its blinking: the last text of a tick), both version
// columns when they are written, the connect prompt the first time, and every message box with
// its answer.

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "sequencer/dialog_view.h"
#include "tools/cli/run_output.h"

namespace flashwell::cli {

class ConsoleView final : public sequencer::DialogView {
 public:
  // Answers the erase question, given its text (UTF-8).
  using Answer = std::function<bool(const std::string& question)>;
  ConsoleView(RunOutput& output, Answer answer);

  // The connect prompt in the run's language, so that it is printed once and not as a column.
  void setConnectPrompt(std::string text) { connectPrompt_ = std::move(text); }
  // Columns are kept, not told (info tells them side by side at the end).
  void keepColumns() { keepColumns_ = true; }

  void setCaption(const std::string& text) override;
  void setText(int controlId, const std::string& text) override;
  void enable(int controlId, bool enabled) override { enabled_[controlId] = enabled; }
  void show(int, bool) override {}
  void setCheck(int, bool) override {}
  void setProgressRange(int, int) override {}
  void setProgressPos(int) override {}
  sequencer::MessageBoxAnswer messageBox(const std::string& text,
                                         sequencer::MessageBoxKind kind) override;
  void setTimer(unsigned timerId, unsigned) override { timers_.insert(timerId); }
  void killTimer(unsigned timerId) override { timers_.erase(timerId); }
  void endDialog(int) override { ended_ = true; }

  // Tells the status line's text if this tick changed it; once per tick, after it.
  void endTick();

  bool enabled(int controlId) const;
  bool timerSet(unsigned timerId) const { return timers_.count(timerId) != 0; }
  bool ended() const { return ended_; }
  int informationBoxes() const { return informationBoxes_; }
  bool declined() const { return declined_; }
  // The status line's last text, UTF-8.
  const std::string& status() const { return lastStatus_; }
  // Both columns side by side: label, tool, key; rows without a label and values are left out.
  std::vector<std::vector<std::string>> columnsSideBySide() const;

 private:
  // Tells a version column with the labels beside it, unless it is blank or told already.
  void tellColumn(int id, const std::string& column);
  std::string label(std::size_t row) const;

  RunOutput& output_;
  Answer answer_;
  bool keepColumns_ = false;
  std::string connectPrompt_;
  bool promptPrinted_ = false;
  std::string lastStatus_;
  std::string tickStatus_;  // the last text this tick wrote into the status line
  std::map<int, std::string> lastColumn_;
  std::string labels_;
  std::map<int, bool> enabled_;
  std::set<unsigned> timers_;
  bool ended_ = false;
  int informationBoxes_ = 0;
  bool declined_ = false;
};

}  // namespace flashwell::cli
