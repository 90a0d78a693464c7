// The program run as its user runs it: started, its dialog found, its key read, a mode ticked,
// PROCEED pressed, the question answered, the report read; and the ways it ends.

#include <windows.h>

#include <string>
#include <vector>

#include "app/win32/instance_guard.h"
#include "catalogue/embedded_package.h"
#include "catalogue/text_tables.h"
#include "sequencer/control_ids.h"
#include "tests/wine/checks.h"
#include "tests/wine/remote_window.h"

namespace flashwell::app::win32::testing {

using namespace flashwell::sequencer;

std::wstring text(std::uint16_t id) {
  return widen(
      catalogue::lookupTextIn(catalogue::embeddedPackage(), catalogue::kLanguageEnglish, id));
}

HWND startAndFindDialog(Check& check, RunningProgram& program) {
  if (!check.expect(program.started(), "the program did not start")) return nullptr;
  HWND dialog = nullptr;
  waitFor([&] { return (dialog = mainDialogOf(program.processId())) != nullptr; }, kAppearMs);
  check.expect(dialog != nullptr, "no main dialog appeared");
  return dialog;
}

void expectEnds(Check& check, RunningProgram& program) {
  DWORD code = 0;
  if (check.expect(program.waitForExit(kEndMs, &code), "the program did not end")) {
    check.expect(code == 0, "the program ended with code " + std::to_string(code));
  }
}

LRESULT endSessionAnswer(Check& check, HWND dialog) {
  DWORD_PTR answer = 2;
  const bool answered = SendMessageTimeoutW(dialog, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP,
                                            SMTO_ABORTIFHUNG, 5000, &answer) != 0;
  check.expect(answered, "no answer to WM_QUERYENDSESSION");
  check.note("WM_QUERYENDSESSION answered " + std::to_string(answer));
  return static_cast<LRESULT>(answer);
}

bool tickMode(Check& check, HWND dialog, int modeId) {
  click(dialog, modeId);
  const bool ready = waitFor(
      [&] { return itemChecked(dialog, modeId) && itemEnabled(dialog, kIdProceed); }, 10000);
  check.expect(ready, "after the mode click: ticked " +
                          std::to_string(itemChecked(dialog, modeId)) + ", PROCEED enabled " +
                          std::to_string(itemEnabled(dialog, kIdProceed)));
  for (int other : {kIdOnly, kIdAlways, kIdNever}) {
    if (other != modeId) check.expect(!itemChecked(dialog, other), "another mode is ticked too");
  }
  return ready;
}

namespace {

// The non-blank lines of a version column, each without its surrounding blanks.
std::vector<std::wstring> versionLines(const std::wstring& column) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start <= column.size()) {
    std::size_t end = column.find(L'\n', start);
    if (end == std::wstring::npos) end = column.size();
    std::wstring line = column.substr(start, end - start);
    const std::size_t first = line.find_first_not_of(L" \r");
    if (first != std::wstring::npos) {
      const std::size_t last = line.find_last_not_of(L" \r");
      lines.push_back(line.substr(first, last - first + 1));
    }
    start = end + 1;
  }
  return lines;
}

bool hasDigit(const std::wstring& s) {
  return s.find_first_of(L"0123456789") != std::wstring::npos;
}

// A column holds versions once it has lines with digits (not "." nor the connect prompt).
bool columnsFilled(HWND dialog) {
  const std::wstring tool = itemText(dialog, kIdToolColumn);
  const std::wstring key = itemText(dialog, kIdKeyColumn);
  return hasDigit(tool) && hasDigit(key) && versionLines(key).size() >= 2;
}

std::string joined(const std::vector<std::wstring>& lines) {
  std::wstring all;
  for (const auto& line : lines) all += line + L" | ";
  return printable(all);
}

// Waits for a message box; fails on a box with another text. Returns it, or null.
HWND expectMessageBox(Check& check, RunningProgram& program, const std::wstring& wanted,
                      DWORD timeoutMs, const char* what) {
  HWND box = nullptr;
  waitFor(
      [&] { return (box = messageBoxOf(program.processId())) != nullptr || !program.running(); },
      timeoutMs);
  if (!check.expect(box != nullptr, std::string("no ") + what + " appeared")) return nullptr;
  // A box may be there before its text: give it a moment.
  std::wstring shown;
  waitFor([&] { return !(shown = messageBoxText(box)).empty(); }, 2000);
  check.expect(shown == wanted, std::string(what) + " says \"" + printable(shown) + "\", want \"" +
                                    printable(wanted) + "\"");
  return box;
}

bool waitForColumns(Check& check, RunningProgram& program, HWND dialog) {
  const bool filled = waitFor([&] { return columnsFilled(dialog); }, kKeyReadMs);
  if (check.expect(filled, "the version columns were not filled; key column \"" +
                               printable(itemText(dialog, kIdKeyColumn)) + "\"")) {
    check.note("both version columns filled " +
               std::to_string(GetTickCount() - program.startTick()) + " ms after the start");
  }
  return filled;
}

bool exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void screenshotHandshake(Check& check, const std::wstring& ready, const std::wstring& done) {
  if (ready.empty()) return;
  HANDLE file = CreateFileW(ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (!check.expect(file != INVALID_HANDLE_VALUE, "cannot write " + printable(ready))) return;
  CloseHandle(file);
  check.expect(waitFor([&] { return exists(done); }, 60000), "no screenshot was taken");
}

}  // namespace

int runOnlyUpgrade(const std::wstring& exe, const std::wstring& screenshotReady,
                   const std::wstring& screenshotDone, bool again) {
  Check check(again ? "only-again" : "only");
  RunningProgram program(exe);
  HWND dialog = startAndFindDialog(check, program);
  if (dialog) onlyUpgrade(check, program, dialog, screenshotReady, screenshotDone, again);
  return check.failures();
}

void onlyUpgrade(Check& check, RunningProgram& program, HWND dialog,
                 const std::wstring& screenshotReady, const std::wstring& screenshotDone,
                 bool again) {
  if (!waitForColumns(check, program, dialog)) return;
  const std::vector<std::wstring> toolLines = versionLines(itemText(dialog, kIdToolColumn));
  const std::vector<std::wstring> keyBefore = versionLines(itemText(dialog, kIdKeyColumn));
  check.note("tool column: " + joined(toolLines));
  check.note("key column before: " + joined(keyBefore));
  if (!again) check.expect(keyBefore != toolLines, "the key already holds the tool's versions");
  check.expect(itemText(dialog, kIdLabels) == text(107),
               "label column \"" + printable(itemText(dialog, kIdLabels)) + "\"");
  screenshotHandshake(check, screenshotReady, screenshotDone);

  if (!tickMode(check, dialog, kIdOnly)) return;
  click(dialog, kIdProceed);
  HWND question = expectMessageBox(check, program, text(188), 10000, "erase question");
  if (!question) return;
  click(question, IDYES);

  // While the key's own firmware is erased and written, EXIT, close and Escape are all refused:
  // a second press of any of them would leave the key without firmware.
  const bool locked = waitFor(
      [&] {
        const std::wstring status = itemText(dialog, kIdStatus);
        return status == text(133) || status == text(134);
      },
      kUpgradeMs);
  if (check.expect(locked, "the key's firmware was never written")) {
    pressEscape(dialog);
    click(dialog, kIdExit);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    // Nor may the session end: the program refuses it.
    check.expect(endSessionAnswer(check, dialog) == FALSE,
                 "the end of the session was allowed during the firmware write");
  }

  HWND report = expectMessageBox(check, program, text(137), kUpgradeMs, "final report");
  if (!report) return;
  // With the report up the key is written: the session may end.
  check.expect(endSessionAnswer(check, dialog) == TRUE,
               "the end of the session was refused after the final report");
  const std::vector<std::wstring> keyAfter = versionLines(itemText(dialog, kIdKeyColumn));
  check.note("key column after: " + joined(keyAfter));
  check.expect(keyAfter == toolLines, "the key column does not show the new versions");
  click(report, IDOK);
  expectEnds(check, program);
}

int runNeverUpgrade(const std::wstring& exe) {
  Check check("never");
  // The program reads no command line: these change nothing.
  RunningProgram program(exe, {}, L"--mode only /yes -emulated=booter");
  HWND dialog = startAndFindDialog(check, program);
  if (!dialog || !waitForColumns(check, program, dialog)) return check.failures();
  if (!tickMode(check, dialog, kIdNever)) return check.failures();
  click(dialog, kIdProceed);
  // "Never" asks nothing: the next box is the report.
  HWND report = expectMessageBox(check, program, text(139), kUpgradeMs, "final report");
  if (!report) return check.failures();
  click(report, IDOK);
  expectEnds(check, program);
  return check.failures();
}

int runEndSessionWhileWaiting(const std::wstring& exe) {
  Check check("end-session-waiting");
  RunningProgram program(exe, {L"FLASHWELL_DEMO_PLUG_MS=100000000"});
  HWND dialog = startAndFindDialog(check, program);
  if (!dialog) return check.failures();
  check.expect(endSessionAnswer(check, dialog) == TRUE, "the end of the session was refused");
  // The session ends once the answer to WM_ENDSESSION is back: the orderly exit has run by then.
  DWORD_PTR ignored = 0;
  check.expect(SendMessageTimeoutW(dialog, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP,
                                   SMTO_ABORTIFHUNG, kEndMs, &ignored) != 0,
               "WM_ENDSESSION was not answered");
  expectEnds(check, program);
  return check.failures();
}

int runExitWhileWaiting(const std::wstring& exe, bool withEscape) {
  Check check(withEscape ? "escape-waiting" : "exit-waiting");
  // The key is never plugged in while this runs.
  RunningProgram program(exe, {L"FLASHWELL_DEMO_PLUG_MS=100000000"});
  HWND dialog = startAndFindDialog(check, program);
  if (!dialog) return check.failures();
  check.expect(
      waitFor([&] { return itemText(dialog, kIdKeyColumn) == text(187); }, 20000),
      "no connect prompt; key column \"" + printable(itemText(dialog, kIdKeyColumn)) + "\"");
  if (withEscape) {
    pressEscape(dialog);
  } else {
    click(dialog, kIdExit);
  }
  // The orderly exit, not the cancel ending: "EXITING..." stays on the status line for at least
  // a tick while the worker stops.
  std::wstring status;
  waitFor([&] { return (status = itemText(dialog, kIdStatus)) == text(106) || !program.running(); },
          kEndMs);
  check.expect(status == text(106), "no orderly exit; status \"" + printable(status) + "\"");
  expectEnds(check, program);
  check.expect(messageBoxOf(program.processId()) == nullptr, "a message box was shown");
  return check.failures();
}

int runSecondInstance(const std::wstring& exe) {
  Check check("second-instance");
  const std::vector<std::wstring> noKey{L"FLASHWELL_DEMO_PLUG_MS=100000000"};
  {
    RunningProgram first(exe, noKey);
    HWND firstDialog = startAndFindDialog(check, first);
    if (!firstDialog) return check.failures();

    RunningProgram second(exe, noKey);
    HWND refusal =
        expectMessageBox(check, second, widen(kAnotherInstanceText), kAppearMs, "refusal");
    check.expect(mainDialogOf(second.processId()) == nullptr, "the second start opened a dialog");
    if (refusal) {
      click(refusal, IDOK);
      expectEnds(check, second);
    }
    check.expect(second.waitForExit(0) || !second.running(), "the second start still runs");
    check.expect(first.running() && mainDialogOf(first.processId()) == firstDialog,
                 "the first instance was disturbed");
    click(firstDialog, kIdExit);
    expectEnds(check, first);
  }
  // The name went with the first process: a new start opens normally.
  RunningProgram again(exe, noKey);
  HWND dialog = startAndFindDialog(check, again);
  if (dialog) {
    click(dialog, kIdExit);
    expectEnds(check, again);
  }
  return check.failures();
}

}  // namespace flashwell::app::win32::testing
