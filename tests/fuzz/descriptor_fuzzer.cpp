// The link's test of the key's descriptors over arbitrary descriptor answers, through the
// emulated driver's descriptor hook: whatever the key returns, the link either opens the key
// and takes its packet size from bytes the driver really wrote, or refuses it.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <vector>

#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "emulator/virtual_key.h"
#include "usb/bytes.h"
#include "usb/clock.h"
#include "usb/link.h"
#include "usb/transfer_request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace flashwell;
  // The descriptor request leaves the key as it is, so one key serves every input.
  static emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  const std::vector<std::uint8_t> answer(data, data + std::min<std::size_t>(size, 300));

  usb::SimulatedClock clock;
  emulator::EmulatedDriver driver(clock, key);
  driver.setDescriptorHook([&](std::vector<std::uint8_t>& set) { set = answer; });
  usb::SilentNotices notices;
  usb::UsbLink link(driver, notices);
  const bool opened = link.UsbEnsureOpen();

  // The same reading done by hand: the configuration descriptor's length leads to the interface
  // descriptor, whose length leads to the first endpoint, whose packet size is at offset 4.
  const std::size_t filled = std::min(answer.size(), usb::kDescriptorBufferSize);
  auto at = [&](std::size_t i) -> std::uint8_t { return i < filled ? answer[i] : 0; };
  const std::size_t endpoint = std::size_t{at(0)} + at(at(0));
  const bool readable = endpoint + 6 <= filled;
  if (opened != readable) std::abort();
  if (readable) {
    const bool large = usb::le16(answer, endpoint + 4) != 8;
    if (link.UsbIsLargePacketKey() != large) std::abort();
  }
  if (!readable && driver.openHandles() != 0) std::abort();  // a refused key is closed again
  link.UsbClose();
  return 0;
}
