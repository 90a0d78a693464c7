#include "app/qt/link_notices.h"

#include <QMetaObject>
#include <QThread>

#include <condition_variable>
#include <mutex>

#include "app/qt/dialog_window.h"
#include "catalogue/program_texts.h"

namespace flashwell::app::qt {

struct QtLinkNotices::Channel {
  std::mutex mutex;
  std::condition_variable answered;
  bool closed = false;
  unsigned dismissed = 0;  // message boxes dismissed so far
};

QString accessDeniedMessage(const std::string& path, std::uint16_t languageNumber) {
  const std::string text = catalogue::fillIn(
      catalogue::programText(catalogue::ProgramText::windowAccessDenied, languageNumber),
      {path, kUdevRuleName});
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QtLinkNotices::QtLinkNotices(DialogWindow& window, usb::Clock& clock, std::uint16_t languageNumber)
    : window_(&window),
      clock_(clock),
      language_(languageNumber),
      channel_(std::make_shared<Channel>()) {}

QtLinkNotices::~QtLinkNotices() {
  shutdown();
}

void QtLinkNotices::shutdown() {
  std::lock_guard lock(channel_->mutex);
  channel_->closed = true;
  channel_->answered.notify_all();
}

void QtLinkNotices::showAndWait(const QString& message) {
  DialogWindow* window = window_.data();
  if (window == nullptr) return;
  std::unique_lock lock(channel_->mutex);
  if (channel_->closed) return;
  if (QThread::currentThread() == window->thread()) {
    lock.unlock();
    if (!window->ended()) window->plainMessageBox(message);
    return;
  }
  const unsigned ticket = channel_->dismissed + 1;
  // The box runs on the window thread; the queued call is dropped if the window goes first.
  QMetaObject::invokeMethod(
      window,
      [channel = channel_, window = QPointer<DialogWindow>(window), message] {
        bool closed;
        {
          std::lock_guard guard(channel->mutex);
          closed = channel->closed;
        }
        if (!closed && window != nullptr && !window->ended()) window->plainMessageBox(message);
        std::lock_guard guard(channel->mutex);
        ++channel->dismissed;
        channel->answered.notify_all();
      },
      Qt::QueuedConnection);
  clock_.removeThread();
  channel_->answered.wait(lock, [&] { return channel_->closed || channel_->dismissed >= ticket; });
  lock.unlock();
  clock_.addThread();
}

void QtLinkNotices::anotherProgramUsesKey() {
  showAndWait(QStringLiteral("ANOTHER PROGRAM UTILIZES USB"));
}

void QtLinkNotices::keyAccessDenied(const std::string& path) {
  if (accessDeniedShown_.exchange(true)) return;
  showAndWait(accessDeniedMessage(path, language_));
}

}  // namespace flashwell::app::qt
