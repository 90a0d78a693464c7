#include "app/win32/instance_guard.h"

namespace flashwell::app::win32 {

GuardNameBuffer boundedNameCopy(const char* name) {
  GuardNameBuffer buffer{};
  for (std::size_t i = 0; i < kGuardNameLimit && name[i] != '\0'; ++i) buffer[i] = name[i];
  return buffer;
}

DWORD createGuardEvent(const char* name) {
  // The handle stays open until the process ends: the name lives exactly as long as we do.
  // A code left over from earlier calls must not read as a refusal.
  SetLastError(0);
  CreateEventA(nullptr, TRUE, TRUE, name);
  return GetLastError();
}

}  // namespace flashwell::app::win32
