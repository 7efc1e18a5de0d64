// zelmor's TCP connect runs off the window's thread: while it is in flight the
// event loop keeps running, the connect commands and workspace loading are
// disabled and the status bar says so; when it ends the rest of the sequence
// (messages, profile, polling) runs on the window's thread. A disconnect or the
// program's exit during the connect never touches the link under the worker.
#include <QComboBox>
#include <QLineEdit>
#include <QStatusBar>
#include <QtTest>
#include <arpa/inet.h>
#include <condition_variable>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "gui_test_support.h"
#include "master/app/connection_dialog.h"
#include "master/core/engine_glue.h"
#include "master/app/workspace_io.h"
#include "master/engine/comm_interface.h"
#include "peer_server.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

namespace {

// A loopback listener that accepts nothing and whose backlog is already full:
// a further connect to it gets no answer until the listener is closed, then
// fails at the next SYN retransmission.
class SilentListener {
 public:
  // port: below 32768, which is all the Connection dialog accepts.
  bool open(quint16 port) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener_ < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    port_ = port;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (::listen(listener_, 0) != 0) return false;
    filler_ = ::socket(AF_INET, SOCK_STREAM, 0);  // takes the one place in the queue
    return filler_ >= 0 && ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  void close() {
    if (filler_ >= 0) ::close(filler_);
    if (listener_ >= 0) ::close(listener_);
    filler_ = listener_ = -1;
  }
  ~SilentListener() { close(); }
  quint16 port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  quint16 port_ = 0;
};

// The TCP connect the worker runs, replaced: it records its thread, waits until
// the test opens the gate (or waitMs passes), then answers `answer` or, for 0,
// makes the engine's real connect.
struct Gate {
  std::mutex mutex;
  std::condition_variable changed;
  bool entered = false;
  bool open = false;
  int waitMs = 5000;
  std::uint16_t answer = 0;
  std::thread::id thread;

  void reset(std::uint16_t answerCode, int wait) {
    std::lock_guard<std::mutex> lock(mutex);
    entered = open = false;
    answer = answerCode;
    waitMs = wait;
    thread = {};
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    changed.notify_all();
  }
  bool hasEntered() {
    std::lock_guard<std::mutex> lock(mutex);
    return entered;
  }
} gate;

std::uint16_t GatedConnect(const char* ipAddress, std::uint16_t port, std::uint32_t timeoutMs) {
  std::uint16_t answer;
  {
    std::unique_lock<std::mutex> lock(gate.mutex);
    gate.entered = true;
    gate.thread = std::this_thread::get_id();
    gate.changed.wait_for(lock, std::chrono::milliseconds(gate.waitMs), [] { return gate.open; });
    answer = gate.answer;
  }
  if (answer != masterengine::RESULT_OK) return answer;
  return masterengine::NetConnect(masterengine::kLinkTcp, ipAddress, port, timeoutMs);
}

}  // namespace

class BackgroundConnectTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(peer_.start(), qPrintable(peer_.error())); }
  void cleanupTestCase() { peer_.stop(); }
  void cleanup() { zelmor::SetTcpConnectFunction(nullptr); }
  void unansweredConnectKeepsTheWindowAnswering();
  void workerAnswersFinishOnTheWindowThread();
  void disconnectDuringTheConnectDropsItsResult();
  void exitDuringTheConnectWaitsAndDropsItsResult();

 private:
  PeerServer peer_;
};

void BackgroundConnectTest::unansweredConnectKeepsTheWindowAnswering() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  SilentListener silent;
  bool listening = false;
  for (int attempt = 0; attempt < 20 && !listening; ++attempt) {
    silent.close();
    listening = silent.open(FreeLoopbackPort());  // another process may take the port in between
  }
  QVERIFY(listening);
  QVERIFY(fx.doc()->saveTo(fx.path("kept.zmd")));
  QVERIFY(SaveWorkspace(*fx.frame(), fx.app->settings(), fx.path("other.zmw")));

  WhenModal<ConnectionDialog>([&](ConnectionDialog* dialog) {
    dialog->portList()->setCurrentIndex(8);
    emit dialog->portList()->activated(8);
    dialog->ipEdit()->setText("127.0.0.1");
    dialog->servicePortEdit()->setText(QString::number(silent.port()));
    dialog->accept();
    if (dialog->isVisible()) dialog->reject();
  });
  QSignalSpy finished(fx.app.get(), &CZelmorApp::connectFinished);
  fx.frame()->action(res::ID_CONNECT)->trigger();
  QVERIFY(fx.app->isConnecting());

  // The event loop keeps running: a timer fires again and again while the connect hangs.
  int ticks = 0;
  QTimer timer;
  connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
  timer.start(10);
  QVERIFY(QTest::qWaitFor([&ticks] { return ticks >= 20; }, 5000));
  QVERIFY(fx.app->isConnecting());
  QCOMPARE(finished.count(), 0);

  QCOMPARE(fx.frame()->statusBar()->currentMessage(), QString("Connecting to 127.0.0.1: %1...").arg(silent.port()));
  // A status tip that came and went (clearing the message) does not lose it.
  fx.frame()->statusBar()->clearMessage();
  QTRY_COMPARE_WITH_TIMEOUT(fx.frame()->statusBar()->currentMessage(),
                            QString("Connecting to 127.0.0.1: %1...").arg(silent.port()), 2000);
  for (int id : {int(res::ID_CONNECT), int(res::ID_QUICK_CONNECT), int(res::ID_DISCONNECT),
                 int(res::ID_FILE_OPEN_WORKSPACE)})
    QVERIFY2(!fx.frame()->action(id)->isEnabled(), qPrintable(QString::number(id)));
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!fx.app->connectLink(false, fx.frame()));  // no second connect
  // A workspace reaching the frame another way (recent files, a drop) is not loaded now.
  QCOMPARE(fx.frame()->openDocument(fx.path("other.zmw")), nullptr);
  QCOMPARE(fx.frame()->documents().size(), 1);
  QVERIFY(!LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("other.zmw"), true).loaded);
  QCOMPARE(fx.app->settings().port, zelmor::kTcpPortChoice);  // other.zmw holds the serial defaults
  QVERIFY(fx.boxes->calls().isEmpty());

  // The listener goes away: the connect fails and its message follows on this thread.
  silent.close();
  QVERIFY(WaitForConnect(fx.app.get()));
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.first().first().toBool(), false);
  QCOMPARE(fx.boxes->lastText(), QString("Modbus/TCP Connection Failed"));
  QCOMPARE(fx.boxes->calls().last().title, QString("Connection"));
  QCOMPARE(fx.boxes->calls().last().icon, fw::MsgIcon::Exclamation);
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!fx.profile().contains("CommSetup", "Port"));
  QCOMPARE(fx.frame()->statusBar()->currentMessage(), QString());
  QVERIFY(fx.frame()->action(res::ID_CONNECT)->isEnabled());
  QVERIFY(fx.frame()->action(res::ID_QUICK_CONNECT)->isEnabled());
  QVERIFY(fx.frame()->action(res::ID_FILE_OPEN_WORKSPACE)->isEnabled());
  QVERIFY(!fx.frame()->action(res::ID_DISCONNECT)->isEnabled());
}

void BackgroundConnectTest::workerAnswersFinishOnTheWindowThread() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  zelmor::SetTcpConnectFunction(&GatedConnect);
  fx.app->setSettings(LoopbackTcpSettings(peer_.port()));

  // Each failure answer of the worker becomes its own message box.
  struct Failure {
    std::uint16_t answer;
    const char* message;
  } failures[] = {{masterengine::RESULT_WSA_STARTUP, "Modbus/TCP Connection Failed. WSA Startup Error"},
                  {masterengine::RESULT_BAD_IP, "Modbus/TCP Connection Failed. Invalid IP Address"},
                  {masterengine::RESULT_CONNECT_FAILED, "Modbus/TCP Connection Failed"}};
  for (const Failure& f : failures) {
    gate.reset(f.answer, 5000);
    fx.boxes->clear();
    fx.frame()->action(res::ID_QUICK_CONNECT)->trigger();
    QVERIFY(QTest::qWaitFor([] { return gate.hasEntered(); }, 5000));
    QVERIFY(fx.app->isConnecting());
    QVERIFY(fx.boxes->calls().isEmpty());  // nothing is shown before the worker answers
    gate.release();
    QVERIFY(WaitForConnect(fx.app.get()));
    QCOMPARE(fx.boxes->lastText(), QString(f.message));
    QVERIFY(!fx.app->isConnected());
  }

  // Success: the engine's connect ran on the worker, polling started here.
  gate.reset(masterengine::RESULT_OK, 5000);
  fx.boxes->clear();
  QSignalSpy finished(fx.app.get(), &CZelmorApp::connectFinished);
  fx.frame()->action(res::ID_QUICK_CONNECT)->trigger();
  QVERIFY(QTest::qWaitFor([] { return gate.hasEntered(); }, 5000));
  QVERIFY(gate.thread != std::this_thread::get_id());
  gate.release();
  QVERIFY(WaitForConnect(fx.app.get()));
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.first().first().toBool(), true);
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
  QVERIFY(masterengine::IsConnected());
  QTRY_VERIFY_WITH_TIMEOUT(fx.doc()->goodCount() >= 1, 5000);
  QVERIFY(!fx.profile().contains("CommSetup", "Port"));  // quick connect writes nothing
  fx.frame()->updateCommandUI();
  QVERIFY(fx.frame()->action(res::ID_DISCONNECT)->isEnabled());
  QVERIFY(!fx.frame()->action(res::ID_QUICK_CONNECT)->isEnabled());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QVERIFY(!masterengine::IsConnected());
}

void BackgroundConnectTest::disconnectDuringTheConnectDropsItsResult() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  zelmor::SetTcpConnectFunction(&GatedConnect);
  fx.app->setSettings(LoopbackTcpSettings(peer_.port()));
  gate.reset(masterengine::RESULT_OK, 5000);
  QSignalSpy finished(fx.app.get(), &CZelmorApp::connectFinished);
  QVERIFY(fx.app->connectLink(false, fx.frame()));
  QVERIFY(QTest::qWaitFor([] { return gate.hasEntered(); }, 5000));
  fx.app->disconnectLink();  // must not close the link under the worker
  QVERIFY(fx.app->isConnecting());
  gate.release();
  QVERIFY(WaitForConnect(fx.app.get()));
  QCOMPARE(finished.count(), 1);
  QCOMPARE(finished.first().first().toBool(), false);
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!masterengine::IsConnected());  // what the worker opened is closed again
  QVERIFY(fx.boxes->calls().isEmpty());
  // The next connect works normally.
  gate.reset(masterengine::RESULT_OK, 0);
  QVERIFY(fx.app->connectLink(false, fx.frame()));
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
}

void BackgroundConnectTest::exitDuringTheConnectWaitsAndDropsItsResult() {
  {
    ZelmorFixture fx;
    QVERIFY(fx.start());
    zelmor::SetTcpConnectFunction(&GatedConnect);
    fx.app->setSettings(LoopbackTcpSettings(peer_.port()));
    gate.reset(masterengine::RESULT_OK, 300);  // the worker goes on by itself after 300 ms
    QSignalSpy finished(fx.app.get(), &CZelmorApp::connectFinished);
    QVERIFY(fx.app->connectLink(false, fx.frame()));
    QVERIFY(QTest::qWaitFor([] { return gate.hasEntered(); }, 5000));
    fx.app->exitInstance();  // waits for the worker
    QVERIFY(!fx.app->isConnecting());
    QVERIFY(!fx.app->isConnected());
    QVERIFY(!masterengine::IsConnected());
    // The worker's late report finds nothing to do.
    QTest::qWait(50);
    QCOMPARE(finished.count(), 0);
    QVERIFY(fx.boxes->calls().isEmpty());
  }
  {
    // Destroyed without exitInstance: the application object outlives its worker.
    ZelmorFixture fx;
    QVERIFY(fx.start());
    zelmor::SetTcpConnectFunction(&GatedConnect);
    fx.app->setSettings(LoopbackTcpSettings(peer_.port()));
    gate.reset(masterengine::RESULT_OK, 300);
    QVERIFY(fx.app->connectLink(false, fx.frame()));
    QVERIFY(QTest::qWaitFor([] { return gate.hasEntered(); }, 5000));
    fx.app.reset();
    QVERIFY(!zelmor::BackgroundOpenPending());
    QVERIFY(!masterengine::IsConnected());
    QTest::qWait(50);  // a report posted to the destroyed object is dropped
  }
}

QTEST_MAIN(BackgroundConnectTest)
#include "background_connect_test.moc"
