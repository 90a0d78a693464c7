#pragma once

// The record that the window thread and the worker share. Every byte has one writing thread;
// the single-byte fields are atomics written with release stores and read with acquire loads,
// so a done byte publishes every result the job wrote before it. The bytes the worker acts on
// (the requests and exitRequest) ring the block's bell when they change, which wakes an idle
// worker.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "protocol/request_bell.h"
#include "usb/bytes.h"

namespace flashwell::protocol {

class SharedByte {
 public:
  SharedByte() = default;
  // A byte that rings `bell` whenever its writer changes it.
  explicit SharedByte(RequestBell& bell) : bell_(&bell) {}

  std::uint8_t get() const { return value_.load(std::memory_order_acquire); }
  void set(std::uint8_t v) {
    if (bell_ == nullptr) {
      value_.store(v, std::memory_order_release);
      return;
    }
    // Only its one writer stores to the byte, so what it reads here is what it last wrote: a
    // request raised again on every tick rings once.
    if (value_.load(std::memory_order_relaxed) == v) return;
    value_.store(v, std::memory_order_release);
    bell_->ring();
  }

 private:
  std::atomic<std::uint8_t> value_{0};
  RequestBell* bell_ = nullptr;
};

// A plain 24-byte copy of a region record of the package.
struct RegionSlot {
  std::array<std::uint8_t, 24> bytes{};

  std::uint16_t group() const { return usb::le16(bytes, 0); }
  std::uint16_t code() const { return usb::le16(bytes, 2); }
  std::uint32_t imageOffset() const { return usb::le32(bytes, 4); }
  std::uint32_t length() const { return usb::le32(bytes, 8); }
  std::uint32_t minAddress() const { return usb::le32(bytes, 12); }
  std::uint32_t maxAddress() const { return usb::le32(bytes, 16); }
  // Bytes 20-23 are carried with the record and never read.
};

// Version and date of one component stored on the key.
struct ComponentVersion {
  std::uint8_t major = 0;
  std::uint8_t minor = 0;
  std::uint8_t patch = 0;
  std::uint8_t day = 0;
  std::uint8_t month = 0;
  std::uint8_t century = 0;
  std::uint8_t year = 0;
};

using KeyIdentity = std::array<std::uint8_t, 128>;

// The program the key runs, identity bytes 28-29: 16 its booter, 51 (0x33) its firmware.
inline constexpr std::uint16_t kProgramBooter = 16;
inline constexpr std::uint16_t kProgramFirmware = 51;
inline std::uint16_t programCode(const KeyIdentity& identity) {
  return usb::le16(identity, 28);
}

// Offset of the flash image inside the package.
inline constexpr std::size_t kFlashImageOffset = 0x300;
inline constexpr std::size_t kFlashImageSize = 0x100000;

struct RequestBlock {
  KeyIdentity identity{};
  std::array<RegionSlot, 10> regions{};
  std::array<ComponentVersion, 10> componentVersions{};
  // The program's writable copy of the firmware package and its size; a region's data starts at
  // imageBase + kFlashImageOffset + imageOffset.
  std::uint8_t* imageBase = nullptr;
  std::size_t imageSize = 0;

  // Rung by the request bytes and exitRequest; the idle worker waits on it.
  RequestBell bell;

  SharedByte upgradeOption;
  SharedByte keyVariant;
  SharedByte exitRequest{bell};
  SharedByte workerEnded;
  SharedByte startRequest{bell}, startDone;
  SharedByte connectRequest{bell}, connected;
  SharedByte identityRequest{bell}, identityDone;
  SharedByte versionsRequest{bell}, versionsDone;
  SharedByte dataEraseRequest{bell}, dataEraseDone;
  SharedByte regionsRequest{bell}, regionsDone;
  SharedByte enterBooterRequest{bell}, enterBooterDone;
  SharedByte eraseRequest{bell}, eraseDone;
  SharedByte keyFirmwareRequest{bell}, keyFirmwareDone;
  SharedByte leaveBooterRequest{bell}, leaveBooterDone;
  SharedByte markRequest{bell}, markDone;

  // The package as a span (empty when none is set).
  std::span<std::uint8_t> package() const { return {imageBase, imageBase ? imageSize : 0}; }

  // Sets every byte to 0 (the image pointer to none). Only while no worker runs.
  void zero() {
    identity.fill(0);
    for (auto& r : regions) r.bytes.fill(0);
    componentVersions.fill(ComponentVersion{});
    imageBase = nullptr;
    imageSize = 0;
    for (SharedByte* b :
         {&upgradeOption,      &keyVariant,      &exitRequest,        &workerEnded,
          &startRequest,       &startDone,       &connectRequest,     &connected,
          &identityRequest,    &identityDone,    &versionsRequest,    &versionsDone,
          &dataEraseRequest,   &dataEraseDone,   &regionsRequest,     &regionsDone,
          &enterBooterRequest, &enterBooterDone, &eraseRequest,       &eraseDone,
          &keyFirmwareRequest, &keyFirmwareDone, &leaveBooterRequest, &leaveBooterDone,
          &markRequest,        &markDone}) {
      b->set(0);
    }
  }
};

}  // namespace flashwell::protocol
