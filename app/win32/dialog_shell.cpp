#include "app/win32/dialog_shell.h"

#include <utility>

#include "app/flashwell_dlg.h"
#include "app/win32/link_notices.h"
#include "app/win32/system_locale.h"
#include "app/win32/win32_view.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"
#include "sequencer/control_ids.h"

namespace flashwell::app::win32 {

namespace {

constexpr int kDialogResource = 102;
// Marks our dialog, so that the key filter can find its shell and leaves other windows alone.
constexpr wchar_t kShellProperty[] = L"Flashwell.DialogShell";

class DialogShell {
 public:
  DialogShell(HINSTANCE instance, usb::UsbDriver& driver, usb::Clock& clock,
              std::vector<std::uint8_t> package)
      : instance_(instance),
        notices_(
            catalogue::chosenLanguage(catalogue::embeddedTables().locales, locale_.defaultLcid())),
        controller_(view_, DialogEnvironment{driver, clock, notices_, locale_}, std::move(package)),
        mainIcon_(LoadIconW(instance, MAKEINTRESOURCEW(controller_.mainIcon()))) {}

  void run() {
    // Escape reaches a dialog as command 2, the same command the hidden cancel button carries;
    // a message filter on this thread takes the key before the dialog manager turns it into
    // that command, so that Escape goes through the guarded exit instead.
    HHOOK filter = SetWindowsHookExW(WH_MSGFILTER, escapeFilter, nullptr, GetCurrentThreadId());
    DialogBoxParamW(instance_, MAKEINTRESOURCEW(kDialogResource), nullptr, dialogProc,
                    reinterpret_cast<LPARAM>(this));
    if (filter) UnhookWindowsHookEx(filter);
  }

 private:
  static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
      SetPropW(window, kShellProperty, reinterpret_cast<HANDLE>(lParam));
    }
    auto* shell = static_cast<DialogShell*>(GetPropW(window, kShellProperty));
    return shell ? shell->handle(window, message, wParam) : FALSE;
  }

  static LRESULT CALLBACK escapeFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX) {
      const MSG* msg = reinterpret_cast<const MSG*>(lParam);
      if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE && msg->hwnd) {
        HWND root = GetAncestor(msg->hwnd, GA_ROOT);
        if (auto* shell = static_cast<DialogShell*>(GetPropW(root, kShellProperty))) {
          shell->controller_.OnEscape();
          return 1;
        }
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  INT_PTR handle(HWND window, UINT message, WPARAM wParam) {
    switch (message) {
      case WM_INITDIALOG:
        view_.attach(window);
        notices_.attach(window);
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(mainIcon_));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(mainIcon_));
        return controller_.OnInitDialog() ? TRUE : FALSE;
      case WM_PAINT:
        return paint(window);
      case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(mainIcon_);
      case WM_CLOSE:
        controller_.OnClose();
        return TRUE;
      case WM_TIMER:
        controller_.OnTimer(static_cast<unsigned>(wParam));
        return TRUE;
      case WM_COMMAND:
        return command(LOWORD(wParam), HIWORD(wParam));
      case kLinkNoticeMessage:
        notices_.show(wParam);
        return TRUE;
      case WM_DESTROY:
        // Nothing may reach the window from here on; a worker waiting on a notice goes on.
        notices_.detach();
        view_.detach();
        RemovePropW(window, kShellProperty);
        return FALSE;
      default:
        return FALSE;
    }
  }

  INT_PTR command(int id, int notification) {
    if (notification != BN_CLICKED) return FALSE;
    switch (id) {
      case sequencer::kIdExit:
        controller_.OnExit();
        return TRUE;
      case sequencer::kIdCancel:
        controller_.OnCancelCommand();
        return TRUE;
      case sequencer::kIdOnly:
        controller_.OnOnly();
        return TRUE;
      case sequencer::kIdAlways:
        controller_.OnAlways();
        return TRUE;
      case sequencer::kIdNever:
        controller_.OnNever();
        return TRUE;
      case sequencer::kIdProceed:
        controller_.OnProceed();
        return TRUE;
      default:
        return FALSE;
    }
  }

  // Minimised, the window shows its icon centred; otherwise the dialog paints as usual.
  INT_PTR paint(HWND window) {
    if (!IsIconic(window)) return FALSE;
    PAINTSTRUCT paint;
    HDC context = BeginPaint(window, &paint);
    SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    RECT client;
    GetClientRect(window, &client);
    const POINT at = iconOrigin(client, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    DrawIcon(context, at.x, at.y, mainIcon_);
    EndPaint(window, &paint);
    return TRUE;
  }

  HINSTANCE instance_;
  Win32DialogView view_;
  Win32SystemLocale locale_;
  Win32LinkNotices notices_;
  CFlashwell_02Dlg controller_;
  HICON mainIcon_;
};

}  // namespace

void runMainDialog(HINSTANCE instance, usb::UsbDriver& driver, usb::Clock& clock,
                   std::vector<std::uint8_t> package) {
  DialogShell shell(instance, driver, clock, std::move(package));
  shell.run();
}

}  // namespace flashwell::app::win32
