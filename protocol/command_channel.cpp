#include "protocol/command_channel.h"

#include "protocol/command_frame.h"

namespace flashwell::protocol {

bool CommandChannel::SendCommand(std::uint8_t code, std::uint8_t sub, std::uint32_t address,
                                 std::uint32_t length, std::uint32_t p1, std::uint32_t p2,
                                 std::uint32_t p3, std::uint32_t p4) {
  if (!link_.UsbEnsureOpen()) return false;
  RestartTimer();
  auto frame = buildCommandFrame(code, sub, address, length, p1, p2, p3, p4);
  if (!frame) return false;
  std::span<std::uint8_t> payload(frame->payload.data(), frame->payloadLength);
  if (link_.UsbControlTransfer(payload, frame->setup) == -1) {
    link_.UsbClose();
    return false;
  }
  // The key has answered; one that answered too late counts as having failed.
  if (CheckElapsed(frame->limitMs) != Elapsed::inTime) {
    link_.UsbClose();
    return false;
  }
  return true;
}

bool CommandChannel::SendCommandOrClose(std::uint8_t code, std::uint8_t sub, std::uint32_t address,
                                        std::uint32_t length, std::uint32_t p1, std::uint32_t p2,
                                        std::uint32_t p3, std::uint32_t p4) {
  const bool accepted = SendCommand(code, sub, address, length, p1, p2, p3, p4);
  if (!accepted) link_.UsbClose();
  return accepted;
}

void CommandChannel::RestartTimer() {
  startTick_ = clock_.tickMs();
}

Elapsed CommandChannel::CheckElapsed(std::uint32_t limitMs) {
  const std::uint32_t now = clock_.tickMs();
  if (static_cast<std::uint32_t>(now - startTick_) > limitMs) return Elapsed::tooLong;
  startTick_ = now;
  return Elapsed::inTime;
}

}  // namespace flashwell::protocol
