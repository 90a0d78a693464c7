#pragma once

// The test that tells the key's interface path apart from the other devices of the class.

#include <array>
#include <cstddef>
#include <span>

namespace flashwell::usb {

// The link keeps the interface path of the device it last looked at in this many bytes: at
// most 255 characters and a zero byte.
inline constexpr std::size_t kDevicePathSize = 256;
using DevicePath = std::array<char, kDevicePathSize>;

// True when "VID_5F3A&PID_" (or else "VID_0471&PID_") appears in the first 44 characters of
// `path`, its characters in order though not necessarily side by side, and compared with the
// path's letters folded to upper case, and four decimal digits follow right after the character
// that completed it. Nothing beyond the buffer is read; a zero byte ends the path.
bool UsbMatchKeyPath(std::span<const char> path);

}  // namespace flashwell::usb
