// The whole desktop dialog: the Qt window, the controller, the real worker thread and the
// virtual key, driven by clicks in simulated time.

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/posix_locale.h"
#include "app/posix_signals.h"
#include "app/qt/dialog_session.h"
#include "app/qt/multiline_check_box.h"
#include "app/qt/stop_signal_watch.h"
#include "app/stop_texts.h"
#include "catalogue/embedded_package.h"
#include "catalogue/program_texts.h"
#include "catalogue/system_locale.h"
#include "catalogue/text_tables.h"
#include "sequencer/control_ids.h"
#include "tests/qt/qt_run.h"
#include "tests/support/key_bench.h"
#include "tests/support/test_packages.h"
#include "usb/clock.h"

namespace flashwell::app::qt {
namespace {

namespace seq = flashwell::sequencer;
using protocol::UpgradeOption;
using support::embeddedPackageCopy;
using testing::QtRun;

// Ticks until the condition holds; the message names the states gone through.
#define RUN_UNTIL(run, condition, maxTicks)           \
  do {                                                \
    const std::function<bool()> done = (condition);   \
    (run).runUntil(maxTicks, done);                   \
    QVERIFY2(done(), (run).stateTrail().constData()); \
  } while (false)

// Both version columns are filled and the dialog waits for a mode.
bool bothColumnsFilled(QtRun& run) {
  const QString key = run.text(seq::kIdKeyColumn);
  return run.state() == seq::UpgradeState::awaitChoice &&
         !run.text(seq::kIdToolColumn).trimmed().isEmpty() && key.count(QLatin1Char('.')) >= 4;
}

// A picture of the window as the display shows it, under the build folder; the file's path.
QString saveScreenshot(QWidget& window, const QString& name) {
  const QString platform = QGuiApplication::platformName();
  QPixmap shot;
  if (platform == QLatin1String("xcb")) {
    if (!QTest::qWaitForWindowExposed(&window)) return {};
    QTest::qWait(100);
    shot = window.screen()->grabWindow(window.winId());
  } else {
    shot = window.grab();
  }
  const QString folder = QStringLiteral(FLASHWELL_BUILD_DIR "/screenshots");
  if (shot.isNull() || !QDir().mkpath(folder)) return {};
  const QString file = folder + QStringLiteral("/%1-%2.png").arg(name, platform);
  return shot.save(file) ? file : QString();
}

constexpr int kManyTicks = 20000;  // far more than a whole upgrade takes

// Restores the locale variables of the environment when it goes.
class LocaleEnvironment {
 public:
  LocaleEnvironment() {
    for (const char* name : kNames) saved_.push_back(qgetenv(name));
  }
  ~LocaleEnvironment() {
    for (std::size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].isNull()) {
        qunsetenv(kNames[i]);
      } else {
        qputenv(kNames[i], saved_[i]);
      }
    }
  }
  void set(const char* lcAll) {
    for (const char* name : kNames) qunsetenv(name);
    qputenv("LC_ALL", lcAll);
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<QByteArray> saved_;
};

}  // namespace

class DesktopDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void onlyUpgradeByClicksEndsWithTheKeyShowingThePackagesVersions();
  void exitAndCloseAreIgnoredWhileTheKeyFirmwareIsRewritten();
  void failureBlinksTenTicksOnThreeOff();
  void escapeFollowsTheGuardedExit_data();
  void escapeFollowsTheGuardedExit();
  void localeChoosesTheTexts_data();
  void localeChoosesTheTexts();
  void eachLanguageWordsQtsButtonsToo_data();
  void eachLanguageWordsQtsButtonsToo();
  void everyTextFitsItsControl_data();
  void everyTextFitsItsControl();
  void screenshotWithBothColumnsOnTheRealClock();
  void signalsActAsExitHeldWhileTheKeyFirmwareIsWritten_data();
  void signalsActAsExitHeldWhileTheKeyFirmwareIsWritten();
};

// The user's part click by click, each checked as the window shows it.
void DesktopDialogTest::onlyUpgradeByClicksEndsWithTheKeyShowingThePackagesVersions() {
  QtRun run("fresh");
  QVERIFY(run.begin());
  RUN_UNTIL(
      run, [&] { return bothColumnsFilled(run); }, 600);
  const QString toolColumn = run.text(seq::kIdToolColumn);
  const QString keyBefore = run.text(seq::kIdKeyColumn);
  QVERIFY2(keyBefore != toolColumn, "the fresh key carries older versions");
  QVERIFY(!run.widget<QPushButton>(seq::kIdProceed)->isEnabled());

  // "Always" first, then "Only": only the last one stays ticked, and the markers go.
  run.click(seq::kIdAlways);
  run.click(seq::kIdOnly);
  QVERIFY(run.widget<QCheckBox>(seq::kIdOnly)->isChecked());
  QVERIFY(!run.widget<QCheckBox>(seq::kIdAlways)->isChecked());
  QVERIFY(!run.widget<QCheckBox>(seq::kIdNever)->isChecked());
  // Clicking the ticked box again leaves it ticked.
  run.click(seq::kIdOnly);
  QVERIFY(run.widget<QCheckBox>(seq::kIdOnly)->isChecked());
  for (const int marker : {seq::kIdMarkOnly, seq::kIdMarkAlways, seq::kIdMarkNever}) {
    QCOMPARE(run.text(marker), QStringLiteral(" "));
  }
  QVERIFY(!run.widget<QLabel>(seq::kIdModePrompt)->isEnabled());
  RUN_UNTIL(
      run, [&] { return run.widget<QPushButton>(seq::kIdProceed)->isEnabled(); }, 50);

  run.boxes().answers = {QMessageBox::Yes, QMessageBox::Ok};
  run.click(seq::kIdProceed);
  QCOMPARE(run.boxes().seen.size(), std::size_t{1});
  QCOMPARE(run.boxes().seen[0].icon, QMessageBox::Question);
  QCOMPARE(run.boxes().seen[0].text, run.textOf(188));
  for (const int box : {seq::kIdOnly, seq::kIdAlways, seq::kIdNever}) {
    QVERIFY(!run.window().control(box)->isEnabled());
  }

  int highestBar = 0;
  QString midway;
  RUN_UNTIL(
      run,
      [&] {
        highestBar = std::max(highestBar, run.widget<QProgressBar>(seq::kIdProgress)->value());
        // A picture while the components are written: status line and bar in use.
        if (midway.isEmpty() && run.state() == seq::UpgradeState::writeRegions &&
            run.widget<QProgressBar>(seq::kIdProgress)->value() >= 100 &&
            !run.text(seq::kIdStatus).isEmpty()) {
          midway = saveScreenshot(run.window(), QStringLiteral("qt-upgrade"));
        }
        return run.boxes().seen.size() == 2;
      },
      kManyTicks);
  QCOMPARE(run.boxes().seen[1].icon, QMessageBox::Information);
  QCOMPARE(run.boxes().seen[1].text, run.textOf(137));
  QVERIFY(run.boxes().seen[1].text.startsWith(QStringLiteral("Congratulations!")));
  QCOMPARE(run.widget<QProgressBar>(seq::kIdProgress)->maximum(), 1000);
  QVERIFY(highestBar > 0 && highestBar <= 1000);
  QVERIFY2(!midway.isEmpty(), "a picture while the components were written");
  // The key read back carries what the package carries.
  QCOMPARE(run.text(seq::kIdKeyColumn), toolColumn);
  // The orderly exit ends the dialog once the worker has stopped.
  RUN_UNTIL(
      run, [&] { return run.window().ended(); }, 300);
  QVERIFY(run.dialog().block().workerEnded.get() == 1);
}

void DesktopDialogTest::exitAndCloseAreIgnoredWhileTheKeyFirmwareIsRewritten() {
  QtRun run;
  QVERIFY(run.begin());
  run.choose(UpgradeOption::only);

  // In each locked state, once its work has begun: EXIT, the close command and Escape, more
  // than once.
  std::vector<seq::UpgradeState> triedIn;
  std::vector<seq::FinishMode> finishModes;
  bool endedWhileLocked = false;
  RUN_UNTIL(
      run,
      [&]() -> bool {
        const seq::UpgradeState state = run.state();
        if ((state == seq::UpgradeState::eraseFirmware ||
             state == seq::UpgradeState::writeFirmware) &&
            run.dialog().status().exitLocked == 1 &&
            std::find(triedIn.begin(), triedIn.end(), state) == triedIn.end()) {
          triedIn.push_back(state);
          for (int i = 0; i < 2; ++i) {
            run.click(seq::kIdExit);
            run.window().close();
            QTest::keyClick(&run.window(), Qt::Key_Escape);
          }
          endedWhileLocked = endedWhileLocked || run.window().ended();
          finishModes.push_back(run.finishMode());
        }
        return run.state() == seq::UpgradeState::eraseData;
      },
      kManyTicks);
  QCOMPARE(triedIn, (std::vector<seq::UpgradeState>{seq::UpgradeState::eraseFirmware,
                                                    seq::UpgradeState::writeFirmware}));
  QVERIFY(!endedWhileLocked);
  QCOMPARE(finishModes,
           (std::vector<seq::FinishMode>{seq::FinishMode::running, seq::FinishMode::running}));
  // The upgrade went on to the components as if nothing had been pressed.
  QVERIFY(!run.window().ended());
  QCOMPARE(run.finishMode(), seq::FinishMode::running);
}

void DesktopDialogTest::failureBlinksTenTicksOnThreeOff() {
  QtRun run;
  run.addFault("erase-fails");
  QVERIFY(run.begin());
  run.choose(UpgradeOption::only);
  const QString impossible = run.textOf(131);
  RUN_UNTIL(
      run, [&] { return run.text(seq::kIdStatus) == impossible; }, kManyTicks);

  // Once a blink cycle has begun (the text comes back after its off ticks): on for 10 ticks,
  // off for 3, over and over; the EXIT caption blinks with the status line.
  RUN_UNTIL(
      run, [&] { return run.text(seq::kIdStatus).isEmpty(); }, 20);
  RUN_UNTIL(
      run, [&] { return run.text(seq::kIdStatus) == impossible; }, 20);
  const QString exitCaption = run.textOf(102);
  std::string pattern;
  for (int i = 0; i < 39; ++i) {
    const QString status = run.text(seq::kIdStatus);
    const bool on = status == impossible;
    QVERIFY2(on || status.isEmpty(), qPrintable(status));
    QCOMPARE(run.text(seq::kIdExit), on ? exitCaption : QStringLiteral(" "));
    pattern += on ? '1' : '0';
    run.tick();
  }
  QCOMPARE(pattern, std::string("1111111111000") + "1111111111000" + "1111111111000");
  QVERIFY(!run.widget<QPushButton>(seq::kIdProceed)->isEnabled());
  // The failure left EXIT usable: it ends the program in order.
  run.click(seq::kIdExit);
  RUN_UNTIL(
      run, [&] { return run.window().ended(); }, 300);
}

void DesktopDialogTest::escapeFollowsTheGuardedExit_data() {
  QTest::addColumn<bool>("brokenPackage");
  QTest::addColumn<bool>("useClose");
  QTest::newRow("waiting for a mode, Escape") << false << false;
  QTest::newRow("waiting for a mode, close") << false << true;
  QTest::newRow("broken package, Escape") << true << false;
}

void DesktopDialogTest::escapeFollowsTheGuardedExit() {
  QFETCH(bool, brokenPackage);
  QFETCH(bool, useClose);
  std::vector<std::uint8_t> package = embeddedPackageCopy();
  if (brokenPackage) package.at(0x100) ^= 0x02;  // the model code of another logger
  QtRun run("fresh", std::move(package));
  QVERIFY(run.begin());
  if (brokenPackage) {
    RUN_UNTIL(
        run, [&] { return run.text(seq::kIdStatus) == run.textOf(120); }, 50);
  } else {
    RUN_UNTIL(
        run, [&] { return bothColumnsFilled(run); }, 600);
  }
  if (useClose) {
    run.window().close();
  } else {
    QTest::keyClick(&run.window(), Qt::Key_Escape);
  }
  if (brokenPackage) {
    // The error stop ends at once.
    QVERIFY(run.window().ended());
    return;
  }
  // Otherwise the orderly exit: the worker stops first, then the dialog ends.
  QVERIFY(!run.window().ended());
  RUN_UNTIL(
      run, [&] { return run.window().ended(); }, 300);
  QCOMPARE(run.dialog().block().workerEnded.get(), 1);
  QVERIFY(run.boxes().seen.empty());
}

void DesktopDialogTest::localeChoosesTheTexts_data() {
  QTest::addColumn<QByteArray>("locale");
  QTest::addColumn<QString>("exitCaption");
  QTest::addColumn<QString>("proceedCaption");
  QTest::addColumn<QString>("captionPrefix");
  QTest::newRow("de_AT.UTF-8") << QByteArray("de_AT.UTF-8") << QStringLiteral("BEENDEN")
                               << QString::fromUtf8(" DURCHF\u00dcHREN")
                               << QString::fromUtf8("UPDATE f\u00fcr  ");
  QTest::newRow("fr_CA") << QByteArray("fr_CA") << QStringLiteral("TERMINER")
                         << QStringLiteral(" CONTINUER") << QStringLiteral("MIS A JOUR pour  ");
  QTest::newRow("ca_ES") << QByteArray("ca_ES") << QStringLiteral("TERMINA")
                         << QStringLiteral(" PROCEED") << QStringLiteral("ACTUALIZAR por  ");
  QTest::newRow("ja_JP") << QByteArray("ja_JP.UTF-8") << QStringLiteral("E X I T")
                         << QStringLiteral(" PROCEED") << QStringLiteral("UPDATE for  ");
  QTest::newRow("C") << QByteArray("C") << QStringLiteral("E X I T") << QStringLiteral(" PROCEED")
                     << QStringLiteral("UPDATE for  ");
}

void DesktopDialogTest::localeChoosesTheTexts() {
  QFETCH(QByteArray, locale);
  QFETCH(QString, exitCaption);
  QFETCH(QString, proceedCaption);
  QFETCH(QString, captionPrefix);
  LocaleEnvironment environment;
  environment.set(locale.constData());
  PosixSystemLocale systemLocale;
  QtRun run("fresh", embeddedPackageCopy(), &systemLocale);
  QVERIFY(run.begin());
  run.tick();
  QCOMPARE(run.text(seq::kIdExit), exitCaption);
  QCOMPARE(run.text(seq::kIdProceed), proceedCaption);
  QVERIFY2(run.window().windowTitle().startsWith(captionPrefix),
           qPrintable(run.window().windowTitle()));
}

// The six languages, by a locale of each.
void addLanguageRows() {
  QTest::addColumn<std::uint32_t>("lcid");
  QTest::addColumn<QString>("yes");
  QTest::addColumn<QString>("no");
  QTest::newRow("en") << std::uint32_t{0x0409} << QStringLiteral("Yes") << QStringLiteral("No");
  QTest::newRow("it") << std::uint32_t{0x0410} << QString::fromUtf8("S\u00ec")
                      << QStringLiteral("No");
  QTest::newRow("de") << std::uint32_t{0x0407} << QStringLiteral("Ja") << QStringLiteral("Nein");
  QTest::newRow("fr") << std::uint32_t{0x040C} << QStringLiteral("Oui") << QStringLiteral("Non");
  QTest::newRow("es") << std::uint32_t{0x0C0A} << QString::fromUtf8("S\u00ed")
                      << QStringLiteral("No");
  QTest::newRow("nl") << std::uint32_t{0x0413} << QStringLiteral("Ja") << QStringLiteral("Nee");
}

void DesktopDialogTest::eachLanguageWordsQtsButtonsToo_data() {
  addLanguageRows();
}

// The erase question's buttons speak the language of the window's texts, whatever Qt would
// guess from the system; a picture of the window and of the question for each language.
void DesktopDialogTest::eachLanguageWordsQtsButtonsToo() {
  QFETCH(std::uint32_t, lcid);
  QFETCH(QString, yes);
  QFETCH(QString, no);
  LocaleEnvironment environment;
  environment.set("C");
  catalogue::FixedSystemLocale locale(lcid);
  QtRun run("fresh", embeddedPackageCopy(), &locale);
  QVERIFY(run.begin());
  RUN_UNTIL(
      run, [&] { return bothColumnsFilled(run); }, 600);
  const QString language = QString::fromLatin1(QTest::currentDataTag());
  QVERIFY(!saveScreenshot(run.window(), QStringLiteral("qt-window-") + language).isEmpty());
  run.click(seq::kIdOnly);
  RUN_UNTIL(
      run, [&] { return run.widget<QPushButton>(seq::kIdProceed)->isEnabled(); }, 50);
  QString boxShot;
  run.boxes().whileOpen = [&](QMessageBox& box) {
    const QPixmap shot = box.grab();
    boxShot = QStringLiteral(FLASHWELL_BUILD_DIR "/screenshots/qt-question-%1-%2.png")
                  .arg(language, QGuiApplication::platformName());
    if (!shot.save(boxShot)) boxShot.clear();
  };
  run.boxes().answers = {QMessageBox::No};
  run.click(seq::kIdProceed);
  QCOMPARE(run.boxes().seen.size(), std::size_t{1});
  QCOMPARE(run.boxes().seen[0].text, run.textOf(188));
  QCOMPARE(run.boxes().seen[0].buttonTexts.value(QMessageBox::Yes), yes);
  QCOMPARE(run.boxes().seen[0].buttonTexts.value(QMessageBox::No), no);
  QVERIFY(!boxShot.isEmpty());
  qInfo("screenshots: %s and the window's", qPrintable(boxShot));
}

void DesktopDialogTest::everyTextFitsItsControl_data() {
  addLanguageRows();
}

// Each control's texts, in each language, measured against the room the control gives them with
// its own font: one-line texts and the columns keep every line whole, the multi-line check
// boxes and the two-line status line may wrap but must not be cut.
void DesktopDialogTest::everyTextFitsItsControl() {
  QFETCH(std::uint32_t, lcid);
  const std::uint16_t language =
      catalogue::chosenLanguage(catalogue::embeddedTables().locales, lcid);
  struct Fit {
    int control;
    std::vector<std::uint16_t> texts;
    bool mayWrap;
  };
  const std::vector<Fit> fits = {
      {seq::kIdExit, {102}, false},
      {seq::kIdProceed, {180}, false},
      {seq::kIdModePrompt, {181}, false},
      {seq::kIdLabels, {107}, false},
      {seq::kIdKeyColumn, {187}, false},
      {seq::kIdOnly, {182}, true},
      {seq::kIdAlways, {183}, true},
      {seq::kIdNever, {184}, true},
      {seq::kIdStatus,
       {106, 120, 124, 125, 131, 133, 134, 140, 160, 161, 162, 163, 164, 165, 166, 171, 172},
       true},
  };
  DialogWindow window(WindowTimers::Mode::driven);
  const std::span<const std::uint8_t> package = catalogue::embeddedPackage();
  for (const Fit& fit : fits) {
    QWidget* control = window.control(fit.control);
    QVERIFY(control != nullptr);
    QRect room = control->contentsRect();
    if (auto* box = qobject_cast<MultiLineCheckBox*>(control)) room = box->captionRect();
    if (qobject_cast<QPushButton*>(control) != nullptr) {
      const int margin = control->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                         control->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
      room.adjust(margin, 0, -margin, 0);
    }
    const QFontMetrics metrics(control->font());
    std::string longest;
    int longestArea = -1;
    for (const std::uint16_t id : fit.texts) {
      const std::string stored = catalogue::lookupTextIn(package, language, id);
      const QString text = decodeText(stored);
      const QRect unbroken = metrics.boundingRect(QRect(0, 0, 1 << 16, 1 << 16), 0, text);
      const QRect wrapped =
          metrics.boundingRect(QRect(0, 0, room.width(), 1 << 16), Qt::TextWordWrap, text);
      const QRect needed = fit.mayWrap ? wrapped : unbroken;
      const QByteArray what = QByteArray::number(fit.control) + " text " + QByteArray::number(id) +
                              " needs " + QByteArray::number(needed.width()) + "x" +
                              QByteArray::number(needed.height()) + ", has " +
                              QByteArray::number(room.width()) + "x" +
                              QByteArray::number(room.height()) + ": " + text.toUtf8();
      QVERIFY2(needed.width() <= room.width(), what.constData());
      QVERIFY2(needed.height() <= room.height(), what.constData());
      if (needed.width() * needed.height() > longestArea) {
        longestArea = needed.width() * needed.height();
        longest = stored;
      }
    }
    window.setText(fit.control, longest);
  }
  // A picture of the window with each control showing its longest text of this language.
  QVERIFY(window.begin());
  const QString tag = QString::fromLatin1(QTest::currentDataTag());
  QVERIFY(!saveScreenshot(window, QStringLiteral("qt-longest-") + tag).isEmpty());
}

// The demo's set-up on the real clock: the key is plugged in 2 s after the start, and the
// window's own timer runs. Measures the time until both columns are filled and saves a
// picture of the window then.
void DesktopDialogTest::screenshotWithBothColumnsOnTheRealClock() {
  QElapsedTimer started;
  started.start();
  usb::SystemClock clock;
  support::KeyBench bench(support::namedKey("fresh"), false, &clock, /*plugged=*/false);
  bench.driver->schedulePlug(2000);
  catalogue::FixedSystemLocale english(0x0409);
  DialogSession session(*bench.driver, clock, english, embeddedPackageCopy());
  QVERIFY(session.window().begin());
  auto* keyColumn = qobject_cast<QLabel*>(session.window().control(seq::kIdKeyColumn));
  QTRY_VERIFY_WITH_TIMEOUT(session.controller().status().state == seq::UpgradeState::awaitChoice &&
                               keyColumn->text().count(QLatin1Char('.')) >= 4,
                           30000);
  const qint64 elapsedMs = started.elapsed();
  QVERIFY(elapsedMs >= 2000);
  qInfo("both columns filled %lld ms after the start (key plugged in at 2000 ms)",
        static_cast<long long>(elapsedMs));

  QTest::qWait(200);  // let the window paint
  const QString file = saveScreenshot(session.window(), QStringLiteral("qt-dialog"));
  QVERIFY(!file.isEmpty());
  qInfo("screenshot: %s", qPrintable(file));
}

void DesktopDialogTest::signalsActAsExitHeldWhileTheKeyFirmwareIsWritten_data() {
  QTest::addColumn<int>("signal");
  QTest::addColumn<int>("state");  // the state in which the signal comes
  QTest::addColumn<bool>("held");
  QTest::addColumn<bool>("firmwareWritten");
  QTest::newRow("SIGINT in the booter entry")
      << SIGINT << static_cast<int>(seq::UpgradeState::proceed) << false << false;
  QTest::newRow("SIGTERM in the firmware erase")
      << SIGTERM << static_cast<int>(seq::UpgradeState::eraseFirmware) << true << true;
  QTest::newRow("SIGHUP in the firmware write")
      << SIGHUP << static_cast<int>(seq::UpgradeState::writeFirmware) << true << true;
  QTest::newRow("SIGTERM in the components")
      << SIGTERM << static_cast<int>(seq::UpgradeState::writeRegions) << false << true;
}

void DesktopDialogTest::signalsActAsExitHeldWhileTheKeyFirmwareIsWritten() {
  QFETCH(int, signal);
  QFETCH(int, state);
  QFETCH(bool, held);
  QFETCH(bool, firmwareWritten);
  StopSignals stops;  // before the worker starts, as in the program
  QtRun run;
  const auto watch = watchStopSignals(stops, run.session());
  QVERIFY(watch);
  const std::vector<std::uint8_t> oldFirmware = run.key->image().firmwareArea;
  QVERIFY(run.begin());
  run.choose(UpgradeOption::only);
  RUN_UNTIL(
      run, [&] { return static_cast<int>(run.state()) == state; }, kManyTicks);
  run.tick();  // the state's first step: the firmware states lock EXIT in it
  // Sent to this thread, where it is blocked: the notifier reads it on the next events.
  QCOMPARE(::raise(signal), 0);
  QCoreApplication::processEvents();
  auto note = [](StopText id) {
    const std::string_view text = stopText(id);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  };
  QCOMPARE(run.text(seq::kIdStatus) == note(StopText::held), held);
  if (held) {
    const QString shot = saveScreenshot(run.window(), QStringLiteral("qt-held-signal"));
    if (!shot.isEmpty()) qInfo("screenshot: %s", qPrintable(shot));
    // A second signal is said once and changes nothing.
    QCOMPARE(::raise(SIGINT), 0);
    QCoreApplication::processEvents();
    QCOMPARE(run.text(seq::kIdStatus), note(StopText::alreadyHeld));
    QCOMPARE(run.finishMode(), seq::FinishMode::running);
  }
  RUN_UNTIL(
      run, [&] { return run.window().ended(); }, kManyTicks);
  QCOMPARE(run.session().exitStatus(0), 128 + signal);
  // The key finishes the restart that the exit asked for by itself.
  for (int waited = 0; run.driver->eventsPending() && waited < 10000; waited += 10) {
    run.clock.sleepMs(10);
  }
  const emulator::KeyImage& key = run.key->image();
  QCOMPARE(key.program, emulator::KeyProgram::firmware);
  QCOMPARE(key.firmwareArea != oldFirmware, firmwareWritten);
  QVERIFY(emulator::holdsValidFirmware(key.firmwareArea));
  // Stopped where it was asked to, or, when held, once the key had left its booter.
  const seq::UpgradeState last =
      held ? seq::UpgradeState::leaveBooter : static_cast<seq::UpgradeState>(state);
  QCOMPARE(run.state(), last);
}

}  // namespace flashwell::app::qt

QTEST_MAIN(flashwell::app::qt::DesktopDialogTest)
#include "desktop_dialog_test.moc"
