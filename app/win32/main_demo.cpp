// flashwell-demo.exe: the dialog on the virtual key, which is plugged in two seconds after the
// start. FLASHWELL_DEMO_SPEED (a factor, 1 by default) runs the program's clock and the key's
// faster; FLASHWELL_DEMO_PLUG_MS moves the moment the key is plugged in (in the demo's time).

#include <windows.h>

#include "app/win32/demo_settings.h"
#include "app/win32/dialog_shell.h"
#include "app/win32/flashwell_app.h"
#include "catalogue/embedded_package.h"
#include "emulator/emulated_driver.h"
#include "emulator/named_states.h"
#include "trace/environment_log.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace flashwell;
  app::CFlashwell_02App application(instance, [](HINSTANCE dialogInstance) {
    const app::win32::DemoSettings settings = app::win32::demoSettingsFromEnvironment();
    usb::ScaledClock clock(settings.speed);
    emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
    emulator::EmulatedDriver driver(clock, key, nullptr, false);
    driver.schedulePlug(settings.plugAfterMs);
    // FLASHWELL_TRACE=FILE logs the traffic with the key; the driver is borrowed, not owned.
    const auto logged = trace::withEnvironmentLog(
        std::shared_ptr<usb::UsbDriver>(std::shared_ptr<void>(), &driver), clock);
    const auto package = catalogue::embeddedPackage();
    app::win32::runMainDialog(dialogInstance, *logged, clock, {package.begin(), package.end()});
  });
  application.InitInstance();
  return 0;
}
