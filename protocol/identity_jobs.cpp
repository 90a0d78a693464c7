#include "protocol/worker.h"

#include <algorithm>

namespace flashwell::protocol {

namespace {
constexpr int kIdentityAttempts = 3;
constexpr std::size_t kMarkByte = 54;
}  // namespace

int Worker::ReadIdentityWithRetry(std::span<std::uint8_t, kIdentitySize> destination) {
  for (int attempt = 0; attempt < kIdentityAttempts; ++attempt) {
    if (!Connect()) return kIdentityStopped;
    KeyIdentity buffer{};
    if (commands_.ReadIdentity(buffer) == 1) {
      std::copy(buffer.begin(), buffer.end(), destination.begin());
      return kIdentityRead;
    }
    link_.UsbClose();
    block_.connected.set(0);
  }
  return kIdentityUnreadable;
}

int Worker::KeyState() {
  KeyIdentity identity{};
  switch (ReadIdentityWithRetry(identity)) {
    case kIdentityStopped:
      return kKeyStopped;
    case kIdentityRead:
      return programCode(identity) == kProgramBooter ? kKeyBooterRuns : kKeyFirmwareRuns;
    default:
      return kKeyUnreadable;
  }
}

bool Worker::ReadIdentityJob() {
  if (!CheckExit()) return false;
  block_.identity.fill(0);
  KeyIdentity identity{};
  switch (ReadIdentityWithRetry(identity)) {
    case kIdentityStopped:
      return false;
    case kIdentityRead:
      block_.identity = identity;
      block_.identityDone.set(1);
      return true;
    default:
      block_.identityDone.set(2);
      return true;
  }
}

bool Worker::EraseDataFlash() {
  block_.dataEraseDone.set(commands_.EraseData() == 1 ? 1 : 2);
  return true;
}

bool Worker::ClearMark() {
  std::uint8_t result = 2;
  KeyIdentity identity{};
  if (ReadIdentityWithRetry(identity) == kIdentityRead) {
    if (identity[kMarkByte] == 0xFF) {
      result = 1;
    } else {
      identity[kMarkByte] = 0xFF;
      result = commands_.StoreIdentity(identity) == 1 ? 1 : 2;
    }
  }
  // A stop asked during the read is seen by the loop's next pass.
  block_.markDone.set(result);
  return true;
}

}  // namespace flashwell::protocol
