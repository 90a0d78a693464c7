#pragma once

// The Win32 shell of the main dialog: dialog 102 from the resources, run modally, its
// messages forwarded to the window-independent controller.

#include <windows.h>

#include <cstdint>
#include <vector>

#include "usb/clock.h"
#include "usb/driver.h"

namespace flashwell::app::win32 {

// Runs the main dialog on this thread until it ends, the key reached through `driver`.
void runMainDialog(HINSTANCE instance, usb::UsbDriver& driver, usb::Clock& clock,
                   std::vector<std::uint8_t> package);

// Where the minimised window draws its icon: centred in the client area.
inline POINT iconOrigin(const RECT& client, int iconWidth, int iconHeight) {
  return POINT{(client.right - client.left - iconWidth + 1) / 2,
               (client.bottom - client.top - iconHeight + 1) / 2};
}

}  // namespace flashwell::app::win32
