// The shell's own pieces, in this process: the view on a live dialog 102, the busy notice handed
// from a worker thread to the window thread, the demo's settings and the guard's name copy.

#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "app/win32/demo_settings.h"
#include "app/win32/instance_guard.h"
#include "app/win32/link_notices.h"
#include "app/win32/win32_view.h"
#include "catalogue/text_tables.h"
#include "sequencer/control_ids.h"
#include "tests/wine/checks.h"
#include "tests/wine/remote_window.h"

namespace flashwell::app::win32::testing {

namespace {

using namespace flashwell::sequencer;

// What the test dialog's procedure reaches: the notices under test, while there are any.
struct DialogContext {
  Win32LinkNotices* notices = nullptr;
};

INT_PTR CALLBACK testDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == kLinkNoticeMessage && context && context->notices) {
    context->notices->show(wParam);
    return TRUE;
  }
  return FALSE;
}

// Runs this thread's messages until `done` holds or `timeoutMs` have passed.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start >= timeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  }
  return true;
}

HWND boxOfThisProcess(HWND except) {
  for (HWND box : dialogsOf(GetCurrentProcessId())) {
    if (box != except) return box;
  }
  return nullptr;
}

void checkView(Check& check, HWND dialog) {
  Win32DialogView view;
  view.setText(kIdStatus, "before attach");  // no window yet: nothing happens
  check.expect(itemText(dialog, kIdStatus).empty(), "an unattached view wrote a text");
  check.expect(view.messageBox("?", MessageBoxKind::yesNoQuestion) == MessageBoxAnswer::no,
               "an unattached view answered a question with yes");
  view.attach(dialog);

  // Windows-1252 bytes arrive as the characters they stand for, whatever the ANSI code page.
  view.setText(kIdStatus, "\x80 caf\xe9 \x93ok\x94");
  check.expect(itemText(dialog, kIdStatus) == L"\u20ac caf\u00e9 \u201cok\u201d",
               "status text \"" + printable(itemText(dialog, kIdStatus)) + "\"");
  view.setCaption("UPDATE for  LAPSTER4");
  check.expect(textOf(dialog) == L"UPDATE for  LAPSTER4", "caption");

  HWND bar = GetDlgItem(dialog, kIdProgress);
  struct Range {
    int minimum, maximum, position;
  };
  for (const Range r : {Range{0, 1000, 999}, Range{0, 100, 50}, Range{0, 200000, 150000}}) {
    view.setProgressRange(r.minimum, r.maximum);
    view.setProgressPos(r.position);
    PBRANGE live{};
    SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&live));
    const int pos = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    check.expect(live.iLow == r.minimum && live.iHigh == r.maximum && pos == r.position,
                 "bar " + std::to_string(live.iLow) + ".." + std::to_string(live.iHigh) + " at " +
                     std::to_string(pos) + ", want " + std::to_string(r.maximum) + " at " +
                     std::to_string(r.position));
  }

  view.setCheck(kIdAlways, true);
  check.expect(itemChecked(dialog, kIdAlways), "check mark not set");
  view.setCheck(kIdAlways, false);
  check.expect(!itemChecked(dialog, kIdAlways), "check mark not cleared");
  view.enable(kIdProceed, false);
  check.expect(!itemEnabled(dialog, kIdProceed), "PROCEED not disabled");
  view.enable(kIdProceed, true);
  check.expect(itemEnabled(dialog, kIdProceed), "PROCEED not enabled");
  view.show(kIdModePrompt, false);
  check.expect(!(GetWindowLongW(GetDlgItem(dialog, kIdModePrompt), GWL_STYLE) & WS_VISIBLE),
               "prompt not hidden");
  view.show(kIdModePrompt, true);
  check.expect((GetWindowLongW(GetDlgItem(dialog, kIdModePrompt), GWL_STYLE) & WS_VISIBLE) != 0,
               "prompt not shown");

  // The question: answered from another thread, as a user would.
  std::thread answer([&] {
    HWND box = nullptr;
    waitFor([&] { return (box = boxOfThisProcess(dialog)) != nullptr; }, 10000);
    if (box) click(box, IDYES);
  });
  const MessageBoxAnswer answered =
      view.messageBox(" Do you agree ?", MessageBoxKind::yesNoQuestion);
  answer.join();
  check.expect(answered == MessageBoxAnswer::yes, "Yes was not reported as yes");
  view.detach();
}

void checkNotices(Check& check, HWND dialog, DialogContext& context) {
  Win32LinkNotices notices(catalogue::kLanguageEnglish);
  context.notices = &notices;

  // Without a dialog a notice does not wait.
  notices.anotherProgramUsesKey();

  // With one, the worker waits until the box on the window thread is dismissed. The user is a
  // third thread: this one is inside the box's modal loop while it is open.
  notices.attach(dialog);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    notices.anotherProgramUsesKey();
    returned = true;
  });
  bool shown = false;
  bool waited = false;
  std::wstring text;
  std::thread user([&] {
    HWND box = nullptr;
    shown = waitFor([&] { return (box = boxOfThisProcess(dialog)) != nullptr; }, 10000);
    if (!shown) return;
    waitFor([&] { return !(text = messageBoxText(box)).empty(); }, 2000);
    Sleep(300);
    waited = !returned;
    click(box, IDOK);
  });
  const bool released = pumpUntil([&] { return returned.load(); }, 15000);
  user.join();
  check.expect(shown, "the busy notice was not shown");
  check.expect(text == L"ANOTHER PROGRAM UTILIZES USB", "notice says \"" + printable(text) + "\"");
  check.expect(waited, "the worker went on before the notice was dismissed");
  check.expect(released, "the worker still waits after the notice was dismissed");
  if (!released) notices.detach();
  worker.join();

  // A notice that the window never took up (the dialog went away first) lets the worker go,
  // and is not shown afterwards: its sender has gone.
  notices.attach(dialog);
  returned = false;
  std::thread late([&] {
    notices.anotherProgramUsesKey();
    returned = true;
  });
  Sleep(200);  // the notice is posted, but this thread does not look at its messages
  notices.detach();
  late.join();
  check.expect(returned, "detach did not release the waiting worker");
  pumpUntil([] { return false; }, 300);
  check.expect(boxOfThisProcess(dialog) == nullptr, "a stale notice was shown");
  context.notices = nullptr;
}

void checkSettings(Check& check) {
  struct SpeedCase {
    const char* text;
    std::optional<double> value;
  };
  for (const SpeedCase& c :
       {SpeedCase{"4", 4.0}, SpeedCase{"2.5", 2.5}, SpeedCase{"0.1", 0.1},
        SpeedCase{"1000", 1000.0}, SpeedCase{"0.05", std::nullopt}, SpeedCase{"1001", std::nullopt},
        SpeedCase{"", std::nullopt}, SpeedCase{".", std::nullopt}, SpeedCase{"1.2.3", std::nullopt},
        SpeedCase{"-2", std::nullopt}, SpeedCase{"3x", std::nullopt},
        SpeedCase{"1.00000000000000001", std::nullopt}}) {
    const std::optional<double> parsed = parseSpeed(c.text);
    const bool same = parsed.has_value() == c.value.has_value() &&
                      (!parsed || (*parsed > *c.value - 1e-9 && *parsed < *c.value + 1e-9));
    check.expect(same, std::string("speed \"") + c.text + "\"");
  }
  struct MsCase {
    const char* text;
    std::optional<std::uint64_t> value;
  };
  for (const MsCase& c :
       {MsCase{"2000", 2000}, MsCase{"0", 0}, MsCase{"1000000000", 1000000000},
        MsCase{"1000000001", std::nullopt}, MsCase{"", std::nullopt}, MsCase{"12ms", std::nullopt},
        MsCase{"-1", std::nullopt}, MsCase{"99999999999999999999999", std::nullopt}}) {
    check.expect(parseMilliseconds(c.text) == c.value,
                 std::string("milliseconds \"") + c.text + "\"");
  }
}

void checkNameCopy(Check& check) {
  check.expect(std::string(boundedNameCopy(kGuardEventName).data()) == kGuardEventName,
               "the guard's name is not copied whole");
  const std::string longName(300, 'n');
  const GuardNameBuffer copy = boundedNameCopy(longName.c_str());
  check.expect(std::string(copy.data()) == std::string(kGuardNameLimit, 'n'),
               "a long name is not cut at " + std::to_string(kGuardNameLimit) + " characters");
}

}  // namespace

int checkShell(const std::wstring& exe) {
  Check check("shell");
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  checkSettings(check);
  checkNameCopy(check);
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!check.expect(module != nullptr, "cannot load the program")) return check.failures();
  DialogContext context;
  HWND dialog = CreateDialogParamW(module, MAKEINTRESOURCEW(102), nullptr, testDialogProc,
                                   reinterpret_cast<LPARAM>(&context));
  if (check.expect(dialog != nullptr, "dialog 102 cannot be created")) {
    checkView(check, dialog);
    checkNotices(check, dialog, context);
    DestroyWindow(dialog);
  }
  FreeLibrary(module);
  return check.failures();
}

}  // namespace flashwell::app::win32::testing
