#include "app/win32/win32_view.h"

#include <commctrl.h>

#include "app/win32/wide_text.h"

namespace flashwell::app::win32 {

using sequencer::MessageBoxAnswer;
using sequencer::MessageBoxKind;

HWND Win32DialogView::item(int controlId) const {
  return dialog_ ? GetDlgItem(dialog_, controlId) : nullptr;
}

void Win32DialogView::setCaption(const std::string& text) {
  if (dialog_) SetWindowTextW(dialog_, wideFromCp1252(text).c_str());
}

void Win32DialogView::setText(int controlId, const std::string& text) {
  if (HWND control = item(controlId)) SetWindowTextW(control, wideFromCp1252(text).c_str());
}

void Win32DialogView::enable(int controlId, bool enabled) {
  if (HWND control = item(controlId)) EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32DialogView::show(int controlId, bool shown) {
  if (HWND control = item(controlId)) ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
}

void Win32DialogView::setCheck(int controlId, bool checked) {
  if (HWND control = item(controlId)) {
    SendMessageW(control, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void Win32DialogView::setProgressRange(int minimum, int maximum) {
  HWND bar = item(sequencer::kIdProgress);
  if (!bar) return;
  // The 16-bit message where the range fits it, the 32-bit one otherwise.
  if (minimum >= 0 && maximum >= 0 && minimum <= 0xFFFF && maximum <= 0xFFFF) {
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(minimum, maximum));
  } else {
    SendMessageW(bar, PBM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
  }
}

void Win32DialogView::setProgressPos(int position) {
  if (HWND bar = item(sequencer::kIdProgress)) {
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
}

std::wstring messageBoxTitle(HWND owner) {
  if (owner) {
    wchar_t caption[256] = {};
    if (GetWindowTextW(owner, caption, 256) > 0) return caption;
  }
  return L"Flashwell";
}

MessageBoxAnswer Win32DialogView::messageBox(const std::string& text, MessageBoxKind kind) {
  const bool question = kind == MessageBoxKind::yesNoQuestion;
  if (!dialog_) return question ? MessageBoxAnswer::no : MessageBoxAnswer::ok;
  const UINT flags = question ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONINFORMATION;
  const int answer =
      MessageBoxW(dialog_, wideFromCp1252(text).c_str(), messageBoxTitle(dialog_).c_str(), flags);
  if (!question) return MessageBoxAnswer::ok;
  return answer == IDYES ? MessageBoxAnswer::yes : MessageBoxAnswer::no;
}

void Win32DialogView::setTimer(unsigned timerId, unsigned periodMs) {
  if (dialog_) SetTimer(dialog_, timerId, periodMs, nullptr);
}

void Win32DialogView::killTimer(unsigned timerId) {
  if (dialog_) KillTimer(dialog_, timerId);
}

void Win32DialogView::endDialog(int result) {
  ended_ = true;
  if (dialog_) EndDialog(dialog_, result);
}

}  // namespace flashwell::app::win32
