#include "app/logind_keep_awake.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "app/stop_texts.h"

namespace flashwell::app {

namespace {

constexpr std::uint64_t kAnswerWithinUs = 2'000'000;  // a bus without logind answers at once

// Owns what sd-bus hands out.
struct Call {
  sd_bus* bus = nullptr;
  sd_bus_message* request = nullptr;
  sd_bus_message* reply = nullptr;
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~Call() {
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(request);
    sd_bus_flush_close_unref(bus);
  }
};

// The lock's descriptor, owned by the caller, or -1 with `why`.
int takeLock(std::string& why) {
  Call c;
  int r = sd_bus_open_system(&c.bus);
  if (r < 0) {
    why = std::string("no system bus: ") + std::strerror(-r);
    return -1;
  }
  const std::string reason(stopText(StopText::keepAwakeReason));
  r = sd_bus_message_new_method_call(c.bus, &c.request, "org.freedesktop.login1",
                                     "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                                     "Inhibit");
  if (r >= 0) {
    r = sd_bus_message_append(c.request, "ssss", "sleep:shutdown:idle", "Flashwell", reason.c_str(),
                              "block");
  }
  if (r >= 0) r = sd_bus_call(c.bus, c.request, kAnswerWithinUs, &c.error, &c.reply);
  int fd = -1;
  if (r >= 0) r = sd_bus_message_read(c.reply, "h", &fd);
  if (r < 0) {
    why = std::string("logind: ") +
          (sd_bus_error_is_set(&c.error) ? c.error.message : std::strerror(-r));
    return -1;
  }
  // The descriptor belongs to the reply: keep a copy of our own.
  const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (own < 0) why = std::string("logind: ") + std::strerror(errno);
  return own;
}

}  // namespace

LogindKeepAwake::LogindKeepAwake(std::function<void(const std::string&)> note)
    : note_(std::move(note)) {}

LogindKeepAwake::~LogindKeepAwake() {
  release();
}

void LogindKeepAwake::hold() {
  if (fd_ >= 0) return;
  std::string why;
  fd_ = takeLock(why);
  if (!note_) return;
  note_(fd_ >= 0 ? "sleep and shutdown are held off until the key is written"
                 : "sleep and shutdown cannot be held off (" + why + ")");
}

void LogindKeepAwake::release() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  if (note_) note_("sleep and shutdown are allowed again");
}

}  // namespace flashwell::app
