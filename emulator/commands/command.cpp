#include "emulator/commands/command.h"

#include "usb/bytes.h"

namespace flashwell::emulator::commands {

namespace {
std::uint8_t at(std::span<const std::uint8_t> p, std::size_t i) {
  return i < p.size() ? p[i] : 0;
}
}  // namespace

std::uint32_t KeyCommand::setupAddress() const {
  return at(payload, 0) | (at(payload, 1) << 8) |
         (static_cast<std::uint32_t>(at(payload, 2)) << 16);
}
std::uint16_t KeyCommand::setupLength() const {
  return usb::le16(payload, 3);
}
std::uint8_t KeyCommand::setupDirection() const {
  return at(payload, 5);
}

std::uint16_t KeyCommand::parameter(int number) const {
  return usb::le16(payload, 1 + 2 * static_cast<std::size_t>(number - 1));
}

std::uint32_t KeyCommand::shortAddress() const {
  return (static_cast<std::uint32_t>(wIndex) << 16) | at(payload, 1) | (at(payload, 2) << 8);
}
std::uint16_t KeyCommand::shortLength() const {
  return usb::le16(payload, 4);
}

std::uint32_t KeyCommand::flashAddress() const {
  return at(payload, 1) | (at(payload, 2) << 8) |
         (static_cast<std::uint32_t>(at(payload, 3)) << 16);
}
std::uint16_t KeyCommand::flashCount() const {
  return usb::le16(payload, 4);
}

std::string frameFault(std::span<const std::uint8_t, 8> setup, std::size_t payloadLength) {
  const std::uint8_t code = setup[1];
  const std::uint16_t wValue = usb::le16(setup, 2);
  const std::uint16_t wIndex = usb::le16(setup, 4);
  const std::uint16_t wLength = usb::le16(setup, 6);
  if (setup[0] != 0x40) return "request type is not vendor, host to device";
  if (code < 12 || code > 15) return "unknown request code " + std::to_string(code);
  if (wValue != 0) return "wValue is not 0";
  const std::size_t expected = code == 13 ? 9 : 6;
  if (wLength != expected)
    return "wLength " + std::to_string(wLength) + " for code " + std::to_string(code);
  if (payloadLength != wLength) return "data stage length differs from wLength";
  if ((code == 12 || code == 15) && wIndex != 0x0471) return "wIndex is not 0x0471";
  if (code == 13 && wIndex != 0) return "wIndex is not 0";
  return {};
}

}  // namespace flashwell::emulator::commands
