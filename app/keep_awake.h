#pragma once

// Holds off the machine's sleep and shutdown while the key is being written: a lost USB power
// or a shutdown in the middle of the firmware write leaves a key without firmware. The dialog
// decides when (CFlashwell_02Dlg::setKeepAwake); each platform says how.

namespace flashwell::app {

class KeepAwake {
 public:
  virtual ~KeepAwake() = default;
  // Called once when the upgrade begins; a platform that cannot hold the machine goes on.
  virtual void hold() = 0;
  // Called once when it has ended, after hold().
  virtual void release() = 0;
};

}  // namespace flashwell::app
