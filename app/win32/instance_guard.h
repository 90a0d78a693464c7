#pragma once

// The single-instance guard of the Windows program: a named event that lives as long as the
// process that made it.

#include <windows.h>

#include <array>
#include <cstddef>
#include <string_view>

namespace flashwell::app::win32 {

inline constexpr char kGuardEventName[] = "VORN_USB_Automatic_Install";
inline constexpr char kAnotherInstanceText[] = "Sorry, another VORN-application is running.";

// The start-up routine copies the name into a buffer of its own, stopping after the zero or
// after `limit` characters; the buffer always ends in a zero.
inline constexpr std::size_t kGuardNameLimit = 250;
using GuardNameBuffer = std::array<char, kGuardNameLimit + 1>;
GuardNameBuffer boundedNameCopy(const char* name);

// Creates the event (no security attributes, manual reset, signalled). The handle is kept open
// for the life of the process and never waited on. Returns the thread's last-error code right
// after the creation: 0 when this process now holds the name.
DWORD createGuardEvent(const char* name);

}  // namespace flashwell::app::win32
