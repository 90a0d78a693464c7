#pragma once

// SIGINT, SIGTERM and SIGHUP as stops that the window thread reads: they are blocked in every
// thread and read from a signalfd, so that no code of the program runs in a signal handler.
// SIGPIPE is ignored, so that a write to a closed pipe fails rather than ending the program.
// Made first in main, before any thread starts: a thread takes the signal mask of the thread
// that starts it.

#include <csignal>

namespace flashwell::app {

class StopSignals {
 public:
  StopSignals();
  // Closes the descriptor and gives the signals back their former mask and SIGPIPE its action.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable while a signal is pending; -1 when the system gave no descriptor, and the signals
  // then keep their usual action.
  int fd() const { return fd_; }
  // The next pending signal, 0 when there is none; never waits.
  int take();
  // On the thread that waits on something else than the window's events (a question on the
  // terminal): true lets the signals end the program at once there, false holds them again.
  void passThrough(bool through);

 private:
  int fd_ = -1;
  sigset_t formerMask_{};
  struct sigaction formerPipe_ {};
};

}  // namespace flashwell::app
