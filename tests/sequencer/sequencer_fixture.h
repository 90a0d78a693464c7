#pragma once

// A sequencer on a recording view, a bare request block (the test plays the worker by writing
// done bytes) and a package whose texts read "T<id>".

#include <gtest/gtest.h>

#include <string>

#include "protocol/request_block.h"
#include "sequencer/control_ids.h"
#include "sequencer/package_services.h"
#include "sequencer/recording_view.h"
#include "sequencer/sequencer.h"
#include "tests/support/state_print.h"
#include "usb/bytes.h"

namespace flashwell::sequencer::tests {

using protocol::UpgradeOption;

class FakePackage : public PackageServices {
 public:
  void chooseLanguage() override { ++languageChoices; }
  std::string text(std::uint16_t id) override;
  bool assignRegionSlots(std::span<protocol::RegionSlot, 10> slots) override {
    slots[0].bytes[0] = 6;
    return slotsComplete;
  }
  catalogue::Result buildImageVersionRows() override {
    ++rowBuilds;
    return rowsResult;
  }
  std::string imageColumnText() override { return "IMAGE"; }
  KeyColumn keyColumn(const protocol::RequestBlock& block, std::uint8_t booterPasses) override {
    const std::uint8_t v = block.keyVariant.get();
    KeyColumn c{v == 0   ? UpgradeOption::only
                : v == 1 ? UpgradeOption::always
                         : UpgradeOption::never,
                std::nullopt};
    if (booterPasses != 0)
      c.text = "BOOTER";
    else if (protocol::programCode(block.identity) == protocol::kProgramFirmware)
      c.text = "KEY";
    return c;
  }

  bool slotsComplete = true;
  catalogue::Result rowsResult = catalogue::Result::ok;
  int languageChoices = 0;
  int rowBuilds = 0;
};

// Appended rather than "T" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) about the inlined
// insert at the front of a string.
inline std::string T(int id) {
  std::string text = "T";
  text += std::to_string(id);
  return text;
}

inline std::string FakePackage::text(std::uint16_t id) {
  return T(id);
}

// Identity of a key running its firmware, of the right kind.
inline protocol::KeyIdentity firmwareIdentity() {
  protocol::KeyIdentity id{};
  usb::putLe32(id, 4, 111);
  usb::putLe32(id, 16, 0x1000);
  usb::putLe16(id, 28, protocol::kProgramFirmware);
  return id;
}

inline protocol::KeyIdentity booterIdentity() {
  protocol::KeyIdentity id = firmwareIdentity();
  usb::putLe16(id, 28, protocol::kProgramBooter);
  return id;
}

class SequencerTest : public ::testing::Test {
 protected:
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) seq.onTimer(kTimerId);
  }
  SequencerFields& f() { return seq.fields(); }
  UpgradeState state() { return seq.fields().state; }

  // Plays the worker's answers to the key read of states 30 and 60 until the state changes.
  void answerKeyRead(const protocol::KeyIdentity& identity, std::uint8_t versionsDone = 1) {
    const UpgradeState from = state();
    for (int i = 0; i < 20 && state() == from; ++i) {
      tick();
      if (block.identityRequest.get() == 0) block.identityDone.set(0);
      if (block.versionsRequest.get() == 0) block.versionsDone.set(0);
      if (block.identityRequest.get() == 1 && block.identityDone.get() == 0) {
        block.identity = identity;
        block.identityDone.set(1);
      }
      if (block.versionsRequest.get() == 1) block.versionsDone.set(versionsDone);
    }
  }

  // Runs state 0, the start handshake and the connection; ends in state 30.
  void startAndConnect() {
    tick();  // state 0
    block.startDone.set(1);
    tick();  // state 1
    block.connected.set(1);
    tick();  // state 2
  }

  // Up to state 53 with a key running its firmware.
  void reachChoice() {
    startAndConnect();
    answerKeyRead(firmwareIdentity());
  }

  RecordingView view;
  protocol::RequestBlock block;
  FakePackage package;
  Sequencer seq{view, block, package};
};

}  // namespace flashwell::sequencer::tests
