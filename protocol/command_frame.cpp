#include "protocol/command_frame.h"

#include "usb/bytes.h"

namespace flashwell::protocol {

namespace {

constexpr std::uint8_t kVendorHostToDevice = 0x40;
constexpr std::uint16_t kKeyIndex = 0x0471;

std::uint8_t byteOf(std::uint32_t v, int n) {
  return static_cast<std::uint8_t>(v >> (8 * n));
}

void putSetup(CommandFrame& f, std::uint8_t code, std::uint16_t index) {
  f.setup[0] = kVendorHostToDevice;
  f.setup[1] = code;
  usb::putLe16(f.setup, 2, 0);
  usb::putLe16(f.setup, 4, index);
  usb::putLe16(f.setup, 6, static_cast<std::uint16_t>(f.payloadLength));
}

}  // namespace

std::uint32_t commandTimeLimitMs(std::uint8_t code, std::uint8_t sub) {
  switch (code) {
    case kLongCommand:
      return sub == 7 ? kLongLimitMs : kNormalLimitMs;
    case kShortCommand:
      return (sub == 25 || sub == 53 || sub == 63) ? kLongLimitMs : kNormalLimitMs;
    case kFlashCommand:
      return (sub == 1 || sub == 3 || sub == 5) ? kLongLimitMs : kNormalLimitMs;
    default:
      return kNormalLimitMs;
  }
}

std::optional<CommandFrame> buildCommandFrame(std::uint8_t code, std::uint8_t sub,
                                              std::uint32_t address, std::uint32_t length,
                                              std::uint32_t p1, std::uint32_t p2, std::uint32_t p3,
                                              std::uint32_t p4) {
  CommandFrame f;
  auto& p = f.payload;
  std::uint16_t index = 0;
  switch (code) {
    case kTransferSetup:
      f.payloadLength = 6;
      p[0] = byteOf(address, 0);
      p[1] = byteOf(address, 1);
      p[2] = byteOf(address, 2);
      p[3] = byteOf(length, 0);
      p[4] = byteOf(length, 1);
      p[5] = sub;
      index = kKeyIndex;
      break;
    case kLongCommand:
      f.payloadLength = 9;
      p[0] = sub;
      usb::putLe16(p, 1, static_cast<std::uint16_t>(p1));
      usb::putLe16(p, 3, static_cast<std::uint16_t>(p2));
      usb::putLe16(p, 5, static_cast<std::uint16_t>(p3));
      usb::putLe16(p, 7, static_cast<std::uint16_t>(p4));
      index = 0;
      break;
    case kShortCommand:
      f.payloadLength = 6;
      p[0] = sub;
      p[1] = byteOf(address, 0);
      p[2] = byteOf(address, 1);
      p[3] = byteOf(p1, 0);
      p[4] = byteOf(length, 0);
      p[5] = byteOf(length, 1);
      index = static_cast<std::uint16_t>(address >> 16);
      break;
    case kFlashCommand:
      f.payloadLength = 6;
      p[0] = sub;
      p[1] = byteOf(address, 0);
      p[2] = byteOf(address, 1);
      p[3] = byteOf(address, 2);
      p[4] = byteOf(length, 0);
      p[5] = byteOf(length, 1);
      index = kKeyIndex;
      break;
    default:
      return std::nullopt;
  }
  putSetup(f, code, index);
  f.limitMs = commandTimeLimitMs(code, sub);
  return f;
}

}  // namespace flashwell::protocol
