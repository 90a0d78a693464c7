// The Qt window on its own: drawn from the template, passing its messages on, and carrying
// out what the view is asked to do.

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/dialog_template.h"
#include "app/qt/artwork.h"
#include "app/qt/dialog_handlers.h"
#include "app/qt/dialog_window.h"
#include "app/qt/group_frame.h"
#include "app/qt/link_notices.h"
#include "app/qt/multiline_check_box.h"
#include "catalogue/text_tables.h"
#include "sequencer/control_ids.h"
#include "tests/qt/message_box_answerer.h"
#include "usb/clock.h"

namespace flashwell::app::qt {
namespace {

namespace seq = flashwell::sequencer;
using testing::MessageBoxAnswerer;

// Records which handler ran; a test may give any handler something to do.
class FakeHandlers final : public DialogHandlers {
 public:
  std::vector<std::string> calls;
  std::map<std::string, std::function<void()>> actions;

  void onInitDialog() override { record("init"); }
  void onTimer(unsigned timerId) override { record("timer" + std::to_string(timerId)); }
  void onExit() override { record("exit"); }
  void onCancelCommand() override { record("cancel"); }
  void onClose() override { record("close"); }
  void onEscape() override { record("escape"); }
  void onOnly() override { record("only"); }
  void onAlways() override { record("always"); }
  void onNever() override { record("never"); }
  void onProceed() override { record("proceed"); }

 private:
  void record(const std::string& name) {
    calls.push_back(name);
    const auto it = actions.find(name);
    if (it != actions.end()) it->second();
  }
};

}  // namespace

class DialogWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void drawsEveryControlAtItsTemplatePlace();
  void takesTheTemplatesVisibilityEnablingAndKinds();
  void passesCommandsOnToTheHandlers();
  void multiLineCheckBoxWrapsAndTakesClicksOnItsCaption();
  void closeAndEscapeAskTheControllerAndEndOnlyWhenItEnds();
  void endingDuringInitialisationSkipsTheModalRun();
  void drivenTimersSetRestartAndKill();
  void systemTimerTicksUntilKilled();
  void viewDecodesTextsAndDrivesTheControls();
  void messageBoxesAskAndInform();
  void noticesFromTheWorkerWaitForTheWindowThread();
  void shutdownReleasesAWaitingWorker();
};

void DialogWindowTest::drawsEveryControlAtItsTemplatePlace() {
  DialogWindow window(WindowTimers::Mode::driven);
  const BaseUnits units = window.baseUnits();
  QVERIFY(units.x > 0 && units.y > 0);
  const DialogTemplate& dialog = mainDialogTemplate();
  QCOMPARE(window.size(),
           QSize(horizontalPixels(dialog.width, units), verticalPixels(dialog.height, units)));
  int pictures = 0;
  for (const ControlSpec& entry : dialog.controls) {
    const QRect expected = toPixels(entry.x, entry.y, entry.width, entry.height, units);
    if (entry.kind == ControlKind::staticBitmap) {
      QLabel* picture = window.picture(pictures++);
      QVERIFY(picture != nullptr);
      QCOMPARE(picture->pos(), expected.topLeft());
      QCOMPARE(picture->size(), QSize(kBannerWidth, kBannerHeight));
      QCOMPARE(picture->pixmap().size(), QSize(kBannerWidth, kBannerHeight));
      continue;
    }
    if (entry.id == seq::kIdNone) continue;
    QWidget* widget = window.control(entry.id);
    QVERIFY2(widget != nullptr, qPrintable(QString::number(entry.id)));
    QCOMPARE(widget->geometry(), expected);
  }
  QCOMPARE(pictures, 2);
  // Proportions follow the template: the EXIT and PROCEED buttons are alike and share a row.
  QCOMPARE(window.control(seq::kIdExit)->size(), window.control(seq::kIdProceed)->size());
  QCOMPARE(window.control(seq::kIdExit)->y(), window.control(seq::kIdProceed)->y());
  // The label column's third line ("MEMPOD") sits level with the first line of each version
  // column, as the text is really laid out.
  const QFontMetrics metrics(window.font());
  const QRect room(0, 0, 10000, 10000);
  const int pitch =
      (metrics.boundingRect(room, Qt::TextWordWrap, QStringLiteral("X\nX\nX")).height() -
       metrics.boundingRect(room, Qt::TextWordWrap, QStringLiteral("X")).height()) /
      2;
  for (const int column : {seq::kIdToolColumn, seq::kIdKeyColumn}) {
    const int offset =
        window.control(seq::kIdLabels)->y() + 2 * pitch - window.control(column)->y();
    QVERIFY2(std::abs(offset) <= 1, qPrintable(QString::number(offset)));
  }
}

void DialogWindowTest::takesTheTemplatesVisibilityEnablingAndKinds() {
  DialogWindow window(WindowTimers::Mode::driven);
  window.QDialog::show();
  for (const int hidden :
       {seq::kIdCancel, seq::kIdUnused1015, seq::kIdUnused1004, seq::kIdUnused1008}) {
    QVERIFY(!window.control(hidden)->isVisible());
    QVERIFY(!window.control(hidden)->isEnabled());
  }
  for (const int shown : {seq::kIdExit, seq::kIdProceed, seq::kIdOnly, seq::kIdStatus,
                          seq::kIdProgress, seq::kIdKeyColumn, seq::kIdModeGroup}) {
    QVERIFY(window.control(shown)->isVisible());
    QVERIFY(window.control(shown)->isEnabled());
  }
  auto* exit = qobject_cast<QPushButton*>(window.control(seq::kIdExit));
  auto* proceed = qobject_cast<QPushButton*>(window.control(seq::kIdProceed));
  QVERIFY(exit != nullptr && proceed != nullptr);
  QVERIFY(exit->isDefault());
  QVERIFY(!proceed->isDefault());
  QCOMPARE(exit->text(), QStringLiteral("E X I T "));
  for (const int box : {seq::kIdOnly, seq::kIdAlways, seq::kIdNever}) {
    QVERIFY(qobject_cast<MultiLineCheckBox*>(window.control(box)) != nullptr);
  }
  QVERIFY(qobject_cast<GroupFrame*>(window.control(seq::kIdModeGroup)) != nullptr);
  auto* bar = qobject_cast<QProgressBar*>(window.control(seq::kIdProgress));
  QVERIFY(bar != nullptr);
  QVERIFY(!bar->isTextVisible());
  auto* labels = qobject_cast<QLabel*>(window.control(seq::kIdLabels));
  QVERIFY(labels != nullptr);
  QCOMPARE(labels->text(),
           QString::fromLatin1(kTemplateLabels.data(), static_cast<int>(kTemplateLabels.size())));
  QVERIFY(labels->wordWrap());
  QCOMPARE(window.windowTitle(), QStringLiteral("Vers."));
  QVERIFY(!window.windowIcon().isNull());
}

void DialogWindowTest::passesCommandsOnToTheHandlers() {
  DialogWindow window(WindowTimers::Mode::driven);
  FakeHandlers handlers;
  window.setHandlers(&handlers);
  window.QDialog::show();
  const std::vector<std::pair<int, std::string>> commands = {
      {seq::kIdExit, "exit"},     {seq::kIdProceed, "proceed"}, {seq::kIdOnly, "only"},
      {seq::kIdAlways, "always"}, {seq::kIdNever, "never"},
  };
  for (const auto& [id, name] : commands) {
    handlers.calls.clear();
    QTest::mouseClick(window.control(id), Qt::LeftButton);
    QCOMPARE(handlers.calls, std::vector<std::string>{name});
  }
  // The hidden cancel button carries command 2 when it is pressed by other means.
  handlers.calls.clear();
  window.enable(seq::kIdCancel, true);
  qobject_cast<QPushButton*>(window.control(seq::kIdCancel))->click();
  QCOMPARE(handlers.calls, std::vector<std::string>{"cancel"});
  // A disabled control sends nothing.
  handlers.calls.clear();
  window.enable(seq::kIdProceed, false);
  QTest::mouseClick(window.control(seq::kIdProceed), Qt::LeftButton);
  QVERIFY(handlers.calls.empty());
  // Return presses the default button.
  window.control(seq::kIdExit)->setFocus();
  QTest::keyClick(&window, Qt::Key_Return);
  QCOMPARE(handlers.calls, std::vector<std::string>{"exit"});
}

void DialogWindowTest::multiLineCheckBoxWrapsAndTakesClicksOnItsCaption() {
  DialogWindow window(WindowTimers::Mode::driven);
  FakeHandlers handlers;
  window.setHandlers(&handlers);
  window.QDialog::show();
  auto* only = qobject_cast<MultiLineCheckBox*>(window.control(seq::kIdOnly));
  const std::string longText =
      "Update the components only when the versions in this tool are more recent than the "
      "ones on the logger";
  window.setText(seq::kIdOnly, longText);
  const QRect caption = only->captionRect();
  QVERIFY(caption.left() > 0 && caption.right() < only->width());
  const QRect needed =
      only->fontMetrics().boundingRect(caption, Qt::AlignLeft | Qt::TextWordWrap, only->text());
  QVERIFY2(needed.height() >= 2 * only->fontMetrics().height(), "the caption wraps");
  QVERIFY(needed.width() <= caption.width());

  // An automatic box toggles itself before the handler hears of it; the far end of the
  // caption takes the click too.
  QVERIFY(!only->isChecked());
  QTest::mouseClick(only, Qt::LeftButton, {}, QPoint(only->width() - 3, only->height() / 2));
  QVERIFY(only->isChecked());
  QCOMPARE(handlers.calls, std::vector<std::string>{"only"});
  QTest::keyClick(only, Qt::Key_Space);
  QVERIFY(!only->isChecked());
  QCOMPARE(handlers.calls.size(), std::size_t{2});
}

void DialogWindowTest::closeAndEscapeAskTheControllerAndEndOnlyWhenItEnds() {
  DialogWindow window(WindowTimers::Mode::driven);
  FakeHandlers handlers;
  window.setHandlers(&handlers);
  window.QDialog::show();
  QVERIFY(!window.close());
  QTest::keyClick(&window, Qt::Key_Escape);
  QVERIFY(window.isVisible());
  QCOMPARE(handlers.calls, (std::vector<std::string>{"close", "escape"}));

  handlers.actions["close"] = [&] { window.endDialog(7); };
  QSignalSpy finished(&window, &QDialog::finished);
  QVERIFY(window.close());
  QVERIFY(!window.isVisible());
  QVERIFY(window.ended());
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.at(0).at(0).toInt(), 7);
  // Once ended, nothing reaches the controller any more.
  handlers.calls.clear();
  window.endDialog(8);
  QCOMPARE(window.result(), 7);
  QVERIFY(handlers.calls.empty());
}

void DialogWindowTest::endingDuringInitialisationSkipsTheModalRun() {
  DialogWindow window(WindowTimers::Mode::driven);
  FakeHandlers handlers;
  handlers.actions["init"] = [&] {
    window.setTimer(seq::kTimerId, seq::kTimerPeriodMs);
    window.endDialog(3);
  };
  window.setHandlers(&handlers);
  QCOMPARE(window.run(), 3);
  QVERIFY(!window.isVisible());
  QVERIFY(!window.timers().isSet(seq::kTimerId));
  // A window that has ended takes no timer any more.
  window.setTimer(seq::kTimerId, 100);
  QVERIFY(!window.timers().isSet(seq::kTimerId));
}

void DialogWindowTest::drivenTimersSetRestartAndKill() {
  DialogWindow window(WindowTimers::Mode::driven);
  FakeHandlers handlers;
  window.setHandlers(&handlers);
  WindowTimers& timers = window.timers();
  QVERIFY(!timers.fire(seq::kTimerId));
  window.setTimer(seq::kTimerId, 100);
  window.setTimer(seq::kTimerId, 250);  // setting again replaces the period
  QCOMPARE(timers.periodMs(seq::kTimerId), 250u);
  QVERIFY(timers.fire(seq::kTimerId));
  QVERIFY(timers.fire(seq::kTimerId));
  // A tick that kills its own timer and sets it again, as the sequencer's tick does.
  handlers.actions["timer10"] = [&] {
    window.killTimer(seq::kTimerId);
    QVERIFY(!timers.isSet(seq::kTimerId));
    window.setTimer(seq::kTimerId, 100);
  };
  QVERIFY(timers.fire(seq::kTimerId));
  QCOMPARE(timers.periodMs(seq::kTimerId), 100u);
  handlers.actions.clear();
  window.killTimer(seq::kTimerId);
  window.killTimer(seq::kTimerId);  // killing a timer that is not set is harmless
  QVERIFY(!timers.fire(seq::kTimerId));
  QCOMPARE(handlers.calls, std::vector<std::string>(3, "timer10"));
}

void DialogWindowTest::systemTimerTicksUntilKilled() {
  DialogWindow window(WindowTimers::Mode::system);
  FakeHandlers handlers;
  int ticks = 0;
  handlers.actions["timer10"] = [&] {
    if (++ticks == 3) window.killTimer(seq::kTimerId);
  };
  window.setHandlers(&handlers);
  window.setTimer(seq::kTimerId, 5);
  QTRY_COMPARE_WITH_TIMEOUT(ticks, 3, 5000);
  QTest::qWait(50);
  QCOMPARE(ticks, 3);
  QVERIFY(!window.timers().isSet(seq::kTimerId));
}

void DialogWindowTest::viewDecodesTextsAndDrivesTheControls() {
  DialogWindow window(WindowTimers::Mode::driven);
  window.QDialog::show();
  // Windows-1252: a-umlaut, the euro sign, e-acute; CR LF and a lone CR break lines.
  window.setText(seq::kIdStatus, "M\xE4rz \x80 caf\xE9\r\nzwei\rdrei");
  auto* status = qobject_cast<QLabel*>(window.control(seq::kIdStatus));
  QCOMPARE(status->text(), QString::fromUtf8("M\u00e4rz \u20ac caf\u00e9\nzwei\ndrei"));
  window.setCaption("Vers. 2.10  LAPSTER4 \xAB");
  QCOMPARE(window.windowTitle(), QString::fromUtf8("Vers. 2.10  LAPSTER4 \u00ab"));
  window.setText(seq::kIdProceed, "WEITER");
  QCOMPARE(qobject_cast<QPushButton*>(window.control(seq::kIdProceed))->text(),
           QStringLiteral("WEITER"));

  auto* always = qobject_cast<QCheckBox*>(window.control(seq::kIdAlways));
  window.setCheck(seq::kIdAlways, true);
  QVERIFY(always->isChecked());
  window.setCheck(seq::kIdAlways, false);
  QVERIFY(!always->isChecked());
  window.setCheck(seq::kIdStatus, true);  // not a box: nothing happens

  window.enable(seq::kIdModePrompt, false);
  QVERIFY(!window.control(seq::kIdModePrompt)->isEnabled());
  window.show(seq::kIdKeyColumn, false);
  QVERIFY(!window.control(seq::kIdKeyColumn)->isVisible());
  window.show(seq::kIdKeyColumn, true);
  QVERIFY(window.control(seq::kIdKeyColumn)->isVisible());

  auto* bar = qobject_cast<QProgressBar*>(window.control(seq::kIdProgress));
  window.setProgressRange(0, 1000);
  for (const auto& [sent, shown] : std::vector<std::pair<int, int>>{
           {0, 0}, {999, 999}, {1000, 1000}, {1500, 1000}, {-5, 0}, {50, 50}}) {
    window.setProgressPos(sent);
    QCOMPARE(bar->value(), shown);
  }
  QCOMPARE(bar->maximum(), 1000);
  // Unknown ids are ignored.
  window.setText(4242, "x");
  window.enable(4242, false);
  window.show(4242, false);
}

void DialogWindowTest::messageBoxesAskAndInform() {
  DialogWindow window(WindowTimers::Mode::driven);
  window.setCaption("Vers. 2.10");
  MessageBoxAnswerer answerer;
  answerer.answers = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok};
  QCOMPARE(window.messageBox(" The DATA\n Do you agree ?", seq::MessageBoxKind::yesNoQuestion),
           seq::MessageBoxAnswer::yes);
  QCOMPARE(window.messageBox("again", seq::MessageBoxKind::yesNoQuestion),
           seq::MessageBoxAnswer::no);
  QCOMPARE(window.messageBox("done \xFC", seq::MessageBoxKind::information),
           seq::MessageBoxAnswer::ok);
  QCOMPARE(answerer.seen.size(), std::size_t{3});
  QCOMPARE(answerer.seen[0].icon, QMessageBox::Question);
  QCOMPARE(answerer.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
  QCOMPARE(answerer.seen[0].text, QStringLiteral(" The DATA\n Do you agree ?"));
  QCOMPARE(answerer.seen[0].title, QStringLiteral("Vers. 2.10"));
  QCOMPARE(answerer.seen[2].icon, QMessageBox::Information);
  QCOMPARE(answerer.seen[2].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QCOMPARE(answerer.seen[2].text, QString::fromUtf8("done \u00fc"));
}

void DialogWindowTest::noticesFromTheWorkerWaitForTheWindowThread() {
  DialogWindow window(WindowTimers::Mode::driven);
  usb::SimulatedClock clock;
  QtLinkNotices notices(window, clock, catalogue::kLanguageEnglish);
  MessageBoxAnswerer answerer;
  std::atomic<bool> dismissed{false};
  answerer.whileOpen = [&](QMessageBox&) { QVERIFY(!dismissed.load()); };
  answerer.answers = {QMessageBox::Ok, QMessageBox::Ok};

  std::atomic<int> finished{0};
  std::atomic<std::uint64_t> workerTime{0};
  clock.addThread();
  std::thread worker([&] {
    notices.anotherProgramUsesKey();
    notices.keyAccessDenied("/dev/bus/usb/001/007");
    notices.keyAccessDenied("/dev/bus/usb/001/007");  // once per run
    finished = 1;
    clock.sleepMs(40);
    workerTime = clock.elapsedMs();
    clock.removeThread();
  });
  // The window thread goes on with simulated time while the worker waits for the boxes.
  clock.sleepMs(1000);
  QCOMPARE(clock.elapsedMs(), std::uint64_t{1000});
  clock.removeThread();
  QTRY_COMPARE_WITH_TIMEOUT(finished.load(), 1, 10000);
  worker.join();
  QCOMPARE(answerer.seen.size(), std::size_t{2});
  QCOMPARE(answerer.seen[0].text, QStringLiteral("ANOTHER PROGRAM UTILIZES USB"));
  QCOMPARE(answerer.seen[0].icon, QMessageBox::NoIcon);
  QVERIFY(answerer.seen[1].text.contains(QStringLiteral("/dev/bus/usb/001/007")));
  QVERIFY(answerer.seen[1].text.contains(QLatin1String(kUdevRuleName)));
  QVERIFY(notices.accessDeniedShown());
  QVERIFY(workerTime.load() >= 1040);
}

void DialogWindowTest::shutdownReleasesAWaitingWorker() {
  DialogWindow window(WindowTimers::Mode::driven);
  usb::SystemClock clock;
  QtLinkNotices notices(window, clock, catalogue::kLanguageEnglish);
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    notices.anotherProgramUsesKey();
    returned = true;
  });
  // The box is never shown: the window thread does not get round to it before the end.
  QTest::qSleep(50);
  QVERIFY(!returned.load());
  notices.shutdown();
  worker.join();
  QVERIFY(returned.load());
  // The queued box is dropped, and a later notice returns at once.
  MessageBoxAnswerer answerer;
  QCoreApplication::processEvents();
  notices.anotherProgramUsesKey();
  QVERIFY(answerer.seen.empty());
}

}  // namespace flashwell::app::qt

QTEST_MAIN(flashwell::app::qt::DialogWindowTest)
#include "dialog_window_test.moc"
