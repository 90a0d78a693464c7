#pragma once

// The dialog view on a live Win32 dialog window: each call goes to the control of that id.

#include <windows.h>

#include "sequencer/control_ids.h"
#include "sequencer/dialog_view.h"

namespace flashwell::app::win32 {

class Win32DialogView final : public sequencer::DialogView {
 public:
  // The window is known only once the dialog exists; until attach() every call does nothing
  // (and a message box answers as if dismissed: OK, or No to a question).
  void attach(HWND dialog) { dialog_ = dialog; }
  void detach() { dialog_ = nullptr; }
  HWND window() const { return dialog_; }
  // Whether endDialog was called.
  bool ended() const { return ended_; }

  void setCaption(const std::string& text) override;
  void setText(int controlId, const std::string& text) override;
  void enable(int controlId, bool enabled) override;
  void show(int controlId, bool shown) override;
  void setCheck(int controlId, bool checked) override;
  void setProgressRange(int minimum, int maximum) override;
  void setProgressPos(int position) override;
  sequencer::MessageBoxAnswer messageBox(const std::string& text,
                                         sequencer::MessageBoxKind kind) override;
  void setTimer(unsigned timerId, unsigned periodMs) override;
  void killTimer(unsigned timerId) override;
  void endDialog(int result) override;

 private:
  HWND item(int controlId) const;

  HWND dialog_ = nullptr;
  bool ended_ = false;
};

// The title of the program's message boxes: the dialog's caption, or the program's name when
// there is no dialog.
std::wstring messageBoxTitle(HWND owner);

}  // namespace flashwell::app::win32
