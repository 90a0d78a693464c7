#include "protocol/worker.h"

namespace flashwell::protocol {

namespace {

constexpr std::uint32_t kAfterStartMs = 300;
constexpr std::uint32_t kConnectRetryMs = 1000;
constexpr std::uint32_t kSettleMs = 3000;
// The pass after a wake-up comes this long after the request. The window thread raises requests
// inside its tick; on a simulated clock this puts the worker's answer after that tick, never
// alongside the rest of it, and on the real clock it is far below a tick.
constexpr std::uint32_t kPickupMs = 1;

}  // namespace

Worker::Worker(RequestBlock& block, usb::UsbDriver& driver, usb::Clock& clock,
               usb::LinkNotices& notices)
    : block_(block),
      clock_(clock),
      link_(driver, notices),
      channel_(link_, clock),
      commands_(link_, channel_) {}

void Worker::WorkerMain() {
  ServeRequests();
  block_.workerEnded.set(1);
}

void Worker::ServeRequests() {
  for (;;) {
    if (!CheckExit()) return;
    bool ran = false;
    if (!ServeOnePass(ran)) return;
    ClearAnsweredFlags();
    if (ran) continue;
    // With nothing to do the worker sleeps until the window thread changes a request byte (or
    // asks it to stop), rather than spinning a core while the user reads the screen.
    block_.bell.wait(clock_);
    clock_.sleepMs(kPickupMs);
  }
}

bool Worker::ServeOnePass(bool& ran) {
  RequestBlock& b = block_;
  ran = true;
  auto pending = [](const SharedByte& request, const SharedByte& done) {
    return request.get() != 0 && done.get() == 0;
  };
  if (b.startRequest.get() == 0 || b.startDone.get() == 0) return AwaitStart();
  if (pending(b.connectRequest, b.connected)) return Connect();
  if (pending(b.identityRequest, b.identityDone)) return ReadIdentityJob();
  if (pending(b.dataEraseRequest, b.dataEraseDone)) return EraseDataFlash();
  if (pending(b.enterBooterRequest, b.enterBooterDone)) return EnterBooter();
  if (pending(b.eraseRequest, b.eraseDone)) return EraseKeyFirmware();
  if (pending(b.keyFirmwareRequest, b.keyFirmwareDone)) return WriteKeyFirmware();
  if (pending(b.regionsRequest, b.regionsDone)) return WriteRegions();
  if (pending(b.leaveBooterRequest, b.leaveBooterDone)) return LeaveBooter();
  if (pending(b.versionsRequest, b.versionsDone)) return ReadVersions();
  if (pending(b.markRequest, b.markDone)) return ClearMark();
  ran = false;
  return true;
}

void Worker::ClearAnsweredFlags() {
  RequestBlock& b = block_;
  // The start and data-erase answers are never withdrawn: each happens once per run.
  for (auto [request, done] : {std::pair{&b.connectRequest, &b.connected},
                               {&b.identityRequest, &b.identityDone},
                               {&b.enterBooterRequest, &b.enterBooterDone},
                               {&b.eraseRequest, &b.eraseDone},
                               {&b.keyFirmwareRequest, &b.keyFirmwareDone},
                               {&b.regionsRequest, &b.regionsDone},
                               {&b.leaveBooterRequest, &b.leaveBooterDone},
                               {&b.versionsRequest, &b.versionsDone},
                               {&b.markRequest, &b.markDone}}) {
    if (request->get() == 0 && done->get() != 0) done->set(0);
  }
}

bool Worker::CheckExit() {
  if (block_.exitRequest.get() == 0) return true;
  if (block_.connected.get() != 0) link_.UsbClose();
  return false;
}

bool Worker::AwaitStart() {
  for (;;) {
    if (!CheckExit()) return false;
    if (block_.startRequest.get() != 0) {
      block_.startDone.set(kJobDone);
      clock_.sleepMs(kAfterStartMs);
      return true;
    }
    // Until the window thread raises the start (it never does after a package it refuses) or
    // asks the worker to stop, there is nothing to do: wait off the clock.
    block_.bell.wait(clock_);
  }
}

bool Worker::Connect() {
  if (block_.connected.get() == 1) return true;
  bool retried = false;
  for (;;) {
    if (!CheckExit()) return false;
    if (link_.UsbEnsureOpen()) break;
    retried = true;
    link_.UsbClose();
    clock_.sleepMs(kConnectRetryMs);
  }
  // A key that has only just appeared is given time to settle.
  if (retried) clock_.sleepMs(kSettleMs);
  block_.connected.set(1);
  return true;
}

}  // namespace flashwell::protocol
