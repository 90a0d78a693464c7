#include "app/qt/desktop_program.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "app/posix_instance.h"
#include "app/posix_locale.h"
#include "app/qt/artwork.h"
#include "app/qt/dialog_session.h"
#include "app/qt/window_free_start.h"
#include "catalogue/embedded_package.h"

namespace flashwell::app::qt {

namespace {

void refuseSecondInstance() {
  const QString message = QString::fromLatin1(kAnotherInstanceMessage);
  // Also on the terminal, for a start from a shell or a launcher's log.
  std::fprintf(stderr, "%s\n", kAnotherInstanceMessage.data());
  std::fflush(stderr);
  QMessageBox box(QMessageBox::Information, QStringLiteral("Flashwell"), message, QMessageBox::Ok);
  box.setWindowModality(Qt::ApplicationModal);
  box.setWindowFlag(Qt::WindowStaysOnTopHint);
  box.exec();
}

}  // namespace

int runDesktopProgram(int& argc, char** argv, const DriverFactory& makeDriver) {
  const auto environment = [](const char* name) -> const char* { return std::getenv(name); };
  if (const auto code = answerWithoutWindow(argc, argv, std::cout, std::cerr, environment)) {
    return *code;
  }
  // The guard comes first: a refused start touches nothing else.
  SingleInstanceGuard guard;
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("flashwell"));
  QApplication::setDesktopFileName(QStringLiteral("flashwell"));
  QApplication::setWindowIcon(programIcon());
  if (!guard.acquired()) {
    refuseSecondInstance();
    return 1;
  }

  usb::SystemClock clock;
  const std::shared_ptr<usb::UsbDriver> driver = makeDriver(clock);
  PosixSystemLocale locale;
  const auto package = catalogue::embeddedPackage();
  DialogSession session(*driver, clock, locale,
                        std::vector<std::uint8_t>(package.begin(), package.end()));
  session.run();
  return 0;
}

}  // namespace flashwell::app::qt
