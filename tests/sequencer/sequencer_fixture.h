#pragma once

// A sequencer on a recording view, a bare request block (the test plays the worker by writing
// done bytes) and a package whose texts read "T<id>".

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// A sequencer on its view, its block and its package, driven as the dialog drives it: ticks of
// timer 10 and the handlers of the clicks. The test plays the worker by writing done bytes;
// `runTo` plays a worker that does all it is asked and a user who confirms `mode`.
struct SequencerRig {
  SequencerRig() {
    block.imageBase = image.data();
    block.imageSize = image.size();
  }

  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) seq.onTimer(kTimerId);
  }
  const RunStatus& status() const { return seq.status(); }
  UpgradeState state() const { return seq.status().state; }

  // Ticks `n` times; after each, '1' when control `id` reads `on`, '0' when it reads `off`.
  std::string watch(int id, const std::string& on, const std::string& off, int n) {
    std::string seen;
    for (int i = 0; i < n; ++i) {
      tick();
      seen += view.text(id) == on ? '1' : view.text(id) == off ? '0' : '?';
    }
    return seen;
  }

  // The worker's answer to every raised request: the done byte of a job asked for, cleared
  // once its request is lowered. The key answers `keyIdentity`; it runs its booter once put
  // there and `afterLeaving` once it left it.
  void answerWorker() {
    using protocol::SharedByte;
    const auto answer = [](const SharedByte& request, SharedByte& done) {
      if (request.get() == 1 && done.get() == 0) done.set(protocol::kJobDone);
    };
    if (block.startRequest.get() == 1) block.startDone.set(1);
    if (block.connectRequest.get() == 1) block.connected.set(1);
    if (block.identityRequest.get() == 0) block.identityDone.set(0);
    if (block.versionsRequest.get() == 0) block.versionsDone.set(0);
    if (block.identityRequest.get() == 1 && block.identityDone.get() == 0) {
      block.identity = keyIdentity;
      block.identityDone.set(protocol::kJobDone);
    }
    answer(block.versionsRequest, block.versionsDone);
    if (block.enterBooterRequest.get() == 1 && block.enterBooterDone.get() == 0) {
      keyIdentity = booterIdentity();
      block.enterBooterDone.set(protocol::kJobDone);
    }
    answer(block.eraseRequest, block.eraseDone);
    answer(block.keyFirmwareRequest, block.keyFirmwareDone);
    if (block.leaveBooterRequest.get() == 1 && block.leaveBooterDone.get() == 0) {
      keyIdentity = afterLeaving;
      block.leaveBooterDone.set(protocol::kJobDone);
    }
    answer(block.dataEraseRequest, block.dataEraseDone);
    answer(block.markRequest, block.markDone);
    answer(block.regionsRequest, block.regionsDone);
  }

  // The user at the choice: ticks `mode`, then presses PROCEED once it is enabled and answers
  // Yes to the erase question.
  void answerChoice() {
    if (state() != UpgradeState::awaitChoice || block.upgradeOption.get() != 0) return;
    if (status().selectedOption != mode) seq.chooseMode(mode);
    if (!view.control(kIdProceed).enabled) return;
    view.answers.push_back(MessageBoxAnswer::yes);
    seq.proceed();
  }

  // Ticks until the sequencer enters `target`, before anything answers the target's requests.
  void runTo(UpgradeState target) {
    for (int i = 0; i < 500 && state() != target && !view.ended(); ++i) {
      tick();
      if (state() == target) break;
      answerWorker();
      answerChoice();
    }
    ASSERT_EQ(state(), target);
  }

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

  // Past state 53 with `m` confirmed by its clicks: into state 50.
  void confirm(UpgradeOption m) {
    mode = m;
    runTo(UpgradeState::proceed);
  }

  // The package's bytes: zeros, so every head the writers send is zeros, as is the key's
  // firmware version in its header.
  std::vector<std::uint8_t> image =
      std::vector<std::uint8_t>(protocol::kFlashImageOffset + protocol::kFlashImageSize, 0);
  protocol::KeyIdentity keyIdentity = firmwareIdentity();
  protocol::KeyIdentity afterLeaving = firmwareIdentity();
  UpgradeOption mode = UpgradeOption::only;
  RecordingView view;
  protocol::RequestBlock block;
  FakePackage package;
  Sequencer seq{view, block, package};
};

class SequencerTest : public ::testing::Test, public SequencerRig {};

}  // namespace flashwell::sequencer::tests
