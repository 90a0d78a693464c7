#pragma once

// The machine's sleep and shutdown as a test sees them: each hold and release, in order.

#include <string>
#include <vector>

#include "app/keep_awake.h"

namespace flashwell::support {

class RecordingKeepAwake final : public app::KeepAwake {
 public:
  void hold() override {
    held = true;
    calls.push_back("hold");
  }
  void release() override {
    held = false;
    calls.push_back("release");
  }

  bool held = false;
  std::vector<std::string> calls;
};

}  // namespace flashwell::support
