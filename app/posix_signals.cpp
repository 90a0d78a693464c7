#include "app/posix_signals.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <initializer_list>

namespace flashwell::app {

namespace {
sigset_t stopSet() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  return set;
}
}  // namespace

StopSignals::StopSignals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &formerPipe_);

  const sigset_t set = stopSet();
  ::pthread_sigmask(SIG_BLOCK, &set, &formerMask_);
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) ::pthread_sigmask(SIG_SETMASK, &formerMask_, nullptr);
}

StopSignals::~StopSignals() {
  if (fd_ >= 0) {
    // A signal not taken would end the program once unblocked: the run it asked to stop is over.
    while (take() != 0) {
    }
    ::close(fd_);
    ::pthread_sigmask(SIG_SETMASK, &formerMask_, nullptr);
  }
  ::sigaction(SIGPIPE, &formerPipe_, nullptr);
}

int StopSignals::take() {
  if (fd_ < 0) return 0;
  signalfd_siginfo info{};
  for (;;) {
    const ssize_t got = ::read(fd_, &info, sizeof info);
    if (got == static_cast<ssize_t>(sizeof info)) return static_cast<int>(info.ssi_signo);
    if (got < 0 && errno == EINTR) continue;
    return 0;
  }
}

void StopSignals::passThrough(bool through) {
  if (fd_ < 0) return;
  const sigset_t set = stopSet();
  ::pthread_sigmask(through ? SIG_UNBLOCK : SIG_BLOCK, &set, nullptr);
}

}  // namespace flashwell::app
