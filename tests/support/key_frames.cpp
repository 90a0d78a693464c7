#include "tests/support/key_frames.h"

namespace flashwell::support {
namespace {

std::uint8_t lo(std::uint32_t v) {
  return static_cast<std::uint8_t>(v);
}
std::uint8_t hi(std::uint32_t v) {
  return static_cast<std::uint8_t>(v >> 8);
}

std::vector<std::uint8_t> read(int got, std::vector<std::uint8_t> bytes) {
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

}  // namespace

bool open(KeyBench& bench) {
  return bench.link->UsbEnsureOpen();
}

bool control(KeyBench& bench, std::uint8_t code, std::uint16_t wIndex,
             std::vector<std::uint8_t> payload) {
  if (!open(bench)) return false;
  const auto n = static_cast<std::uint16_t>(payload.size());
  const usb::SetupPacket setup{0x40, code, 0, 0, lo(wIndex), hi(wIndex), lo(n), hi(n)};
  return bench.link->UsbControlTransfer(payload, setup) > 0;
}

bool transferSetup(KeyBench& bench, std::uint8_t direction, std::uint16_t length) {
  return control(bench, 12, 0x0471, {0, 0, 0, lo(length), hi(length), direction});
}

bool shortCommand(KeyBench& bench, std::uint8_t sub, std::uint32_t address, std::uint16_t length) {
  return control(bench, 14, static_cast<std::uint16_t>(address >> 16),
                 {sub, lo(address), hi(address), 0, lo(length), hi(length)});
}

bool flashCommand(KeyBench& bench, std::uint8_t sub, std::uint32_t address, std::uint16_t count) {
  return control(bench, 15, 0x0471,
                 {sub, lo(address), hi(address), lo(address >> 16), lo(count), hi(count)});
}

bool longCommand(KeyBench& bench, std::uint8_t sub, std::uint16_t p1, std::uint16_t p2,
                 std::uint16_t p3, std::uint16_t p4) {
  return control(bench, 13, 0,
                 {sub, lo(p1), hi(p1), lo(p2), hi(p2), lo(p3), hi(p3), lo(p4), hi(p4)});
}

std::vector<std::uint8_t> readEp2(KeyBench& bench, std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  const int got = bench.link->UsbReadEp2(bytes);
  return read(got, std::move(bytes));
}

std::vector<std::uint8_t> readEp1(KeyBench& bench, std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  const int got = bench.link->UsbReadEp1(bytes);
  return read(got, std::move(bytes));
}

bool writeEp2(KeyBench& bench, const std::vector<std::uint8_t>& bytes) {
  return bench.link->UsbWriteEp2(bytes) == static_cast<int>(bytes.size());
}

std::vector<std::uint8_t> identify(KeyBench& bench) {
  if (!shortCommand(bench, 7) || !transferSetup(bench, 1, 128)) return {};
  return readEp2(bench, 128);
}

std::vector<std::uint8_t> readMemory(KeyBench& bench, std::uint32_t address, std::uint16_t length) {
  if (!shortCommand(bench, 1, address, length) || !transferSetup(bench, 1, length)) return {};
  return readEp2(bench, length);
}

bool sendBlock(KeyBench& bench, const std::vector<std::uint8_t>& block) {
  return transferSetup(bench, 0, static_cast<std::uint16_t>(block.size())) &&
         writeEp2(bench, block);
}

bool restartAndWait(KeyBench& bench, std::uint32_t ms) {
  const bool ok = flashCommand(bench, 4);
  bench.link->UsbClose();
  bench.clock.sleepMs(ms);
  return ok;
}

}  // namespace flashwell::support
