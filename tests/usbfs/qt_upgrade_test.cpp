// The desktop program's dialog, its worker thread and the libusb backend on the virtual key at
// the kernel's usbdevfs interface: one whole upgrade of a fresh key by clicks, at real pace,
// through the system's libusb. The process owns umockdev's testbed, so the program's code runs
// here rather than in a child; what flashwell's own main adds is the instance guard.

#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/qt/dialog_session.h"
#include "catalogue/embedded_package.h"
#include "catalogue/system_locale.h"
#include "emulator/named_states.h"
#include "emulator/trace.h"
#include "emulator/usbfs/usbfs_key.h"
#include "emulator/virtual_key.h"
#include "sequencer/control_ids.h"
#include "tests/qt/message_box_answerer.h"
#include "usb/clock.h"
#include "usb/libusb/libusb_driver.h"

namespace flashwell::app::qt {

namespace seq = flashwell::sequencer;

class UsbfsQtUpgradeTest : public QObject {
  Q_OBJECT

 private slots:
  void onlyUpgradeOfAFreshKeyByClicks();
};

void UsbfsQtUpgradeTest::onlyUpgradeOfAFreshKeyByClicks() {
  emulator::VirtualKey key(*emulator::namedKeyState("fresh"));
  emulator::Trace trace(nullptr, true);
  emulator::usbfs::UsbfsKey bus(key, &trace);
  bus.plugIn();
  std::atomic<bool> stop = false;
  std::thread servicing([&] {
    while (!stop) {
      bus.service();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  {
    usb::libusb::LibusbDriver driver;
    usb::SystemClock clock;
    catalogue::FixedSystemLocale english(0x0409);
    const auto package = catalogue::embeddedPackage();
    testing::MessageBoxAnswerer boxes;
    DialogSession session(driver, clock, english, {package.begin(), package.end()});
    DialogWindow& window = session.window();
    auto text = [&](int id) {
      if (auto* label = qobject_cast<QLabel*>(window.control(id))) return label->text();
      return QString();
    };
    QVERIFY(window.begin());
    QTRY_VERIFY2_WITH_TIMEOUT(
        session.controller().status().state == seq::UpgradeState::awaitChoice &&
            text(seq::kIdKeyColumn).count(QLatin1Char('.')) >= 4,
        "the key's versions were never read", 30000);
    const QString toolColumn = text(seq::kIdToolColumn);
    QVERIFY(text(seq::kIdKeyColumn) != toolColumn);

    QTest::mouseClick(window.control(seq::kIdOnly), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.control(seq::kIdProceed)->isEnabled(), 10000);
    boxes.answers = {QMessageBox::Yes, QMessageBox::Ok};
    QTest::mouseClick(window.control(seq::kIdProceed), Qt::LeftButton);
    QTRY_VERIFY2_WITH_TIMEOUT(boxes.seen.size() == 2, "no final report", 120000);
    QCOMPARE(boxes.seen[0].icon, QMessageBox::Question);
    QCOMPARE(boxes.seen[1].icon, QMessageBox::Information);
    QVERIFY(boxes.seen[1].text.startsWith(QStringLiteral("Congratulations!")));
    QCOMPARE(qobject_cast<QProgressBar*>(window.control(seq::kIdProgress))->maximum(), 1000);
    // The key read back over libusb carries what the package carries.
    QCOMPARE(text(seq::kIdKeyColumn), toolColumn);
    QTRY_VERIFY_WITH_TIMEOUT(window.ended(), 30000);
  }
  stop = true;
  servicing.join();
  // The key restarted into its booter and back: three arrivals, each under a new number.
  QCOMPARE(bus.keyArrivals(), 3u);
}

}  // namespace flashwell::app::qt

QTEST_MAIN(flashwell::app::qt::UsbfsQtUpgradeTest)
#include "qt_upgrade_test.moc"
