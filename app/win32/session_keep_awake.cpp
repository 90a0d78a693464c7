#include "app/win32/session_keep_awake.h"

#include <string>

#include "app/stop_texts.h"

namespace flashwell::app::win32 {

void SessionKeepAwake::detach() {
  release();
  window_ = nullptr;
}

void SessionKeepAwake::hold() {
  if (held_) return;
  held_ = true;
  // Called on the window thread, which the state belongs to.
  SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
  if (window_ != nullptr) {
    const std::string_view utf8 = stopText(StopText::keepAwakeReason, language_);
    std::wstring reason(utf8.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           reason.data(), static_cast<int>(reason.size()));
    reason.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    ShutdownBlockReasonCreate(window_, reason.c_str());
  }
}

void SessionKeepAwake::release() {
  if (!held_) return;
  held_ = false;
  SetThreadExecutionState(ES_CONTINUOUS);
  if (window_ != nullptr) ShutdownBlockReasonDestroy(window_);
}

}  // namespace flashwell::app::win32
