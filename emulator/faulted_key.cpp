#include "emulator/faulted_key.h"

#include <algorithm>
#include <vector>

#include "usb/bytes.h"

namespace flashwell::emulator {

namespace {

// The key's answer to a request that a fault keeps from it: the key still takes its time.
KeyAnswer refusedByFault(std::uint32_t busyMs) {
  KeyAnswer answer;
  answer.busyMs = busyMs;
  answer.refusal = "refused by a fault";
  return answer;
}

// The bytes with the corrupted one changed.
std::vector<std::uint8_t> corrupted(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
  if (!out.empty()) out[std::min(kCorruptedByte, out.size() - 1)] ^= kCorruptionMask;
  return out;
}

}  // namespace

Exchange FaultedKey::control(std::span<const std::uint8_t, 8> setup,
                             std::span<const std::uint8_t> payload) {
  const std::uint8_t code = setup[1];
  const std::uint8_t sub = payload.empty() ? 0 : payload[0];
  const auto site = siteOfCommand(code, sub, usb::le16(payload, 3));
  Exchange e;
  e.fault = site ? strikeOf(faults_.strike(*site)) : Strike::none;
  if (pulls(e.fault)) return e;
  if (stalls(e.fault)) {
    e.answer = refusedByFault(key_.timing().commandMs);
  } else if (e.fault == Strike::corrupt) {
    e.answer = key_.control(setup, corrupted(payload));
  } else {
    e.answer = key_.control(setup, payload);
  }
  if (e.fault == Strike::late) e.answer.busyMs += lateDelayMs(*site, code, sub);
  return e;
}

Exchange FaultedKey::write(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
  Exchange e;
  e.fault = strikeOf(faults_.strike(FaultSite::out));
  if (pulls(e.fault)) return e;
  if (stalls(e.fault)) {
    e.answer = refusedByFault(1);
  } else if (e.fault == Strike::corrupt) {
    e.answer = key_.write(endpoint, corrupted(data));
  } else {
    e.answer = key_.write(endpoint, data);
  }
  if (e.fault == Strike::late) e.answer.busyMs += lateDelayMs(FaultSite::out, 0, 0);
  return e;
}

Exchange FaultedKey::read(std::uint8_t endpoint, std::uint32_t length) {
  Exchange e;
  e.fault = strikeOf(faults_.strike(FaultSite::in));
  if (pulls(e.fault)) return e;
  e.answer = stalls(e.fault) ? refusedByFault(1) : key_.read(endpoint, length);
  if (e.fault == Strike::corrupt) e.answer.bytes = corrupted(e.answer.bytes);
  if (e.fault == Strike::late) e.answer.busyMs += lateDelayMs(FaultSite::in, 0, 0);
  return e;
}

}  // namespace flashwell::emulator
