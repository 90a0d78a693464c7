#pragma once

// Sleep and shutdown held off on Windows: the system kept awake by the execution state of the
// window thread, and the end of the session refused with a reason that Windows shows.

#include <windows.h>

#include <cstdint>

#include "app/keep_awake.h"

namespace flashwell::app::win32 {

class SessionKeepAwake final : public KeepAwake {
 public:
  // The reason is given in the language of this number.
  explicit SessionKeepAwake(std::uint16_t languageNumber) : language_(languageNumber) {}

  // The window that answers the end of the session; known once the dialog exists.
  void attach(HWND window) { window_ = window; }
  // Gives the hold back first: a window that is gone keeps no reason.
  void detach();

  void hold() override;
  void release() override;

  // Whether the end of the session is to be refused now.
  bool held() const { return held_; }

 private:
  std::uint16_t language_;
  HWND window_ = nullptr;
  bool held_ = false;
};

}  // namespace flashwell::app::win32
