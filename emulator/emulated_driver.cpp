#include "emulator/emulated_driver.h"

#include <algorithm>

#include "emulator/faulted_key.h"
#include "usb/bytes.h"
#include "usb/transfer_request.h"

namespace flashwell::emulator {

EmulatedDriver::EmulatedDriver(usb::Clock& clock, VirtualKey& key, Trace* trace, bool plugged)
    : clock_(clock), key_(key), trace_(trace), lastTick_(clock.tickMs()) {
  members_.push_back({Member::Kind::key, kDefaultKeyPath});
  if (plugged) {
    present_ = true;
    generation_ = 1;
    if (trace_) trace_->plug(0);
  }
}

// --- time and the bus --------------------------------------------------------------------------

std::uint64_t EmulatedDriver::nowLocked() {
  const std::uint32_t tick = clock_.tickMs();
  now_ += static_cast<std::uint32_t>(tick - lastTick_);
  lastTick_ = tick;
  return now_;
}

std::uint64_t EmulatedDriver::nowMs() {
  std::lock_guard lock(mutex_);
  return nowLocked();
}

void EmulatedDriver::applyDueLocked() {
  const std::uint64_t now = nowLocked();
  for (;;) {
    auto due =
        std::min_element(schedule_.begin(), schedule_.end(),
                         [](const Scheduled& a, const Scheduled& b) { return a.atMs < b.atMs; });
    if (due == schedule_.end() || due->atMs > now) return;
    const Scheduled event = *due;
    schedule_.erase(due);
    switch (event.what) {
      case Scheduled::What::plug:
        plugLocked(event.atMs, pulled_ ? Boot::powerCycle : Boot::none);
        break;
      case Scheduled::What::plugAfterRestart:
        plugLocked(event.atMs, Boot::restart);
        break;
      case Scheduled::What::plugAfterPowerCycle:
        plugLocked(event.atMs, Boot::powerCycle);
        break;
      case Scheduled::What::unplug:
        unplugLocked(event.atMs);
        if (event.backAfterMs) {
          schedule_.push_back({event.atMs + *event.backAfterMs,
                               Scheduled::What::plugAfterPowerCycle, std::nullopt});
        }
        break;
    }
  }
}

void EmulatedDriver::plugLocked(std::uint64_t at, Boot boot) {
  if (present_) return;
  if (boot == Boot::restart) key_.bootAfterRestart();
  if (boot == Boot::powerCycle) key_.bootAfterPowerCycle();
  present_ = true;
  ++generation_;
  if (trace_) trace_->plug(at);
}

void EmulatedDriver::unplugLocked(std::uint64_t at) {
  if (!present_) return;
  present_ = false;
  pulled_ = true;
  if (trace_) trace_->unplug(at);
}

void EmulatedDriver::pullKeyLocked(std::uint64_t at, std::optional<std::uint32_t> backAfterMs) {
  unplugLocked(at);
  if (backAfterMs) {
    schedule_.push_back({at + *backAfterMs, Scheduled::What::plugAfterPowerCycle, std::nullopt});
  }
}

void EmulatedDriver::plug() {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  plugLocked(now_, pulled_ ? Boot::powerCycle : Boot::none);
}

void EmulatedDriver::unplug() {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  unplugLocked(now_);
}

void EmulatedDriver::schedulePlug(std::uint64_t atMs) {
  std::lock_guard lock(mutex_);
  schedule_.push_back({atMs, Scheduled::What::plug, std::nullopt});
}

void EmulatedDriver::scheduleUnplug(std::uint64_t atMs, std::optional<std::uint32_t> backAfterMs) {
  std::lock_guard lock(mutex_);
  schedule_.push_back({atMs, Scheduled::What::unplug, backAfterMs});
}

bool EmulatedDriver::keyPresent() {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  return present_;
}

bool EmulatedDriver::eventsPending() {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  return !schedule_.empty();
}

void EmulatedDriver::waitOnClock(std::unique_lock<std::mutex>& lock, std::uint32_t ms) {
  if (ms == 0) return;
  // The lock is let go while the key works, so that a test can plug or pull meanwhile.
  lock.unlock();
  clock_.sleepMs(ms);
  lock.lock();
  applyDueLocked();
}

// --- settings ----------------------------------------------------------------------------------

void EmulatedDriver::insertMember(Member member, Place place) {
  std::lock_guard lock(mutex_);
  auto key = std::find_if(members_.begin(), members_.end(),
                          [](const Member& m) { return m.kind == Member::Kind::key; });
  if (place == Place::afterKey) {
    members_.push_back(std::move(member));
  } else {
    members_.insert(key, std::move(member));
  }
}

void EmulatedDriver::addDevice(std::string path, Place place) {
  insertMember({Member::Kind::device, std::move(path)}, place);
}

void EmulatedDriver::addEnumerationError(std::uint32_t error, Place place) {
  insertMember({Member::Kind::error, {}, error}, place);
}

void EmulatedDriver::addMemberWithoutPath(Place place) {
  insertMember({Member::Kind::noPath, {}}, place);
}

void EmulatedDriver::setKeyPath(std::string path) {
  std::lock_guard lock(mutex_);
  for (Member& m : members_) {
    if (m.kind == Member::Kind::key) m.path = path;
  }
}

void EmulatedDriver::setClassQueryFails(bool fails) {
  std::lock_guard lock(mutex_);
  classQueryFails_ = fails;
}

void EmulatedDriver::setHeldByAnotherProgram(bool held) {
  std::lock_guard lock(mutex_);
  held_ = held;
}

void EmulatedDriver::setNativeArchitecture(std::uint16_t architecture) {
  std::lock_guard lock(mutex_);
  architecture_ = architecture;
}

void EmulatedDriver::addFault(const Fault& fault) {
  std::lock_guard lock(mutex_);
  faults_.add(fault);
}

void EmulatedDriver::addFaults(const std::vector<Fault>& faults) {
  std::lock_guard lock(mutex_);
  faults_.add(faults);
}

void EmulatedDriver::setMalformedDescriptor(bool malformed) {
  std::lock_guard lock(mutex_);
  malformedDescriptor_ = malformed;
}

void EmulatedDriver::setDescriptorHook(DescriptorHook hook) {
  std::lock_guard lock(mutex_);
  descriptorHook_ = std::move(hook);
}

void EmulatedDriver::setInHook(InHook hook) {
  std::lock_guard lock(mutex_);
  inHook_ = std::move(hook);
}

std::size_t EmulatedDriver::openHandles() {
  std::lock_guard lock(mutex_);
  return handles_.size();
}

std::string EmulatedDriver::lastRejection() {
  std::lock_guard lock(mutex_);
  return lastRejection_;
}

void EmulatedDriver::rejectLocked(std::string why) {
  lastRejection_ = std::move(why);
}

std::uint16_t EmulatedDriver::nativeProcessorArchitecture() {
  std::lock_guard lock(mutex_);
  return architecture_;
}

// --- enumeration, open, close ------------------------------------------------------------------

bool EmulatedDriver::beginSearch() {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  if (classQueryFails_) return false;
  snapshot_.clear();
  for (const Member& m : members_) {
    if (m.kind != Member::Kind::key || present_) snapshot_.push_back(m);
  }
  return true;
}

usb::InterfaceEntry EmulatedDriver::interfaceAt(std::uint32_t index) {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  if (index >= snapshot_.size()) return {usb::kErrorNoMoreItems, std::nullopt};
  const Member& m = snapshot_[index];
  switch (m.kind) {
    case Member::Kind::key:
    case Member::Kind::device:
      return {usb::kErrorSuccess, m.path};
    case Member::Kind::error:
      return {m.error, std::nullopt};
    case Member::Kind::noPath:
      break;
  }
  return {usb::kErrorSuccess, std::nullopt};
}

void EmulatedDriver::endSearch() {
  std::lock_guard lock(mutex_);
  snapshot_.clear();
}

usb::OpenResult EmulatedDriver::openExclusive(const std::string& path) {
  std::unique_lock lock(mutex_);
  applyDueLocked();
  const auto member = std::find_if(members_.begin(), members_.end(), [&](const Member& m) {
    return (m.kind == Member::Kind::key || m.kind == Member::Kind::device) && m.path == path;
  });
  const bool isKey = member != members_.end() && member->kind == Member::Kind::key;
  auto fail = [&](std::uint32_t error, std::string why) {
    rejectLocked(std::move(why));
    if (trace_) trace_->open(nowLocked(), path, false);
    return usb::OpenResult{usb::kNoHandle, error};
  };
  if (member == members_.end() || (isKey && !present_)) {
    return fail(kErrorFileNotFound, "no such device");
  }
  const bool inUse = std::any_of(handles_.begin(), handles_.end(),
                                 [&](const auto& h) { return h.second.path == path; });
  if (inUse || (isKey && held_)) return fail(usb::kErrorNoAccess, "held by another handle");
  if (isKey) {
    const Effect fault = FaultedKey(key_, faults_).open();
    if (fault.pulls) {
      pullKeyLocked(nowLocked(), fault.backAfterMs);
      return fail(kErrorFileNotFound, "key pulled by a fault");
    }
    if (fault.refused || fault.badStatus || fault.movesNothing) {
      return fail(kErrorGenFailure, "open refused by a fault");
    }
    waitOnClock(lock, fault.lateMs);
    if (!present_) return fail(kErrorFileNotFound, "key gone while opening");
  }
  const usb::DriverHandle handle = nextHandle_++;
  handles_[handle] = {path, isKey, generation_};
  if (trace_) trace_->open(nowLocked(), path, true);
  return {handle, usb::kErrorSuccess};
}

void EmulatedDriver::close(usb::DriverHandle handle) {
  std::lock_guard lock(mutex_);
  applyDueLocked();
  if (handles_.erase(handle) && trace_) trace_->close(now_);
}

bool EmulatedDriver::handleUsable(usb::DriverHandle handle, bool& keyHandle) {
  const auto found = handles_.find(handle);
  if (found == handles_.end()) {
    rejectLocked("unknown handle");
    return false;
  }
  keyHandle = found->second.key;
  if (keyHandle && (!present_ || found->second.generation != generation_)) {
    rejectLocked("the key has left the bus since this handle was opened");
    return false;
  }
  return true;
}

}  // namespace flashwell::emulator
