#pragma once

// The window's numbered timers. Setting a timer that runs already restarts it with the new
// period; killing one stops it, and a tick that was due is not delivered any more. At most one
// tick of a timer is pending at a time, so a slow handler does not build up a queue.
//
// A driven table runs no clock of its own: its owner delivers the ticks with fire(), which lets
// a test step the window in simulated time.

#include <QObject>

#include <functional>
#include <map>

class QTimer;

namespace flashwell::app::qt {

class WindowTimers : public QObject {
  Q_OBJECT

 public:
  enum class Mode { system, driven };
  using Handler = std::function<void(unsigned timerId)>;

  WindowTimers(Mode mode, Handler handler, QObject* parent = nullptr);
  ~WindowTimers() override;

  void set(unsigned timerId, unsigned periodMs);
  void kill(unsigned timerId);
  void killAll();

  bool isSet(unsigned timerId) const;
  // The period of a set timer, 0 when it is not set.
  unsigned periodMs(unsigned timerId) const;

  // Driven mode: delivers one tick of the timer when it is set; false when it is not.
  bool fire(unsigned timerId);

 private:
  struct Entry {
    unsigned periodMs = 0;
    QTimer* timer = nullptr;  // system mode only
  };

  Mode mode_;
  Handler handler_;
  std::map<unsigned, Entry> timers_;
};

}  // namespace flashwell::app::qt
