#pragma once

// A host for the virtual key in tests: the emulated driver behind the real link, on a
// simulated clock, with hand-built command frames.

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "usb/clock.h"
#include "usb/link.h"

namespace flashwell::emulator::testing {

struct CountingNotices : usb::LinkNotices {
  int busy = 0;
  int denied = 0;
  void anotherProgramUsesKey() override { ++busy; }
  void keyAccessDenied(const std::string&) override { ++denied; }
};

inline KeyImage named(const char* name) {
  return *namedKeyState(name);
}

struct KeyHost {
  explicit KeyHost(KeyImage image, bool plugged = true)
      : key(std::move(image)), driver(clock, key, &trace, plugged), link(driver, notices) {}

  bool open() { return link.UsbEnsureOpen(); }

  static std::uint8_t lo(std::uint32_t v) { return static_cast<std::uint8_t>(v); }
  static std::uint8_t hi(std::uint32_t v) { return static_cast<std::uint8_t>(v >> 8); }

  bool control(std::uint8_t code, std::uint16_t wIndex, std::vector<std::uint8_t> payload) {
    if (!open()) return false;
    const auto n = static_cast<std::uint16_t>(payload.size());
    const usb::SetupPacket setup{0x40, code, 0, 0, lo(wIndex), hi(wIndex), lo(n), hi(n)};
    return link.UsbControlTransfer(payload, setup) > 0;
  }
  bool transferSetup(std::uint8_t direction, std::uint16_t length) {
    return control(12, 0x0471, {0, 0, 0, lo(length), hi(length), direction});
  }
  bool shortCommand(std::uint8_t sub, std::uint32_t address = 0, std::uint16_t length = 0) {
    return control(14, static_cast<std::uint16_t>(address >> 16),
                   {sub, lo(address), hi(address), 0, lo(length), hi(length)});
  }
  bool flashCommand(std::uint8_t sub, std::uint32_t address = 0, std::uint16_t count = 0) {
    return control(15, 0x0471,
                   {sub, lo(address), hi(address), lo(address >> 16), lo(count), hi(count)});
  }
  bool longCommand(std::uint8_t sub, std::uint16_t p1, std::uint16_t p2, std::uint16_t p3,
                   std::uint16_t p4) {
    return control(13, 0, {sub, lo(p1), hi(p1), lo(p2), hi(p2), lo(p3), hi(p3), lo(p4), hi(p4)});
  }
  std::vector<std::uint8_t> readEp2(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    const int got = link.UsbReadEp2(bytes);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
  }
  std::vector<std::uint8_t> readEp1(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    const int got = link.UsbReadEp1(bytes);
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
  }
  bool writeEp2(const std::vector<std::uint8_t>& bytes) {
    return link.UsbWriteEp2(bytes) == static_cast<int>(bytes.size());
  }

  std::vector<std::uint8_t> identify() {
    if (!shortCommand(7) || !transferSetup(1, 128)) return {};
    return readEp2(128);
  }
  // One chunk in the large-packet manner.
  std::vector<std::uint8_t> readMemory(std::uint32_t address, std::uint16_t length) {
    if (!shortCommand(1, address, length) || !transferSetup(1, length)) return {};
    return readEp2(length);
  }
  bool sendBlock(const std::vector<std::uint8_t>& block) {
    return transferSetup(0, static_cast<std::uint16_t>(block.size())) && writeEp2(block);
  }
  bool restartAndWait(std::uint32_t ms = 1500) {
    const bool ok = flashCommand(4);
    link.UsbClose();
    clock.sleepMs(ms);
    return ok;
  }

  usb::SimulatedClock clock;
  VirtualKey key;
  Trace trace{nullptr, true};
  EmulatedDriver driver;
  CountingNotices notices;
  usb::UsbLink link;
};

}  // namespace flashwell::emulator::testing
