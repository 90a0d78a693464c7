#pragma once

// What the sequencer and the dialog controller do to the window, by control id. The Win32
// shell, the Qt shell, the console view of the headless flasher and the tests' recording view
// implement it. Every text is a Windows-1252 byte string; a view converts it for its toolkit.

#include <string>

namespace flashwell::sequencer {

enum class MessageBoxKind {
  information,    // OK button, information icon
  yesNoQuestion,  // Yes and No buttons, question icon
};

enum class MessageBoxAnswer { ok, yes, no };

class DialogView {
 public:
  virtual ~DialogView() = default;

  virtual void setCaption(const std::string& text) = 0;
  virtual void setText(int controlId, const std::string& text) = 0;
  virtual void enable(int controlId, bool enabled) = 0;
  virtual void show(int controlId, bool shown) = 0;
  virtual void setCheck(int controlId, bool checked) = 0;
  virtual void setProgressRange(int minimum, int maximum) = 0;
  virtual void setProgressPos(int position) = 0;
  // Modal: returns once the user has answered.
  virtual MessageBoxAnswer messageBox(const std::string& text, MessageBoxKind kind) = 0;
  virtual void setTimer(unsigned timerId, unsigned periodMs) = 0;
  virtual void killTimer(unsigned timerId) = 0;
  virtual void endDialog(int result) = 0;
};

}  // namespace flashwell::sequencer
