// flashwell-demo: the desktop program on the virtual key, which is plugged in 2 s after the
// start, on the real clock.

#include <memory>

#include "app/qt/desktop_program.h"
#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "emulator/virtual_key.h"
#include "trace/environment_log.h"

namespace {

constexpr std::uint64_t kPlugInAfterMs = 2000;

// The key and the driver that presents it, alive together.
struct DemoBus {
  DemoBus(flashwell::usb::Clock& clock, flashwell::emulator::KeyImage image)
      : key(std::move(image)), driver(clock, key, nullptr, false) {
    driver.schedulePlug(kPlugInAfterMs);
  }
  flashwell::emulator::VirtualKey key;
  flashwell::emulator::EmulatedDriver driver;
};

}  // namespace

int main(int argc, char** argv) {
  return flashwell::app::qt::runDesktopProgram(argc, argv, [](flashwell::usb::Clock& clock) {
    auto bus = std::make_shared<DemoBus>(clock, *flashwell::emulator::namedKeyState("fresh"));
    // FLASHWELL_TRACE=FILE logs the traffic with the key.
    return flashwell::trace::withEnvironmentLog(
        std::shared_ptr<flashwell::usb::UsbDriver>(bus, &bus->driver), clock);
  });
}
