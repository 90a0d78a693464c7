#pragma once

// The virtual MEMPOD key: its two programs and the restart between them, its identity and
// configuration memory, its internal flash and the regions of its external flash, and the time
// each of its answers takes. It sees the requests after the emulated driver has unpacked them;
// it is not safe to use from two threads at once (the driver serialises its calls).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "emulator/key_image.h"

namespace flashwell::emulator {

// How long the key takes, in milliseconds. A control transfer (setup, data and status stages)
// costs `commandMs`; the bulk endpoints move `bulkBytesPerMs` bytes per millisecond frame, a
// transfer costing at least one frame; the interrupt endpoint 0x81 moves one packet of the
// first endpoint's maximum size per frame. The long operations add their own time.
struct KeyTiming {
  std::uint32_t commandMs = 1;
  std::uint32_t bulkBytesPerMs = 1024;
  std::uint32_t reenumerationMs = 1500;  // off the bus after a restart
  std::uint32_t firmwareEraseMs = 1500;
  std::uint32_t dataEraseMs = 4000;
};

struct KeyAnswer {
  bool accepted = false;
  std::uint32_t busyMs = 0;         // how long the key took to answer
  std::vector<std::uint8_t> bytes;  // an accepted read: the bytes returned
  std::string refusal;              // why it was refused, for test messages
};

class VirtualKey {
 public:
  explicit VirtualKey(KeyImage image, KeyTiming timing = {});

  // A vendor control request with its data stage.
  KeyAnswer control(std::span<const std::uint8_t, 8> setup, std::span<const std::uint8_t> payload);
  // A transfer to endpoint 0x02.
  KeyAnswer write(std::uint8_t endpoint, std::span<const std::uint8_t> data);
  // A transfer from endpoint 0x82 or 0x81 of at most `length` bytes.
  KeyAnswer read(std::uint8_t endpoint, std::uint32_t length);
  // Configuration, interface and endpoint descriptors, each led by its length byte.
  std::vector<std::uint8_t> descriptorSet() const;

  // After an accepted restart the key leaves the bus; the driver asks for this once.
  bool takeRestart();
  // The restart just accepted brings the key back in the program it runs now.
  void keepProgramOnRestart();
  // The key comes back on the bus. After a restart it runs the program chosen then; after a
  // power cycle the booter starts the firmware when the firmware area holds a valid one. What
  // the key was in the middle of (announced transfers, open regions) is forgotten either way.
  void bootAfterRestart();
  void bootAfterPowerCycle();

  // The identify answer as the key builds it now.
  std::array<std::uint8_t, kIdentitySize> identityAnswer() const;
  // One byte of the key's memory as a memory read returns it.
  std::uint8_t memoryByte(std::uint32_t address) const;

  const KeyImage& image() const { return ctx_.image; }
  KeyImage& image() { return ctx_.image; }
  KeyProgram program() const { return ctx_.image.program; }
  bool largePacket() const { return ctx_.image.maxPacketSize != 8; }
  std::span<const std::uint8_t> firmwareArea() const { return ctx_.image.firmwareArea; }
  std::span<const std::uint8_t> region(std::uint16_t code) const;
  std::span<const std::uint8_t, kConfigurationSize> configuration() const {
    return ctx_.image.configuration;
  }
  const KeyTiming& timing() const { return ctx_.timing; }
  KeyTiming& timing() { return ctx_.timing; }

  // Control requests seen (accepted or not), in total and per code and sub-command.
  std::uint64_t commandsSeen() const { return commandsSeen_; }
  std::uint64_t commandsSeen(std::uint8_t code, std::uint8_t sub) const;
  // Everything the key has spent answering so far, in milliseconds: the floor of any run.
  std::uint64_t modelledBusyMs() const { return busyMs_; }

  // The key's working state between requests, shared with the command handlers.
  struct Context {
    KeyImage image;
    KeyTiming timing;
    // Announced by a TransferSetup write and filled by 0x02 transfers.
    std::uint32_t announcedOut = 0;
    std::vector<std::uint8_t> received;
    // What the next read returns: set up by identify or a memory read request, announced by a
    // TransferSetup read.
    enum class Source { none, identity, memory } source = Source::none;
    std::uint32_t readAddress = 0;
    std::optional<std::vector<std::uint8_t>> staged;
    std::set<std::uint16_t> openRegions;
    std::optional<KeyProgram> restartInto;

    bool largePacket() const { return image.maxPacketSize != 8; }
    // The block sent since the last TransferSetup write, when exactly `size` bytes arrived; it
    // is used up either way.
    std::optional<std::vector<std::uint8_t>> takeReceived(std::size_t size);
    std::vector<std::uint8_t> readMemory(std::uint32_t address, std::size_t length) const;
  };

 private:
  std::uint32_t bulkMs(std::size_t bytes) const;
  void forgetSession();

  Context ctx_;
  std::optional<KeyProgram> pendingProgram_;
  std::uint64_t commandsSeen_ = 0;
  std::map<std::uint16_t, std::uint64_t> perCommand_;
  std::uint64_t busyMs_ = 0;
};

}  // namespace flashwell::emulator
