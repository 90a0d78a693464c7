#pragma once

// The sequencer's states, the steps of a key read, and what a key read and the finishing of a
// run come to. The numbers are the ones traces, records and older notes use, so they stay.

#include <cstdint>

namespace flashwell::sequencer {

enum class UpgradeState : std::uint16_t {
  checkPackage = 0,    // the package's regions and versions; raises the start
  awaitStart = 1,      // the worker has started
  connect = 2,         // the key is searched for and opened
  failed = 3,          // the failure display
  readKey = 30,        // the key's identity, versions and column
  notApplicable = 35,  // error stop: a key or a package of the wrong kind
  corrupted = 39,      // error stop: the package is incomplete or its checksum is wrong
  proceed = 50,        // the user has confirmed: into the booter, or straight on
  awaitChoice = 53,    // waiting for a mode and PROCEED
  clearMark = 54,      // the mark that says an upgrade is under way
  eraseData = 55,      // the data area
  writeRegions = 56,   // the components
  readBack = 60,       // the key read again after the upgrade
  eraseFirmware = 80,  // the key's own firmware, from its booter
  writeFirmware = 90,
  leaveBooter = 100,  // back to the new firmware
  finalReport = 130,  // the message at the end of a run that did what was asked
};

// The steps of a key read (states 30 and 60).
enum class KeyReadStep : std::uint16_t {
  clear = 0,       // lower both requests and wait for the done bytes to clear
  identity = 330,  // the identity: which program runs, which kind of key
  versions = 331,  // the versions stored on the key
  column = 332,    // the key's column of the display
};

// What a key read comes to.
enum class KeyRead : std::uint8_t {
  reading = 0,
  ready = 1,
  unusable = 2,
  wrongKind = 3,
};

// How a run is being finished; `running` while it is not.
enum class FinishMode : std::uint8_t {
  running = 0,
  exitAsked = 1,
  awaitFirmware = 2,  // waiting for the key to leave its booter
  stopWorker = 3,
  errorStop = 85,
};

// The number a trace or a message gives for a state.
constexpr std::uint16_t stateNumber(UpgradeState s) {
  return static_cast<std::uint16_t>(s);
}

}  // namespace flashwell::sequencer
