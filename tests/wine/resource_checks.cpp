// The resources of a built program, checked from the outside: dialog 102 made live from the
// program's own resources and compared, control by control, with the controller's template
// table; the icon's sizes and colour depths, the banner bitmap, the manifest and the version
// record.

#include <windows.h>

#include <commctrl.h>

#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "app/dialog_template.h"
#include "sequencer/control_ids.h"
#include "tests/wine/checks.h"
#include "tests/wine/remote_window.h"

namespace flashwell::app::win32::testing {

namespace {

// Resource types, by number (the headers' names for them depend on the character set).
const LPCWSTR kTypeBitmap = MAKEINTRESOURCEW(2);
const LPCWSTR kTypeIcon = MAKEINTRESOURCEW(3);
const LPCWSTR kTypeGroupIcon = MAKEINTRESOURCEW(14);
const LPCWSTR kTypeManifest = MAKEINTRESOURCEW(24);

std::string str(const std::wstring& w) {
  return printable(w);
}

std::wstring className(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct LiveKind {
  const wchar_t* windowClass;
  DWORD typeMask;
  DWORD type;
};

LiveKind liveKind(ControlKind kind) {
  switch (kind) {
    case ControlKind::pushButton:
      return {L"Button", BS_TYPEMASK, BS_PUSHBUTTON};
    case ControlKind::defaultPushButton:
      return {L"Button", BS_TYPEMASK, BS_DEFPUSHBUTTON};
    case ControlKind::staticText:
      return {L"Static", SS_TYPEMASK, SS_LEFT};
    case ControlKind::staticBitmap:
      return {L"Static", SS_TYPEMASK, SS_BITMAP};
    case ControlKind::groupBox:
      return {L"Button", BS_TYPEMASK, BS_GROUPBOX};
    case ControlKind::autoCheckBox:
      return {L"Button", BS_TYPEMASK, BS_AUTOCHECKBOX};
    case ControlKind::progressBar:
      return {PROGRESS_CLASSW, 0, 0};
  }
  return {L"", 0, 0};
}

// Each style flag of the table, where it lives on the window and for which class it means it.
struct StyleFlag {
  std::uint32_t flag;
  const char* name;
  bool extended;
  DWORD bit;
  const wchar_t* onlyClass;  // null: every class
};
constexpr StyleFlag kStyleFlags[] = {
    {kVisible, "visible", false, WS_VISIBLE, nullptr},
    {kDisabled, "disabled", false, WS_DISABLED, nullptr},
    {kTabStop, "tab stop", false, WS_TABSTOP, nullptr},
    {kStaticEdge, "static edge", true, WS_EX_STATICEDGE, nullptr},
    {kModalFrame, "modal frame", true, WS_EX_DLGMODALFRAME, nullptr},
    {kClientEdge, "client edge", true, WS_EX_CLIENTEDGE, nullptr},
    {kSmooth, "smooth", false, PBS_SMOOTH, PROGRESS_CLASSW},
    {kMultiLine, "multi-line", false, BS_MULTILINE, L"Button"},
    {kFlat, "flat", false, BS_FLAT, L"Button"},
};

// Where the dialog manager puts a control: place and size are each converted from dialog units
// on their own (converting the corners instead can differ by a pixel).
RECT pixels(HWND dialog, int x, int y, int width, int height) {
  RECT at{x, y, x, y};
  MapDialogRect(dialog, &at);
  RECT size{0, 0, width, height};
  MapDialogRect(dialog, &size);
  return RECT{at.left, at.top, at.left + size.right, at.top + size.bottom};
}

std::string rectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

void checkControl(Check& check, HWND dialog, HWND control, const ControlSpec& expected,
                  std::size_t index) {
  const std::string where =
      "control #" + std::to_string(index) + " (id " + std::to_string(expected.id) + ")";
  const int id = GetDlgCtrlID(control);
  check.expect(id == expected.id || (expected.id == sequencer::kIdNone && id == 0xFFFF),
               where + ": live id " + std::to_string(id));

  const LiveKind kind = liveKind(expected.kind);
  const std::wstring liveClass = className(control);
  const DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
  check.expect(_wcsicmp(liveClass.c_str(), kind.windowClass) == 0,
               where + ": class " + str(liveClass));
  if (kind.typeMask) {
    check.expect((style & kind.typeMask) == kind.type,
                 where + ": type " + std::to_string(style & kind.typeMask));
  }
  for (const StyleFlag& f : kStyleFlags) {
    if (f.onlyClass && _wcsicmp(liveClass.c_str(), f.onlyClass) != 0) continue;
    const bool live = ((f.extended ? exStyle : style) & f.bit) != 0;
    const bool wanted = (expected.style & f.flag) != 0;
    check.expect(live == wanted, where + ": " + f.name + (wanted ? " missing" : " not wanted"));
  }

  RECT live;
  GetWindowRect(control, &live);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&live), 2);
  const RECT wanted = pixels(dialog, expected.x, expected.y, expected.width, expected.height);
  if (expected.kind == ControlKind::staticBitmap) {
    // A picture static takes the size of its picture: only its place is the template's.
    check.expect(live.left == wanted.left && live.top == wanted.top,
                 where + ": at " + rectText(live) + ", template " + rectText(wanted));
    check.expect(live.right - live.left == 50 && live.bottom - live.top == 22,
                 where + ": picture " + rectText(live) + ", want 50x22");
    check.expect(SendMessageW(control, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0,
                 where + ": shows no bitmap");
  } else {
    check.expect(EqualRect(&live, &wanted),
                 where + ": at " + rectText(live) + ", template " + rectText(wanted));
    const std::wstring text = textOf(control);
    check.expect(text == widen(std::string(expected.text)), where + ": text \"" + str(text) + "\"");
  }
}

// The dialog as its template makes it, with nothing of the program's own behaviour.
INT_PTR CALLBACK inertDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

void checkDialog(Check& check, HMODULE module) {
  const DialogTemplate& table = mainDialogTemplate();
  HWND dialog =
      CreateDialogParamW(module, MAKEINTRESOURCEW(table.resourceId), nullptr, inertDialogProc, 0);
  if (!check.expect(dialog != nullptr, "dialog " + std::to_string(table.resourceId) +
                                           " cannot be created (error " +
                                           std::to_string(GetLastError()) + ")")) {
    return;
  }
  const DWORD style = static_cast<DWORD>(GetWindowLongW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(dialog, GWL_EXSTYLE));
  const DWORD wantedStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  check.expect((style & wantedStyle) == wantedStyle, "dialog style " + std::to_string(style));
  check.expect((style & (WS_CHILD | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0,
               "dialog has more than a modal frame: style " + std::to_string(style));
  check.expect((exStyle & WS_EX_APPWINDOW) != 0, "dialog not shown in the task bar");
  check.expect(textOf(dialog) == widen(std::string(table.caption)),
               "caption \"" + str(textOf(dialog)) + "\"");

  RECT client;
  GetClientRect(dialog, &client);
  const RECT wanted = pixels(dialog, 0, 0, table.width, table.height);
  check.expect(EqualRect(&client, &wanted),
               "client area " + rectText(client) + ", template " + rectText(wanted));

  LOGFONTW font{};
  HFONT handle = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  if (check.expect(handle != nullptr, "dialog has no font of its own")) {
    GetObjectW(handle, sizeof font, &font);
    check.expect(widen(std::string(table.fontName)) == font.lfFaceName,
                 "font \"" + str(font.lfFaceName) + "\"");
  }

  std::size_t index = 0;
  HWND control = GetWindow(dialog, GW_CHILD);
  for (; control && index < table.controls.size();
       control = GetWindow(control, GW_HWNDNEXT), ++index) {
    checkControl(check, dialog, control, table.controls[index], index);
  }
  check.expect(index == table.controls.size() && control == nullptr,
               "the dialog has " + std::to_string(index + (control ? 1 : 0)) +
                   (control ? "+" : "") + " controls, the template " +
                   std::to_string(table.controls.size()));
  DestroyWindow(dialog);
}

std::pair<const std::uint8_t*, DWORD> resourceBytes(HMODULE module, LPCWSTR name, LPCWSTR type) {
  HRSRC found = FindResourceW(module, name, type);
  if (!found) return {nullptr, 0};
  HGLOBAL loaded = LoadResource(module, found);
  return {static_cast<const std::uint8_t*>(LockResource(loaded)), SizeofResource(module, found)};
}

std::uint16_t le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
std::int32_t le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | p[1] << 8 | p[2] << 16 |
                                   static_cast<std::uint32_t>(p[3]) << 24);
}

void checkIcon(Check& check, HMODULE module) {
  const auto [group, size] = resourceBytes(module, MAKEINTRESOURCEW(kIconResource), kTypeGroupIcon);
  if (!check.expect(group && size >= 6, "no icon group 128")) return;
  const std::size_t count = le16(group + 4);
  if (!check.expect(size >= 6 + 14 * count, "icon group 128 cut short")) return;
  std::set<std::pair<int, int>> images;  // (pixels, bits per pixel)
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* entry = group + 6 + 14 * i;
    const int width = entry[0] ? entry[0] : 256;
    const int bits = le16(entry + 6);
    images.insert({width, bits});
    // The image itself must say the same.
    const auto [image, imageSize] =
        resourceBytes(module, MAKEINTRESOURCEW(le16(entry + 12)), kTypeIcon);
    if (check.expect(image && imageSize >= 40, "icon image " + std::to_string(i) + " missing")) {
      check.expect(
          le32(image + 4) == width && le32(image + 8) == 2 * width && le16(image + 14) == bits,
          "icon image " + std::to_string(i) + " is not what its entry says");
    }
  }
  for (int pixels : {16, 32, 48}) {
    for (int bits : {4, 8}) {
      check.expect(
          images.count({pixels, bits}) == 1,
          "icon 128 lacks " + std::to_string(pixels) + " px at " + std::to_string(bits) + " bits");
    }
  }
  check.expect(images.size() == 6,
               "icon 128 holds " + std::to_string(images.size()) + " images, not 6");
}

void checkBitmap(Check& check, HMODULE module) {
  const auto [bitmap, size] = resourceBytes(module, MAKEINTRESOURCEW(kBitmapResource), kTypeBitmap);
  if (!check.expect(bitmap && size >= 40, "no bitmap 130")) return;
  check.expect(
      le32(bitmap + 4) == 50 && le32(bitmap + 8) == 22,
      "bitmap 130 is " + std::to_string(le32(bitmap + 4)) + "x" + std::to_string(le32(bitmap + 8)));
  check.expect(le16(bitmap + 14) == 8, "bitmap 130 is not 256 colours");
}

void checkManifest(Check& check, HMODULE module) {
  const auto [bytes, size] = resourceBytes(module, MAKEINTRESOURCEW(1), kTypeManifest);
  if (!check.expect(bytes != nullptr, "no manifest")) return;
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  check.expect(text.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") !=
                   std::string::npos,
               "the manifest does not ask for common controls 6");
  check.expect(text.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}") != std::string::npos &&
                   text.find("{35138b9a-5d96-4fbd-8e2d-a2440225f93a}") != std::string::npos,
               "the manifest lacks the supported systems");
}

std::wstring versionString(const std::vector<std::uint8_t>& info, const wchar_t* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(info.data(), path.c_str(), &value, &length) || !value) return {};
  return static_cast<const wchar_t*>(value);
}

void checkVersion(Check& check, const std::wstring& exe) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  if (!check.expect(size > 0, "no version record")) return;
  std::vector<std::uint8_t> info(size);
  GetFileVersionInfoW(exe.c_str(), 0, size, info.data());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  check.expect(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) &&
                   fixed && fixed->dwSignature == 0xFEEF04BD,
               "version record has no fixed part");
  check.expect(versionString(info, L"ProductName") == L"Flashwell", "product name");
  const std::wstring file = exe.substr(exe.find_last_of(L"\\/") + 1);
  check.expect(_wcsicmp(versionString(info, L"OriginalFilename").c_str(), file.c_str()) == 0,
               "original file name \"" + str(versionString(info, L"OriginalFilename")) + "\"");
}

}  // namespace

int checkResources(const std::wstring& exe) {
  Check check("resources");
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!check.expect(module != nullptr, "cannot load " + str(exe))) return check.failures();
  checkDialog(check, module);
  checkIcon(check, module);
  checkBitmap(check, module);
  checkManifest(check, module);
  checkVersion(check, exe);
  FreeLibrary(module);
  return check.failures();
}

}  // namespace flashwell::app::win32::testing
