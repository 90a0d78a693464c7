#pragma once

// The test driver's cases and what they share.

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

// Each returns the number of failed expectations.
int checkResources(const std::wstring& exe);
int checkShell(const std::wstring& exe);
int runOnlyUpgrade(const std::wstring& exe, const std::wstring& screenshotReady,
                   const std::wstring& screenshotDone);
int runNeverUpgrade(const std::wstring& exe);
// Ends the program while it waits for the key, with EXIT or with the Escape key.
int runExitWhileWaiting(const std::wstring& exe, bool withEscape);
int runSecondInstance(const std::wstring& exe);

}  // namespace flashwell::app::win32::testing
