// The shipped program on the stand-in driver's key (scripts/wine-key): a key plugged in after
// the start and upgraded, a key left in its booter, a run that ends in the failure display.

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "sequencer/control_ids.h"
#include "sequencer/text_ids.h"
#include "tests/wine/checks.h"
#include "tests/wine/remote_window.h"

namespace flashwell::app::win32::testing {

namespace {

using namespace flashwell::sequencer;

// The first line of a column, without the blanks around it.
std::wstring firstLine(const std::wstring& column) {
  std::wstring line = column.substr(0, column.find(L'\n'));
  const std::size_t first = line.find_first_not_of(L" \r");
  if (first == std::wstring::npos) return L"";
  return line.substr(first, line.find_last_not_of(L" \r") - first + 1);
}

// Runs `command` and waits for it; true when it ended with code 0.
bool runCommand(const std::wstring& command) {
  std::wstring line = command;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  DWORD code = 1;
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == 0;
}

// Starts the program and waits, up to `ms`, for its key column to show what `shows` accepts:
// the dialog, or none (and a failed expectation, `what` with the column) when it does not.
HWND dialogWhoseKeyShows(Check& check, RunningProgram& program,
                         const std::function<bool(const std::wstring&)>& shows, DWORD ms,
                         const std::string& what) {
  HWND dialog = startAndFindDialog(check, program);
  if (!dialog) return nullptr;
  const bool shown = waitFor([&] { return shows(itemText(dialog, kIdKeyColumn)); }, ms);
  const std::string column = printable(itemText(dialog, kIdKeyColumn));
  return check.expect(shown, what + "; key column \"" + column + "\"") ? dialog : nullptr;
}

}  // namespace

int runPluggedLater(const std::wstring& exe, const std::wstring& tool) {
  Check check("plug-later");
  RunningProgram program(exe);
  // No key yet: the program asks for one and keeps looking.
  HWND dialog = dialogWhoseKeyShows(
      check, program, [](const std::wstring& key) { return key == text(kTextConnectPrompt); },
      20000, "no connect prompt");
  if (!dialog) return check.failures();
  Sleep(1500);  // a few searches that find nothing
  check.expect(itemText(dialog, kIdKeyColumn) == text(kTextConnectPrompt),
               "the key column changed before the key was plugged in");
  if (!check.expect(runCommand(L"\"" + tool + L"\" plug"), "the key could not be plugged in")) {
    return check.failures();
  }
  // From here on, the whole "Only" upgrade.
  onlyUpgrade(check, program, dialog);
  return check.failures();
}

int runBooterKey(const std::wstring& exe) {
  Check check("booter");
  RunningProgram program(exe);
  const std::wstring notice = L"BOOTER\n\n" + text(kTextBooterNotice);
  auto normalised = [](std::wstring s) {
    std::erase(s, L'\r');
    return s;
  };
  HWND dialog = dialogWhoseKeyShows(
      check, program,
      [&](const std::wstring& key) { return normalised(key) == normalised(notice); }, kKeyReadMs,
      "no booter notice");
  if (!dialog) return check.failures();
  // Whatever the mode, the key's firmware is restored first.
  if (!tickMode(check, dialog, kIdNever)) return check.failures();
  click(dialog, kIdProceed);
  HWND report = nullptr;
  waitFor([&] { return (report = messageBoxOf(program.processId())) != nullptr; }, kUpgradeMs);
  if (!check.expect(report != nullptr, "no final report appeared")) return check.failures();
  std::wstring shownText;
  waitFor([&] { return !(shownText = messageBoxText(report)).empty(); }, 2000);
  check.expect(shownText == text(kTextNoUpgrade),
               "the report says \"" + printable(shownText) + "\"");
  const std::wstring key = itemText(dialog, kIdKeyColumn);
  check.expect(key.find(L"BOOTER") == std::wstring::npos, "the booter notice is still shown");
  check.expect(firstLine(key) == firstLine(itemText(dialog, kIdToolColumn)),
               "the key's firmware is not the tool's: \"" + printable(firstLine(key)) + "\"");
  click(report, IDOK);
  expectEnds(check, program);
  return check.failures();
}

int runFailureDisplay(const std::wstring& exe) {
  Check check("failure");
  RunningProgram program(exe);
  HWND dialog = dialogWhoseKeyShows(
      check, program,
      [](const std::wstring& key) {
        return key.find_first_of(L"0123456789") != std::wstring::npos;
      },
      kKeyReadMs, "the key was not read");
  if (!dialog) return check.failures();
  if (!tickMode(check, dialog, kIdOnly)) return check.failures();
  click(dialog, kIdProceed);
  HWND question = nullptr;
  waitFor([&] { return (question = messageBoxOf(program.processId())) != nullptr; }, 10000);
  if (!check.expect(question != nullptr, "no erase question")) return check.failures();
  click(question, IDYES);
  // The components cannot be written: the copy error stays on the status line and EXIT is
  // offered; no report comes.
  std::wstring status;
  const bool failed = waitFor(
      [&] { return (status = itemText(dialog, kIdStatus)) == text(kTextCopyError); }, kUpgradeMs);
  if (!check.expect(failed, "no copy error; status \"" + printable(status) + "\"")) {
    return check.failures();
  }
  Sleep(2000);
  check.expect(itemText(dialog, kIdStatus) == text(kTextCopyError), "the failure display left");
  check.expect(messageBoxOf(program.processId()) == nullptr, "a message box came with the failure");
  check.expect(waitFor([&] { return itemEnabled(dialog, kIdExit); }, 10000), "EXIT is disabled");
  click(dialog, kIdExit);
  expectEnds(check, program);
  return check.failures();
}

}  // namespace flashwell::app::win32::testing
