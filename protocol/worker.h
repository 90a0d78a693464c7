#pragma once

// The worker: the one thread that talks to the key. It loops over the request bytes of the
// RequestBlock in a fixed priority order, runs one job at a time, writes the job's results into
// the block and then its done byte (0 not answered, 1 done, 2 failed).
//
// Starting it (the code that owns the thread does all of this):
//   block.zero(); block.imageBase = ...; block.imageSize = ...;
//   Worker worker(block, driver, clock, notices);
//   clock.addThread();
//   std::thread t([&] { worker.WorkerMain(); clock.removeThread(); });
// WorkerMain returns once exitRequest was seen; its last access to the block sets workerEnded.
// With no request pending the worker waits on the block's bell, off the clock; writing a
// request byte or exitRequest rings it.
// The Worker object must outlive the thread; the block may be disposed of after workerEnded.
//
// Every job is public so that a test can run one job at a time on the calling thread. Each job
// returns true to let the loop go on and false when a stop was asked.

#include <cstdint>
#include <span>

#include "protocol/block_plan.h"
#include "protocol/command_channel.h"
#include "protocol/key_commands.h"
#include "protocol/request_block.h"
#include "usb/clock.h"
#include "usb/driver.h"
#include "usb/link.h"

namespace flashwell::protocol {

// Results of the key-firmware write: refused before any traffic, or a program command or a block
// transfer that failed.
enum class FirmwareWrite { written = 1, refused = 2, programFailed = 102, transferFailed = 103 };

// Answers of ReadIdentityWithRetry: stopped when the worker is asked to end.
enum class IdentityRead { stopped = 0, read = 1, unreadable = 2 };

// Answers of KeyState: which program the key runs.
enum class KeyStatus { stopped = 0, firmwareRuns = 1, unreadable = 3, booterRuns = 16 };

class Worker {
 public:
  Worker(RequestBlock& block, usb::UsbDriver& driver, usb::Clock& clock, usb::LinkNotices& notices);
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // The thread's body: ServeRequests, then workerEnded = 1.
  void WorkerMain();

  // The loop and its helpers.
  void ServeRequests();
  // Runs the first pending job in priority order; false when it asked to stop. `ran` tells
  // whether any job was pending.
  bool ServeOnePass(bool& ran);
  void ClearAnsweredFlags();
  bool CheckExit();
  bool AwaitStart();
  bool Connect();

  // Routines shared by the jobs.
  IdentityRead ReadIdentityWithRetry(std::span<std::uint8_t, kIdentitySize> destination);
  KeyStatus KeyState();

  // Jobs.
  bool ReadIdentityJob();
  bool EraseDataFlash();
  bool EnterBooter();
  bool LeaveBooter();
  bool EraseKeyFirmware();
  bool ReadVersions();
  bool ClearMark();
  bool WriteKeyFirmware();
  bool WriteRegions();

  // The key-firmware write of slot 0.
  FirmwareWrite ProgramKeyFirmware();
  // Opens a region, pauses 2000 ms and sends the component's blocks (block_plan.h says which).
  // True when every block was accepted.
  bool WriteRegion(std::uint16_t regionCode, const ComponentImage& image);

  // The bytes of a region slot's data up to the end of the flash image inside the package;
  // empty when the slot lies outside the package.
  std::span<std::uint8_t> slotData(const RegionSlot& slot) const;

  usb::UsbLink& link() { return link_; }
  CommandChannel& channel() { return channel_; }
  KeyCommands& commands() { return commands_; }

 private:
  RequestBlock& block_;
  usb::Clock& clock_;
  usb::UsbLink link_;
  CommandChannel channel_;
  KeyCommands commands_;
};

}  // namespace flashwell::protocol
