// vantor connected to a serial line through its Connection dialog: a pty pair
// stands in for the cable; the test writes requests on the other end.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include "framework/window_messages.h"
#include "link/checksums.h"
#include "resources/vantor_resources.h"
#include "slave/app/connection_dialog.h"
#include "vantor_test_support.h"

using namespace vantorres;

namespace {

class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0) {
      path_ = QString::fromLocal8Bit(name);
      termios raw{};
      tcgetattr(master_, &raw);
      cfmakeraw(&raw);
      tcsetattr(master_, TCSANOW, &raw);
    }
  }
  ~PtyPair() {
    if (master_ >= 0) ::close(master_);
    if (slave_ >= 0) ::close(slave_);
  }
  bool ok() const { return master_ >= 0; }
  QString path() const { return path_; }
  void write(const QByteArray& bytes) { QCOMPARE_GE(::write(master_, bytes.data(), bytes.size()), 0); }
  // Reads until `count` bytes arrived or the time-out expired.
  QByteArray read(int count, int timeoutMs = 3000) {
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (data.size() < count && clock.elapsed() < timeoutMs) {
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0) {
        char buffer[512];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) data.append(buffer, static_cast<int>(n));
      }
      QApplication::processEvents();
    }
    return data;
  }

 private:
  int master_ = -1;
  int slave_ = -1;  // kept open so the line stays up between opens
  QString path_;
};

QByteArray WithCrc(QByteArray frame) {
  const std::uint16_t crc =
      linklayer::ComputeCrc16(reinterpret_cast<const std::uint8_t*>(frame.constData()), static_cast<std::uint16_t>(frame.size()));
  frame.append(static_cast<char>(crc & 0xFF));
  frame.append(static_cast<char>(crc >> 8));
  return frame;
}

}  // namespace

class VantorSerialTest : public QObject {
  Q_OBJECT

 private:
  bool connectThroughDialog(VantorFixture& f, const QString& device, bool ascii) {
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      d->portList()->setCurrentIndex(1);  // "Port 2"
      d->devicePathEdit()->setText(device);
      d->baudList()->setCurrentIndex(11);  // 115200 Baud
      (ascii ? d->asciiButton() : d->rtuButton())->setChecked(true);
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    return f.app()->isConnected();
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void rtuRequestsAreAnsweredFromTheWindow() {
    PtyPair line;
    QVERIFY2(line.ok(), "openpty failed");
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->editRegister(2, 0xABCD, false);
    QVERIFY(connectThroughDialog(f, line.path(), false));
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("Port 2: 115200-8-N-1"));
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("BaudRate"), -1), 8);
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("Port"), -1), 1);
    // The device path behind "Port 2" is remembered in the profile.
    QCOMPARE(fw::AppProfile().readString(QStringLiteral("Ports"), QStringLiteral("Port2")), line.path());

    line.write(WithCrc(QByteArray::fromHex("010300020001")));
    QCOMPARE(line.read(7), WithCrc(QByteArray::fromHex("010302ABCD")));
    // A write from the master reaches the window.
    line.write(WithCrc(QByteArray::fromHex("010600030102")));
    QCOMPARE(line.read(8), WithCrc(QByteArray::fromHex("010600030102")));
    QTRY_COMPARE(f.view()->cellValueText(3), QStringLiteral("   258"));
    f.frame()->action(ID_DISCONNECT)->trigger();
    QVERIFY(!f.app()->isConnected());
  }

  void asciiRequestsAreAnswered() {
    PtyPair line;
    QVERIFY2(line.ok(), "openpty failed");
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->editRegister(0, 0x0102, false);
    QVERIFY(connectThroughDialog(f, line.path(), true));
    // ":" 01 03 0000 0001 LRC CR LF; LRC = -(1+3+1) = FB
    line.write(QByteArray(":010300000001FB\r\n"));
    const QByteArray reply = line.read(15);
    // 01 03 02 01 02: LRC = -(1+3+2+1+2) = F7
    QCOMPARE(reply, QByteArray(":0103020102F7\r\n"));
  }
};

QTEST_MAIN(VantorSerialTest)
#include "vantor_serial_test.moc"
