// Reading the key's identity over arbitrary answers of the key and its driver: failed and late
// requests, any status and byte count, any bytes read back, either packet size, either record
// layout. The read must never touch its destination unless it succeeds, and never write past
// it.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "protocol/command_channel.h"
#include "protocol/key_commands.h"
#include "tests/fuzz/answering_driver.h"
#include "usb/clock.h"
#include "usb/link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace flashwell;
  FuzzedDataProvider in(data, size);
  const std::size_t wanted = in.ConsumeIntegralInRange<std::size_t>(0, 140);
  const bool x64 = in.ConsumeBool();

  usb::SimulatedClock clock(in.ConsumeIntegral<std::uint32_t>());
  fuzzing::AnsweringDriver driver(in, clock);
  driver.setArchitecture(x64 ? usb::kArchitectureX64 : 0);
  usb::SilentNotices notices;
  usb::UsbLink link(driver, notices);
  protocol::CommandChannel channel(link, clock);
  protocol::KeyCommands commands(link, channel);

  // Guard bytes on both sides of the destination.
  constexpr std::uint8_t kCanary = 0xA5;
  std::vector<std::uint8_t> buffer(wanted + 32, kCanary);
  const std::span<std::uint8_t> destination(buffer.data() + 16, wanted);

  for (int attempt = 0; attempt < 3 && in.remaining_bytes() > 0; ++attempt) {
    const bool read = commands.ReadIdentity(destination);
    if (wanted > protocol::kIdentitySize && read) std::abort();
    const bool guardsHold =
        std::all_of(buffer.begin(), buffer.begin() + 16,
                    [](std::uint8_t b) { return b == kCanary; }) &&
        std::all_of(buffer.end() - 16, buffer.end(), [](std::uint8_t b) { return b == kCanary; });
    if (!guardsHold) std::abort();
    if (!read && !std::all_of(destination.begin(), destination.end(),
                              [](std::uint8_t b) { return b == kCanary; })) {
      std::abort();  // a failed read left part of an identity behind
    }
    if (read) break;
  }
  return 0;
}
