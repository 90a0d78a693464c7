#pragma once

// The test driver's cases and what they share.

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace flashwell::app::win32::testing {

// Counts the failed expectations of one case and logs each.
class Check {
 public:
  explicit Check(const char* name) : name_(name) {}
  bool expect(bool condition, const std::string& what) {
    if (!condition) {
      ++failures_;
      std::printf("  FAIL %s: %s\n", name_, what.c_str());
      std::fflush(stdout);
    }
    return condition;
  }
  void note(const std::string& what) {
    std::printf("  %s: %s\n", name_, what.c_str());
    std::fflush(stdout);
  }
  int failures() const { return failures_; }

 private:
  const char* name_;
  int failures_ = 0;
};

// The tool's text `id` in English: the cases run in an English locale.
std::wstring text(std::uint16_t id);

// How long the cases wait, in milliseconds.
inline constexpr DWORD kAppearMs = 30000;   // from start to the dialog on screen
inline constexpr DWORD kKeyReadMs = 60000;  // from start to both columns filled
inline constexpr DWORD kUpgradeMs = 180000;
inline constexpr DWORD kEndMs = 30000;  // from the last answer to the end of the process

class RunningProgram;
// Waits for the program's main dialog; none (and a failed expectation) when it does not come.
HWND startAndFindDialog(Check& check, RunningProgram& program);
// Expects the program to end, with code 0, within kEndMs.
void expectEnds(Check& check, RunningProgram& program);
// Asks the dialog whether the session may end (WM_QUERYENDSESSION); its answer, TRUE or FALSE.
LRESULT endSessionAnswer(Check& check, HWND dialog);
// Ticks a mode and expects it alone ticked and PROCEED enabled, as the sequencer does once it
// sees the mode.
bool tickMode(Check& check, HWND dialog, int modeId);

// Each returns the number of failed expectations.
int checkResources(const std::wstring& exe);
int checkShell(const std::wstring& exe);
// `again`: the key may show the tool's versions already (a run after a failed one).
int runOnlyUpgrade(const std::wstring& exe, const std::wstring& screenshotReady,
                   const std::wstring& screenshotDone, bool again = false);
int runNeverUpgrade(const std::wstring& exe);
// The "Only" upgrade from the moment the dialog is there: both columns read, "Only" ticked,
// PROCEED, Yes, the final report with the key column equal to the tool's, OK, the end.
void onlyUpgrade(Check& check, RunningProgram& program, HWND dialog,
                 const std::wstring& screenshotReady = L"",
                 const std::wstring& screenshotDone = L"", bool again = false);
// Ends the program while it waits for the key, with EXIT or with the Escape key.
int runExitWhileWaiting(const std::wstring& exe, bool withEscape);
// The end of the session while it waits for the key: allowed, and it ends the program in order.
int runEndSessionWhileWaiting(const std::wstring& exe);
int runSecondInstance(const std::wstring& exe);
// On the stand-in driver's key: the key plugged in (by `tool` plug) while the program waits for
// it, then upgraded with "Only"; a key left in its booter; a run that ends in the copy error.
int runPluggedLater(const std::wstring& exe, const std::wstring& tool);
int runBooterKey(const std::wstring& exe);
int runFailureDisplay(const std::wstring& exe);

}  // namespace flashwell::app::win32::testing
