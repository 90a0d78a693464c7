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

// Passes one request on to the key as its fault has it: `ask` carries the request out with the
// bytes it is given, `refusedMs` is what a refusal costs the key.
template <typename Ask>
Exchange exchange(const std::optional<Fault>& fault, std::span<const std::uint8_t> bytes,
                  std::uint32_t refusedMs, std::uint8_t code, std::uint8_t sub, Ask ask) {
  Exchange e;
  e.effect = effectOf(fault);
  if (e.effect.pulls) return e;
  if (e.effect.refused) {
    e.answer = refusedByFault(refusedMs);
    return e;
  }
  if (e.effect.corrupts) {
    const std::vector<std::uint8_t> changed = corrupted(bytes);
    e.answer = ask(changed);
  } else {
    e.answer = ask(bytes);
  }
  if (e.effect.late) e.answer.busyMs = lateAnswerMs(*fault, e.answer.busyMs, code, sub);
  return e;
}

}  // namespace

Effect effectOf(const std::optional<Fault>& fault) {
  if (!fault) return {};
  switch (fault->kind) {
    case FaultKind::refuse:
      return {.refused = true};
    case FaultKind::stall:
      return {.refused = true, .halts = true};
    case FaultKind::late:
      return {.late = true};
    case FaultKind::status:
      return {.badStatus = true};
    case FaultKind::zero:
      return {.movesNothing = true};
    case FaultKind::unplug:
    case FaultKind::unplugForGood:
      return {.pulls = true, .backAfterMs = awayMs(*fault)};
    case FaultKind::corrupt:
      return {.corrupts = true};
    case FaultKind::stay:
      return {.keepsProgram = true};
  }
  return {};
}

Effect FaultedKey::gate(FaultSite site) {
  const std::optional<Fault> fault = faults_.strike({site});
  Effect effect = effectOf(fault);
  if (effect.late) effect.lateMs = lateAnswerMs(*fault, 0, 0, 0);
  return effect;
}

Exchange FaultedKey::control(std::span<const std::uint8_t, 8> setup,
                             std::span<const std::uint8_t> payload) {
  const std::uint8_t code = setup[1];
  const std::uint8_t sub = payload.empty() ? 0 : payload[0];
  const auto site = siteOfCommand(code, sub, usb::le16(payload, 3));
  const std::optional<Fault> fault =
      site ? faults_.strike({*site, FaultSite::control, FaultSite::any})
           : faults_.strike({FaultSite::control, FaultSite::any});
  Exchange e = exchange(fault, payload, key_.timing().commandMs, code, sub,
                        [&](std::span<const std::uint8_t> p) { return key_.control(setup, p); });
  if (e.effect.keepsProgram) key_.keepProgramOnRestart();
  return e;
}

Exchange FaultedKey::write(std::uint8_t endpoint, std::span<const std::uint8_t> data) {
  return exchange(faults_.strike({FaultSite::out, FaultSite::any}), data, 1, 0, 0,
                  [&](std::span<const std::uint8_t> d) { return key_.write(endpoint, d); });
}

Exchange FaultedKey::read(std::uint8_t endpoint, std::uint32_t length) {
  Exchange e = exchange(faults_.strike({FaultSite::in, FaultSite::any}), {}, 1, 0, 0,
                        [&](std::span<const std::uint8_t>) { return key_.read(endpoint, length); });
  if (e.effect.corrupts) e.answer.bytes = corrupted(e.answer.bytes);
  return e;
}

}  // namespace flashwell::emulator
