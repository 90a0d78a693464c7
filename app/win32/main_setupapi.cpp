// flashwell.exe: the dialog on the key's kernel driver, reached through SetupAPI.

#include <windows.h>

#include "app/win32/dialog_shell.h"
#include "app/win32/flashwell_app.h"
#include "catalogue/embedded_package.h"
#include "trace/environment_log.h"
#include "usb/platform_driver.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace flashwell;
  app::CFlashwell_02App application(instance, [](HINSTANCE dialogInstance) {
    usb::SystemClock clock;
    // FLASHWELL_TRACE=FILE logs the traffic with the key.
    const auto driver = trace::withEnvironmentLog(usb::makePlatformDriver(), clock);
    const auto package = catalogue::embeddedPackage();
    app::win32::runMainDialog(dialogInstance, *driver, clock, {package.begin(), package.end()});
  });
  application.InitInstance();
  return 0;
}
