#pragma once

// The link's notices on Windows. The worker thread asks; the message box is shown on the
// window thread (a message posted to the dialog), and the worker waits until the user has
// dismissed it. Once the dialog is gone, a notice returns at once: the dialog's end joins the
// worker, and a worker stuck in a message sent to a window that no longer reads its messages
// would hold that join for ever.

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "usb/driver.h"

namespace flashwell::app::win32 {

// The private message that carries a notice to the dialog; its wParam names the notice.
inline constexpr UINT kLinkNoticeMessage = WM_APP + 1;

inline constexpr char kAnotherProgramText[] = "ANOTHER PROGRAM UTILIZES USB";

class Win32LinkNotices final : public usb::LinkNotices {
 public:
  // `languageNumber`: the language that the notices are worded in.
  explicit Win32LinkNotices(std::uint16_t languageNumber) : language_(languageNumber) {}

  // Worker thread.
  void anotherProgramUsesKey() override;
  void keyAccessDenied(const std::string& path) override;

  // Window thread: attach when the dialog is created, detach when it is destroyed; a waiting
  // worker is released by detach().
  void attach(HWND dialog);
  void detach();
  // Window thread, from the dialog procedure on kLinkNoticeMessage. A message whose notice is
  // no longer waiting (released by detach) shows nothing.
  void show(WPARAM notice);

 private:
  void ask(std::string text);

  const std::uint16_t language_;
  std::mutex mutex_;
  std::condition_variable answered_;
  HWND dialog_ = nullptr;
  unsigned lastNotice_ = 0;
  std::map<unsigned, std::string> waiting_;  // the notices asked and not yet dismissed
};

}  // namespace flashwell::app::win32
