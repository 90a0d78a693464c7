// flashwell-wine-test: runs the Windows programs as their user would, under Wine or Windows.
//
//   flashwell-wine-test resources|shell PROGRAM.exe
//   flashwell-wine-test only PROGRAM.exe [READY_FILE DONE_FILE]
//   flashwell-wine-test never|exit-waiting|escape-waiting|end-session-waiting|second-instance
//                       PROGRAM.exe
//   flashwell-wine-test only-again|booter|failure PROGRAM.exe
//   flashwell-wine-test plug-later PROGRAM.exe STANDIN_TOOL.exe
//
// "shell" checks the shell's pieces in this process, on the dialog of PROGRAM's resources.
//
// "only" creates READY_FILE once both version columns are filled and waits for DONE_FILE
// before it goes on, so that a screenshot can be taken of the window in between. "only-again"
// is the same upgrade on a key that may show the tool's versions already. "plug-later" starts
// with no key and plugs the stand-in driver's key in with "STANDIN_TOOL.exe plug". The exit
// code is 0 when every expectation held.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tests/wine/checks.h"

namespace {

std::wstring wide(const char* s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, s, -1, out.data(), n);
  return out;
}

int usage() {
  std::fputs(
      "usage: flashwell-wine-test resources|shell|only|never|exit-waiting|escape-waiting|"
      "end-session-waiting|second-instance|only-again|booter|failure PROGRAM.exe [READY_FILE "
      "DONE_FILE]\n"
      "       flashwell-wine-test plug-later PROGRAM.exe STANDIN_TOOL.exe\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace flashwell::app::win32::testing;
  if (argc < 3) return usage();
  const std::string name = argv[1];
  const std::wstring exe = wide(argv[2]);
  int failures = -1;
  if (name == "resources" && argc == 3) {
    failures = checkResources(exe);
  } else if (name == "shell" && argc == 3) {
    failures = checkShell(exe);
  } else if (name == "only" && (argc == 3 || argc == 5)) {
    failures =
        runOnlyUpgrade(exe, argc == 5 ? wide(argv[3]) : L"", argc == 5 ? wide(argv[4]) : L"");
  } else if (name == "never" && argc == 3) {
    failures = runNeverUpgrade(exe);
  } else if ((name == "exit-waiting" || name == "escape-waiting") && argc == 3) {
    failures = runExitWhileWaiting(exe, name == "escape-waiting");
  } else if (name == "end-session-waiting" && argc == 3) {
    failures = runEndSessionWhileWaiting(exe);
  } else if (name == "second-instance" && argc == 3) {
    failures = runSecondInstance(exe);
  } else if (name == "only-again" && argc == 3) {
    failures = runOnlyUpgrade(exe, L"", L"", true);
  } else if (name == "booter" && argc == 3) {
    failures = runBooterKey(exe);
  } else if (name == "failure" && argc == 3) {
    failures = runFailureDisplay(exe);
  } else if (name == "plug-later" && argc == 4) {
    failures = runPluggedLater(exe, wide(argv[3]));
  } else {
    return usage();
  }
  std::printf("%s %s (%d failed)\n", failures == 0 ? "PASS" : "FAIL", name.c_str(), failures);
  return failures == 0 ? 0 : 1;
}
