// Two copies of the desktop program: the second is refused while the first runs, and starts
// normally once the first has ended or was killed.

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

#include "app/posix_instance.h"

namespace flashwell::app::qt {
namespace {

// Whether some process holds the instance name, seen from the kernel's list of Unix sockets
// without touching the name.
bool instanceNameHeld() {
  QFile sockets(QStringLiteral("/proc/net/unix"));
  if (!sockets.open(QIODevice::ReadOnly)) return false;
  const QByteArray wanted =
      QByteArray(" @") + QByteArray(kInstanceName.data(), static_cast<int>(kInstanceName.size()));
  for (const QByteArray& line : sockets.readAll().split('\n')) {
    if (line.endsWith(wanted)) return true;
  }
  return false;
}

// flashwell-demo on the offscreen platform.
class Program {
 public:
  Program() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(environment);
    process_.setProgram(QStringLiteral(FLASHWELL_DEMO_PROGRAM));
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }

  bool start() {
    process_.start();
    return process_.waitForStarted(5000);
  }
  bool running() { return process_.state() == QProcess::Running; }
  QByteArray errorOutput() {
    stderr_ += process_.readAllStandardError();
    return stderr_;
  }
  bool endWith(int signal) {
    ::kill(static_cast<pid_t>(process_.processId()), signal);
    return process_.waitForFinished(10000);
  }
  QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }
  int exitCode() const { return process_.exitCode(); }

 private:
  QProcess process_;
  QByteArray stderr_;
};

const QByteArray kRefusal(kAnotherInstanceMessage.data(),
                          static_cast<int>(kAnotherInstanceMessage.size()));

}  // namespace

class InstanceProcessTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    if (instanceNameHeld()) QSKIP("another copy of the program runs on this machine");
  }
  void secondCopyIsRefusedWhileTheFirstRuns();
  void startsAgainAfterTheFirstEnded_data();
  void startsAgainAfterTheFirstEnded();
};

void InstanceProcessTest::secondCopyIsRefusedWhileTheFirstRuns() {
  Program first;
  QVERIFY(first.start());
  QTRY_VERIFY_WITH_TIMEOUT(instanceNameHeld(), 10000);

  Program second;
  QVERIFY(second.start());
  QTRY_VERIFY_WITH_TIMEOUT(second.errorOutput().contains(kRefusal), 10000);
  // The refusal box is up and the first copy goes on as before.
  QVERIFY(second.running());
  QVERIFY(first.running());
  QVERIFY(!first.errorOutput().contains(kRefusal));
  QVERIFY(second.endWith(SIGTERM));
  QVERIFY(first.running());
  QVERIFY(instanceNameHeld());
}

void InstanceProcessTest::startsAgainAfterTheFirstEnded_data() {
  QTest::addColumn<int>("signal");
  QTest::newRow("ended") << int{SIGTERM};
  QTest::newRow("killed") << int{SIGKILL};
}

void InstanceProcessTest::startsAgainAfterTheFirstEnded() {
  QFETCH(int, signal);
  {
    Program first;
    QVERIFY(first.start());
    QTRY_VERIFY_WITH_TIMEOUT(instanceNameHeld(), 10000);
    QVERIFY(first.endWith(signal));
    if (signal == SIGKILL) QCOMPARE(first.exitStatus(), QProcess::CrashExit);
    if (signal == SIGTERM) {
      // SIGTERM is EXIT: the orderly exit, then 128 + the signal.
      QCOMPARE(first.exitStatus(), QProcess::NormalExit);
      QCOMPARE(first.exitCode(), 128 + SIGTERM);
    }
  }
  QTRY_VERIFY_WITH_TIMEOUT(!instanceNameHeld(), 5000);

  Program next;
  QVERIFY(next.start());
  QTRY_VERIFY_WITH_TIMEOUT(instanceNameHeld(), 10000);
  // Give a refusal the time to show itself; there must be none.
  QTest::qWait(500);
  QVERIFY(next.running());
  QVERIFY(!next.errorOutput().contains(kRefusal));
}

}  // namespace flashwell::app::qt

QTEST_MAIN(flashwell::app::qt::InstanceProcessTest)
#include "instance_process_test.moc"
