#include "protocol/worker.h"

#include <algorithm>

namespace flashwell::protocol {

namespace {
constexpr int kIdentityAttempts = 3;
constexpr std::uint8_t kMarkCleared = 0xFF;
}  // namespace

IdentityRead Worker::ReadIdentityWithRetry(std::span<std::uint8_t, kIdentitySize> destination) {
  for (int attempt = 0; attempt < kIdentityAttempts; ++attempt) {
    if (!Connect()) return IdentityRead::stopped;
    KeyIdentity buffer{};
    if (commands_.ReadIdentity(buffer)) {
      std::copy(buffer.begin(), buffer.end(), destination.begin());
      return IdentityRead::read;
    }
    link_.UsbClose();
    block_.connected.set(0);
  }
  return IdentityRead::unreadable;
}

KeyStatus Worker::KeyState() {
  KeyIdentity identity{};
  switch (ReadIdentityWithRetry(identity)) {
    case IdentityRead::stopped:
      return KeyStatus::stopped;
    case IdentityRead::read:
      return programCode(identity) == kProgramBooter ? KeyStatus::booterRuns
                                                     : KeyStatus::firmwareRuns;
    default:
      return KeyStatus::unreadable;
  }
}

bool Worker::ReadIdentityJob() {
  if (!CheckExit()) return false;
  block_.identity.fill(0);
  KeyIdentity identity{};
  switch (ReadIdentityWithRetry(identity)) {
    case IdentityRead::stopped:
      return false;
    case IdentityRead::read:
      block_.identity = identity;
      block_.identityDone.set(kJobDone);
      return true;
    default:
      block_.identityDone.set(kJobRefused);
      return true;
  }
}

bool Worker::EraseDataFlash() {
  block_.dataEraseDone.set(commands_.EraseData() ? kJobDone : kJobRefused);
  return true;
}

bool Worker::ClearMark() {
  std::uint8_t result = kJobRefused;
  KeyIdentity identity{};
  if (ReadIdentityWithRetry(identity) == IdentityRead::read) {
    if (identity[kIdentityMark] == kMarkCleared) {
      result = kJobDone;
    } else {
      identity[kIdentityMark] = kMarkCleared;
      result = commands_.StoreIdentity(identity) ? kJobDone : kJobRefused;
    }
  }
  // A stop asked during the read is seen by the loop's next pass.
  block_.markDone.set(result);
  return true;
}

}  // namespace flashwell::protocol
