#include "app/win32/session_keep_awake.h"

#include <string>

#include "app/stop_texts.h"
#include "app/win32/wide_text.h"

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
    const std::wstring reason = wideFromCp1252(stopText(StopText::keepAwakeReason));
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
