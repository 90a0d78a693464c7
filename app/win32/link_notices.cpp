#include "app/win32/link_notices.h"

#include "app/win32/wide_text.h"
#include "app/win32/win32_view.h"
#include "catalogue/cp1252.h"
#include "catalogue/program_texts.h"

namespace flashwell::app::win32 {

void Win32LinkNotices::anotherProgramUsesKey() {
  ask(kAnotherProgramText);
}

void Win32LinkNotices::keyAccessDenied(const std::string& path) {
  const std::string text = catalogue::fillIn(
      catalogue::programText(catalogue::ProgramText::windowsAccessDenied, language_), {path});
  // The notices are shown as the package's texts are, in Windows-1252.
  ask(catalogue::utf8ToCp1252(text).value_or(text));
}

void Win32LinkNotices::ask(std::string text) {
  std::unique_lock lock(mutex_);
  if (!dialog_) return;
  const unsigned notice = ++lastNotice_;
  waiting_.emplace(notice, std::move(text));
  if (!PostMessageW(dialog_, kLinkNoticeMessage, notice, 0)) {
    waiting_.erase(notice);
    return;
  }
  // The dialog answers through show(), or lets go of every waiting notice in detach().
  answered_.wait(lock, [&] { return !waiting_.contains(notice); });
}

void Win32LinkNotices::attach(HWND dialog) {
  std::lock_guard lock(mutex_);
  dialog_ = dialog;
}

void Win32LinkNotices::detach() {
  {
    std::lock_guard lock(mutex_);
    dialog_ = nullptr;
    waiting_.clear();
  }
  answered_.notify_all();
}

void Win32LinkNotices::show(WPARAM notice) {
  HWND owner;
  std::string text;
  {
    std::lock_guard lock(mutex_);
    const auto found = waiting_.find(static_cast<unsigned>(notice));
    if (found == waiting_.end() || !dialog_) return;
    owner = dialog_;
    text = found->second;
  }
  MessageBoxW(owner, wideFromCp1252(text).c_str(), messageBoxTitle(owner).c_str(), MB_OK);
  {
    std::lock_guard lock(mutex_);
    waiting_.erase(static_cast<unsigned>(notice));
  }
  answered_.notify_all();
}

}  // namespace flashwell::app::win32
