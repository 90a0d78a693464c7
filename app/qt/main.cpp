// flashwell: the desktop program, reaching the key through libusb.

#include <memory>

#include "app/posix_locale.h"
#include "app/qt/desktop_program.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"
#include "trace/environment_log.h"
#include "usb/libusb/libusb_driver.h"

int main(int argc, char** argv) {
  return flashwell::app::qt::runDesktopProgram(argc, argv, [](flashwell::usb::Clock& clock) {
    using namespace flashwell;
    // The driver's lines on the terminal speak the window's language.
    const std::uint16_t language =
        catalogue::chosenLanguage(catalogue::embeddedTables().locales, app::processLocaleLcid());
    // FLASHWELL_TRACE=FILE logs the traffic with the key.
    return trace::withEnvironmentLog(
        std::make_shared<usb::libusb::LibusbDriver>(catalogue::claimTexts(language)), clock);
  });
}
