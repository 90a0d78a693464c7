#include "app/win32/flashwell_app.h"

#include <commctrl.h>

#include <utility>

#include "app/win32/instance_guard.h"
#include "app/win32/wide_text.h"

namespace flashwell::app {

CFlashwell_02App::CFlashwell_02App(HINSTANCE instance, RunDialog runDialog)
    : instance_(instance), runDialog_(std::move(runDialog)) {}

bool CFlashwell_02App::InitInstance() {
  const win32::GuardNameBuffer name = win32::boundedNameCopy(win32::kGuardEventName);

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  if (win32::createGuardEvent(name.data()) != 0) {
    // Another instance holds the name, or the event could not be made: either way we may not
    // run beside whatever holds it.
    MessageBoxW(nullptr, win32::wideFromCp1252(win32::kAnotherInstanceText).c_str(), L"Flashwell",
                MB_OK | MB_ICONINFORMATION | MB_SYSTEMMODAL);
    return false;
  }
  runDialog_(instance_);
  return false;
}

}  // namespace flashwell::app
