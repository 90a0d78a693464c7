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

#include "protocol/key_records.h"
#include "protocol/request_bell.h"
#include "protocol/upgrade_option.h"
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

// What a job's done byte says once the job has run; it is 0 before. The regions' done byte also
// counts the component being written (3 and up) while the job runs.
inline constexpr std::uint8_t kJobDone = 1;
inline constexpr std::uint8_t kJobRefused = 2;

// The first bytes of a component as the versions job reads them back from the key.
using ComponentHead = std::array<std::uint8_t, 256>;

struct RequestBlock {
  KeyIdentity identity{};
  std::array<RegionSlot, 10> regions{};
  std::array<ComponentVersion, 10> componentVersions{};
  // The whole head of each stored component, by entry of componentVersions.
  std::array<ComponentHead, 10> componentHeads{};
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
    for (auto& h : componentHeads) h.fill(0);
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
