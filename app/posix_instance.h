#pragma once

// One running copy of the program per machine: a second start sees the first one's named
// object and refuses to run. The object is a Unix socket bound to a name in the abstract
// namespace, which the kernel removes with the process that holds it, however it ends.

#include <string>
#include <string_view>

namespace flashwell::app {

inline constexpr std::string_view kInstanceName = "VORN_USB_Automatic_Install";
inline constexpr std::string_view kAnotherInstanceMessage =
    "Sorry, another VORN-application is running.";

class SingleInstanceGuard {
 public:
  // Tries to take the name; acquired() tells whether this process now holds it.
  explicit SingleInstanceGuard(std::string_view name = kInstanceName);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

  // False when another process holds the name, or when the object could not be made at all:
  // either way the program must not run.
  bool acquired() const { return socket_ >= 0; }
  // Whether the name was refused because another process holds it (rather than a failure).
  bool heldElsewhere() const { return heldElsewhere_; }

 private:
  int socket_ = -1;
  bool heldElsewhere_ = false;
};

}  // namespace flashwell::app
