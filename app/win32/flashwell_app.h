#pragma once

// The application object of the Windows programs: the single-instance guard, then the main
// dialog, run modally. The two programs differ only in how the dialog is run (which USB
// driver, which clock), which they pass in.

#include <windows.h>

#include <functional>

namespace flashwell::app {

class CFlashwell_02App {
 public:
  // Runs the main dialog modally on this thread and returns when it has ended.
  using RunDialog = std::function<void(HINSTANCE)>;

  CFlashwell_02App(HINSTANCE instance, RunDialog runDialog);

  // The start-up: refuses to run beside another instance, otherwise runs the dialog. Always
  // false: the program ends when it returns. The command line is not read.
  bool InitInstance();

 private:
  HINSTANCE instance_;
  RunDialog runDialog_;
};

}  // namespace flashwell::app
