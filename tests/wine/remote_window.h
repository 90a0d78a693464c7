#pragma once

// Looking at and working the windows of another process, the way a user would: find them,
// read their texts, click their buttons, wait for them to change.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace flashwell::app::win32::testing {

// A program started by the test; it is ended (if still running) when this goes away.
class RunningProgram {
 public:
  // Starts `exe` with the test's environment plus `environment` ("NAME=value" entries), and
  // `arguments` after the program's name on its command line.
  RunningProgram(const std::wstring& exe, const std::vector<std::wstring>& environment = {},
                 const std::wstring& arguments = L"");
  ~RunningProgram();
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  DWORD processId() const { return process_.dwProcessId; }
  DWORD startTick() const { return startTick_; }
  // Waits for the program to end; its exit code, or none when it still runs after `timeoutMs`.
  bool waitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr);
  bool running();

 private:
  PROCESS_INFORMATION process_{};
  DWORD startTick_ = 0;
};

// The visible top-level dialog windows (message boxes included) of a process.
std::vector<HWND> dialogsOf(DWORD processId);
// The process's main dialog: the one with the PROCEED button.
HWND mainDialogOf(DWORD processId);
// A dialog of the process other than the main one (a message box).
HWND messageBoxOf(DWORD processId);

std::wstring textOf(HWND window);
std::wstring itemText(HWND dialog, int id);
// The message text of a message box.
std::wstring messageBoxText(HWND box);
bool itemEnabled(HWND dialog, int id);
bool itemChecked(HWND dialog, int id);
// Presses a button the way a click does; returns at once, whatever the click sets off.
void click(HWND dialog, int id);
// The Escape key, as the keyboard delivers it to the focused control of the dialog.
void pressEscape(HWND dialog);

// Polls `condition` every 20 ms until it holds or `timeoutMs` have passed.
bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs);

std::wstring widen(const std::string& cp1252);
// A text for the log: non-ASCII and line breaks escaped.
std::string printable(const std::wstring& text);

}  // namespace flashwell::app::win32::testing
