#pragma once

// The link's notices as the tests see them: each is recorded and returns at once, like a
// message box the user dismissed. Tests that want no record use usb::SilentNotices.

#include <string>
#include <vector>

#include "usb/driver.h"

namespace flashwell::support {

class RecordingNotices final : public usb::LinkNotices {
 public:
  void anotherProgramUsesKey() override { ++busyNotices; }
  void keyAccessDenied(const std::string& path) override { deniedPaths.push_back(path); }

  int busyNotices = 0;
  std::vector<std::string> deniedPaths;  // the device paths the system refused, in order
};

}  // namespace flashwell::support
