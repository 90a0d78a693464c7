#pragma once

// Sleep and shutdown held off through logind on the system bus: an inhibitor lock in "block"
// mode, which lasts as long as its descriptor is open.

#include <functional>
#include <string>

#include "app/keep_awake.h"

namespace flashwell::app {

class LogindKeepAwake final : public KeepAwake {
 public:
  // `note` hears, in English, when the lock is taken, why it could not be, and when it is
  // given back; it may be empty.
  explicit LogindKeepAwake(std::function<void(const std::string&)> note = {});
  ~LogindKeepAwake() override;
  LogindKeepAwake(const LogindKeepAwake&) = delete;
  LogindKeepAwake& operator=(const LogindKeepAwake&) = delete;

  void hold() override;
  void release() override;

 private:
  std::function<void(const std::string&)> note_;
  int fd_ = -1;
};

}  // namespace flashwell::app
