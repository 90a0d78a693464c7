// A traffic log from a file is untrusted: arbitrary text is read as a log, every event that
// reads writes back to a line that reads the same, and a log that can be replayed answers a
// session of the link without touching a byte outside the buffers it was given.

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "trace/log_file.h"
#include "trace/replay_driver.h"
#include "usb/clock.h"
#include "usb/link.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace flashwell;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::string why;
  const auto events = trace::readLog(in, &why);
  if (!events) return 0;
  for (const trace::LogEvent& e : *events) {
    const std::string line = trace::toLogLine(e);
    const auto back = trace::parseLogLine(line, &why);
    if (!back || trace::toLogLine(*back) != line) std::abort();
  }
  if (!trace::whyNotReplayable(*events).empty()) return 0;

  usb::SimulatedClock clock;
  trace::ReplayDriver driver(clock, *events);
  usb::SilentNotices notices;
  usb::UsbLink link(driver, notices);
  for (int round = 0; round < 3 && !driver.difference(); ++round) {
    if (!link.UsbEnsureOpen()) continue;
    std::vector<std::uint8_t> command{7, 0, 0, 0, 0, 0};
    link.UsbControlTransfer(command, {0x40, 14, 0, 0, 0, 0, 6, 0});
    std::vector<std::uint8_t> answer(8);
    link.UsbControlTransfer(answer, {0xC0, 14, 0, 0, 0, 0, 8, 0});
    std::vector<std::uint8_t> block(64, 0xA5);
    link.UsbWriteEp2(block);
    std::vector<std::uint8_t> read(16);
    link.UsbReadEp2(read);
    link.UsbReadEp1(read);
    link.UsbClose();
  }
  (void)driver.leftOver();
  return 0;
}
