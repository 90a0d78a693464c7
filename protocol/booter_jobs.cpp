#include "protocol/pauses.h"
#include "protocol/worker.h"

namespace flashwell::protocol {

bool Worker::EnterBooter() {
  while (CheckExit()) {
    switch (KeyState()) {
      case KeyStatus::stopped:
        return false;
      case KeyStatus::booterRuns:
        block_.enterBooterDone.set(kJobDone);
        return true;
      case KeyStatus::firmwareRuns:
        commands_.Restart();
        link_.UsbClose();
        clock_.sleepMs(kAfterRestartIntoBooterMs);
        KeyState();  // waits until the key is back; the next round judges it
        break;
      default:
        break;
    }
  }
  return false;
}

bool Worker::LeaveBooter() {
  if (!CheckExit()) return false;
  for (;;) {
    switch (KeyState()) {
      case KeyStatus::stopped:
        return false;
      case KeyStatus::firmwareRuns:
        block_.leaveBooterDone.set(kJobDone);
        return true;
      case KeyStatus::booterRuns:
        clock_.sleepMs(kBeforeRestartIntoFirmwareMs);
        commands_.Restart();
        link_.UsbClose();
        block_.connected.set(0);
        clock_.sleepMs(kAfterRestartIntoFirmwareMs);
        break;
      default:
        break;
    }
  }
}

bool Worker::EraseKeyFirmware() {
  if (!CheckExit()) return false;
  block_.eraseDone.set(commands_.EraseFirmwareArea() ? kJobDone : kJobRefused);
  return true;
}

}  // namespace flashwell::protocol
