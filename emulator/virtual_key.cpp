#include "emulator/virtual_key.h"

#include <algorithm>

#include "emulator/commands/command.h"
#include "emulator/key_memory.h"
#include "usb/bytes.h"

namespace flashwell::emulator {

namespace {
// The report the interrupt endpoint hands out after a memory read request without
// announcement.
constexpr std::size_t kInterruptReport = 16;
}  // namespace

VirtualKey::VirtualKey(KeyImage image, KeyTiming timing) {
  ctx_.image = std::move(image);
  ctx_.timing = timing;
  // An image put together by hand gets the memories a key has: a whole firmware area and the
  // storage of every region, erased where it brought none.
  ctx_.image.firmwareArea.resize(kFirmwareAreaSize, 0xFF);
  for (const RegionWindow& w : kRegionWindows) {
    ctx_.image.regions[w.code].resize(kRegionCapacity, 0xFF);
  }
}

std::uint32_t VirtualKey::bulkMs(std::size_t bytes) const {
  const std::size_t perMs = std::max<std::uint32_t>(ctx_.timing.bulkBytesPerMs, 1);
  return static_cast<std::uint32_t>(std::max<std::size_t>(1, (bytes + perMs - 1) / perMs));
}

KeyAnswer VirtualKey::control(std::span<const std::uint8_t, 8> setup,
                              std::span<const std::uint8_t> payload) {
  ++commandsSeen_;
  const std::uint8_t code = setup[1];
  const std::uint8_t sub = payload.empty() ? 0 : payload[0];
  ++perCommand_[static_cast<std::uint16_t>(code << 8 | sub)];

  KeyAnswer answer;
  answer.busyMs = ctx_.timing.commandMs;
  const std::string frame = commands::frameFault(setup, payload.size());
  const commands::Handler handler = frame.empty() ? commands::findHandler(code, sub) : nullptr;
  if (!frame.empty()) {
    answer.refusal = frame;
  } else if (!handler) {
    answer.refusal = "unknown command " + std::to_string(code) + ", " + std::to_string(sub);
  } else {
    const commands::KeyCommand command{code, usb::le16(setup, 4), payload};
    commands::Outcome outcome = handler(ctx_, command);
    answer.accepted = outcome.accepted;
    answer.busyMs += outcome.busyMs;
    answer.refusal = std::move(outcome.refusal);
  }
  busyMs_ += answer.busyMs;
  return answer;
}

KeyAnswer VirtualKey::write(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
  KeyAnswer answer;
  answer.busyMs = bulkMs(data.size());
  busyMs_ += answer.busyMs;
  if (endpoint != 0x02) {
    answer.refusal = "no out endpoint " + std::to_string(endpoint);
  } else if (ctx_.received.size() + data.size() > ctx_.announcedOut) {
    // More than the last TransferSetup announced: the key stalls and forgets the block.
    answer.refusal = "more bytes than announced";
    ctx_.received.clear();
    ctx_.announcedOut = 0;
  } else {
    ctx_.received.insert(ctx_.received.end(), data.begin(), data.end());
    answer.accepted = true;
  }
  return answer;
}

KeyAnswer VirtualKey::read(std::uint8_t endpoint, std::uint32_t length) {
  KeyAnswer answer;
  if (endpoint == 0x82) {
    answer.busyMs = bulkMs(length);
    if (!ctx_.staged) {
      answer.refusal = "read on 0x82 without an announced read";
    } else {
      answer.bytes = std::move(*ctx_.staged);
      if (answer.bytes.size() > length) answer.bytes.resize(length);
      answer.accepted = true;
    }
    ctx_.staged.reset();
  } else if (endpoint == 0x81) {
    const std::size_t packet = std::max<std::uint16_t>(ctx_.image.maxPacketSize, 1);
    answer.busyMs =
        static_cast<std::uint32_t>(std::max<std::size_t>(1, (length + packet - 1) / packet));
    if (ctx_.staged) {
      answer.bytes = std::move(*ctx_.staged);
    } else if (ctx_.source == Context::Source::memory) {
      answer.bytes = ctx_.readMemory(ctx_.readAddress, kInterruptReport);
    }
    ctx_.staged.reset();
    ctx_.source = Context::Source::none;
    if (answer.bytes.empty()) {
      answer.refusal = "read on 0x81 with nothing to report";
    } else {
      if (answer.bytes.size() > length) answer.bytes.resize(length);
      answer.accepted = true;
    }
  } else {
    answer.busyMs = 1;
    answer.refusal = "no in endpoint " + std::to_string(endpoint);
  }
  busyMs_ += answer.busyMs;
  return answer;
}

std::vector<std::uint8_t> VirtualKey::descriptorSet() const {
  const std::uint16_t first = ctx_.image.maxPacketSize;
  const auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v); };
  const auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  return {
      // configuration: 39 bytes in all, one interface, bus-powered, 100 mA
      9,
      2,
      39,
      0,
      1,
      1,
      0,
      0x80,
      50,
      // interface 0: three endpoints, vendor class
      9,
      4,
      0,
      0,
      3,
      0xFF,
      0,
      0,
      0,
      // the first endpoint: interrupt in 0x81, whose packet size tells the two kinds apart
      7,
      5,
      0x81,
      3,
      lo(first),
      hi(first),
      1,
      // bulk out 0x02 and bulk in 0x82
      7,
      5,
      0x02,
      2,
      64,
      0,
      0,
      7,
      5,
      0x82,
      2,
      64,
      0,
      0,
  };
}

bool VirtualKey::takeRestart() {
  if (!ctx_.restartInto) return false;
  pendingProgram_ = ctx_.restartInto;
  ctx_.restartInto.reset();
  return true;
}

void VirtualKey::keepProgramOnRestart() {
  if (ctx_.restartInto) ctx_.restartInto = ctx_.image.program;
}

void VirtualKey::forgetSession() {
  ctx_.announcedOut = 0;
  ctx_.received.clear();
  ctx_.source = Context::Source::none;
  ctx_.staged.reset();
  ctx_.openRegions.clear();
  ctx_.restartInto.reset();
}

void VirtualKey::bootAfterRestart() {
  if (pendingProgram_) ctx_.image.program = *pendingProgram_;
  pendingProgram_.reset();
  forgetSession();
}

void VirtualKey::bootAfterPowerCycle() {
  ctx_.image.program =
      holdsValidFirmware(ctx_.image.firmwareArea) ? KeyProgram::firmware : KeyProgram::booter;
  pendingProgram_.reset();
  forgetSession();
}

std::array<std::uint8_t, kIdentitySize> VirtualKey::identityAnswer() const {
  return emulator::identityAnswer(ctx_);
}

std::uint8_t VirtualKey::memoryByte(std::uint32_t address) const {
  return emulator::memoryByte(ctx_, address);
}

std::span<const std::uint8_t> VirtualKey::region(std::uint16_t code) const {
  const auto found = ctx_.image.regions.find(code);
  if (found == ctx_.image.regions.end()) return {};
  return found->second;
}

std::uint64_t VirtualKey::commandsSeen(std::uint8_t code, std::uint8_t sub) const {
  const auto found = perCommand_.find(static_cast<std::uint16_t>(code << 8 | sub));
  return found == perCommand_.end() ? 0 : found->second;
}

}  // namespace flashwell::emulator
