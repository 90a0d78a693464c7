#include "tests/wine/remote_window.h"

#include <cstdio>

#include "app/win32/wide_text.h"

namespace flashwell::app::win32::testing {

namespace {

constexpr int kProceedId = 1096;
constexpr int kMessageBoxTextId = 0xFFFF;  // the static that holds a message box's text
constexpr UINT kTextTimeoutMs = 2000;

bool isDialogClass(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return std::wstring(name) == L"#32770";
}

}  // namespace

RunningProgram::RunningProgram(const std::wstring& exe,
                               const std::vector<std::wstring>& environment,
                               const std::wstring& arguments) {
  // The environment block: ours, then the additions (a later entry of a name wins).
  std::wstring block;
  if (wchar_t* own = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry; entry += wcslen(entry) + 1) {
      block += entry;
      block += L'\0';
    }
    FreeEnvironmentStringsW(own);
  }
  for (const std::wstring& entry : environment) {
    block += entry;
    block += L'\0';
  }
  block += L'\0';

  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startTick_ = GetTickCount();
  if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &process_)) {
    std::printf("    cannot start the program (error %lu)\n", GetLastError());
    process_ = {};
  }
}

RunningProgram::~RunningProgram() {
  if (!process_.hProcess) return;
  if (running()) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

bool RunningProgram::waitForExit(DWORD timeoutMs, DWORD* exitCode) {
  if (!process_.hProcess) return false;
  if (WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (exitCode) GetExitCodeProcess(process_.hProcess, exitCode);
  return true;
}

bool RunningProgram::running() {
  return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

namespace {

struct DialogSearch {
  DWORD processId;
  std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<DialogSearch*>(context);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && IsWindowVisible(window) && isDialogClass(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

std::vector<HWND> dialogsOf(DWORD processId) {
  DialogSearch search{processId, {}};
  EnumWindows(collectDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND mainDialogOf(DWORD processId) {
  for (HWND dialog : dialogsOf(processId)) {
    if (GetDlgItem(dialog, kProceedId)) return dialog;
  }
  return nullptr;
}

HWND messageBoxOf(DWORD processId) {
  for (HWND dialog : dialogsOf(processId)) {
    if (!GetDlgItem(dialog, kProceedId)) return dialog;
  }
  return nullptr;
}

std::wstring textOf(HWND window) {
  if (!window) return {};
  wchar_t buffer[4096] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer),
                           SMTO_ABORTIFHUNG, kTextTimeoutMs, &copied)) {
    return {};
  }
  return std::wstring(buffer, copied);
}

std::wstring itemText(HWND dialog, int id) {
  return textOf(GetDlgItem(dialog, id));
}

std::wstring messageBoxText(HWND box) {
  if (HWND text = GetDlgItem(box, kMessageBoxTextId)) return textOf(text);
  // Otherwise the longest static of the box.
  std::wstring longest;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (_wcsicmp(name, L"Static") != 0) continue;
    std::wstring text = textOf(child);
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

bool itemEnabled(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && IsWindowEnabled(item);
}

bool itemChecked(HWND dialog, int id) {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kTextTimeoutMs,
                      &state);
  return state == BST_CHECKED;
}

void click(HWND dialog, int id) {
  // Posted: a click may open a modal box in the program, and we must be free to answer it.
  PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void pressEscape(HWND dialog) {
  HWND target = GetDlgItem(dialog, 1);
  PostMessageW(target ? target : dialog, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(target ? target : dialog, WM_KEYUP, VK_ESCAPE, 0xC0010001);
}

bool waitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

std::wstring widen(const std::string& cp1252) {
  return wideFromCp1252(cp1252);
}

std::string printable(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) {
    if (c == L'\n') {
      out += "\\n";
    } else if (c == L'\r') {
      out += "\\r";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char escaped[12];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out;
}

}  // namespace flashwell::app::win32::testing
