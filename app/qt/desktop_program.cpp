#include "app/qt/desktop_program.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <vector>

#include "app/logind_keep_awake.h"
#include "app/posix_instance.h"
#include "app/posix_locale.h"
#include "app/posix_signals.h"
#include "app/qt/artwork.h"
#include "app/qt/dialog_session.h"
#include "app/qt/stop_signal_watch.h"
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
  // Before the application starts its threads: SIGINT, SIGTERM and SIGHUP become EXIT.
  std::optional<StopSignals> stops(std::in_place);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("flashwell"));
  QApplication::setDesktopFileName(QStringLiteral("flashwell"));
  QApplication::setWindowIcon(programIcon());
  if (!guard.acquired()) {
    stops.reset();  // a signal ends the refusal as it ends any program
    refuseSecondInstance();
    return 1;
  }

  usb::SystemClock clock;
  const std::shared_ptr<usb::UsbDriver> driver = makeDriver(clock);
  PosixSystemLocale locale;
  LogindKeepAwake keepAwake;  // outlives the dialog, which gives it back
  const auto package = catalogue::embeddedPackage();
  DialogSession session(*driver, clock, locale,
                        std::vector<std::uint8_t>(package.begin(), package.end()));
  session.controller().setKeepAwake(&keepAwake);
  const auto watch = watchStopSignals(*stops, session);
  session.run();
  return session.exitStatus(0);
}

}  // namespace flashwell::app::qt
