#include "app/qt/window_timers.h"

#include <QTimer>

#include <utility>

namespace flashwell::app::qt {

WindowTimers::WindowTimers(Mode mode, Handler handler, QObject* parent)
    : QObject(parent), mode_(mode), handler_(std::move(handler)) {}

WindowTimers::~WindowTimers() {
  killAll();
}

void WindowTimers::set(unsigned timerId, unsigned periodMs) {
  Entry& entry = timers_[timerId];
  entry.periodMs = periodMs;
  if (mode_ == Mode::driven) return;
  if (entry.timer == nullptr) {
    entry.timer = new QTimer(this);
    entry.timer->setTimerType(Qt::PreciseTimer);
    connect(entry.timer, &QTimer::timeout, this, [this, timerId] {
      if (isSet(timerId)) handler_(timerId);
    });
  }
  entry.timer->start(static_cast<int>(periodMs));
}

void WindowTimers::kill(unsigned timerId) {
  const auto it = timers_.find(timerId);
  if (it == timers_.end()) return;
  if (it->second.timer != nullptr) {
    it->second.timer->stop();
    it->second.timer->deleteLater();
  }
  timers_.erase(it);
}

void WindowTimers::killAll() {
  while (!timers_.empty()) kill(timers_.begin()->first);
}

bool WindowTimers::isSet(unsigned timerId) const {
  return timers_.count(timerId) != 0;
}

unsigned WindowTimers::periodMs(unsigned timerId) const {
  const auto it = timers_.find(timerId);
  return it == timers_.end() ? 0 : it->second.periodMs;
}

bool WindowTimers::fire(unsigned timerId) {
  if (!isSet(timerId)) return false;
  handler_(timerId);
  return true;
}

}  // namespace flashwell::app::qt
