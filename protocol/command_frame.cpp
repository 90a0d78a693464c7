#include "protocol/command_frame.h"

#include "usb/bytes.h"

namespace flashwell::protocol {

namespace {

constexpr std::uint8_t kVendorHostToDevice = 0x40;
constexpr std::uint16_t kKeyIndex = 0x0471;

std::uint8_t byteOf(std::uint32_t v, int n) {
  return static_cast<std::uint8_t>(v >> (8 * n));
}

// The low `count` bytes of `v`, little-endian, from p[at] on.
void putLow(std::array<std::uint8_t, 9>& p, std::size_t at, std::uint32_t v, int count) {
  for (int n = 0; n < count; ++n) p[at + static_cast<std::size_t>(n)] = byteOf(v, n);
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
      putLow(p, 0, address, 3);
      putLow(p, 3, length, 2);
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
      putLow(p, 1, address, 2);
      p[3] = byteOf(p1, 0);
      putLow(p, 4, length, 2);
      index = static_cast<std::uint16_t>(address >> 16);
      break;
    case kFlashCommand:
      f.payloadLength = 6;
      p[0] = sub;
      putLow(p, 1, address, 3);
      putLow(p, 4, length, 2);
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
