// Serial device discovery: the by-id links of a fake /dev/serial/by-id made of
// pseudo-terminals, and the port map widget fed by a fake listing that changes
// while it is open (an adapter plugged in).
#include <pty.h>
#include <unistd.h>

#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "framework/serial_ports.h"
#include "platform/port_map.h"

namespace {

class FakeSource : public fw::SerialPortSource {
 public:
  QList<fw::SerialPortEntry> ports() const override { return listing; }
  QList<fw::SerialPortEntry> listing;
};

const fw::SerialPortEntry kAdapter{"/dev/ttyUSB0", "FTDI USB-RS485 Cable"};

}  // namespace

class SerialPortsTest : public QObject {
  Q_OBJECT

 private slots:
  void byIdLinksNameTheirDevice() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QCOMPARE(openpty(&master, &slave, name, nullptr, nullptr), 0);
    QTemporaryDir byId;
    const QString stable = byId.filePath("usb-FTDI_USB-RS485_Cable_FT1ABCD-if00-port0");
    QVERIFY(QFile::link(QString::fromLocal8Bit(name), stable));
    QVERIFY(QFile::link(byId.filePath("gone"), byId.filePath("usb-unplugged-if00-port0")));

    const QList<fw::SerialPortEntry> ports = fw::SystemSerialPortSource(byId.path()).ports();
    QStringList paths;
    for (const fw::SerialPortEntry& entry : ports) paths << entry.path;
    QVERIFY2(paths.contains(stable), qPrintable(paths.join(' ')));
    QVERIFY(!paths.contains(byId.filePath("usb-unplugged-if00-port0")));  // dangling: skipped
    QCOMPARE(paths.last(), stable);  // the stable names follow the devices
    ::close(master);
    ::close(slave);
  }

  void mapWidgetFollowsPluggingAndKeepsTypedPaths() {
    auto source = std::make_shared<FakeSource>();
    source->listing = {{"/dev/ttyS0", ""}};
    fw::SetSerialPortSource(source);
    platform::SetSerialPortPath(2, "/dev/pts/41");
    {
      fw::SerialPortMapWidget map({"Port 1", "Port 2", "Port 3"});
      QCOMPARE(map.portCount(), 3);
      QCOMPARE(map.box(1)->path(), QString("/dev/ttyUSB0"));  // the default
      QCOMPARE(map.box(2)->path(), QString("/dev/pts/41"));
      QCOMPARE(map.box(1)->count(), 1);
      map.box(3)->lineEdit()->setText("/tmp/socat-link");

      // Plugged in while the dialog is open: the timer finds it, nothing typed changes.
      QSignalSpy changes(map.watcher(), &fw::SerialPortWatcher::portsChanged);
      source->listing.append(kAdapter);
      QTRY_COMPARE_WITH_TIMEOUT(map.box(1)->count(), 2, 3 * fw::SerialPortWatcher::kPollIntervalMs);
      QCOMPARE(changes.count(), 1);
      map.watcher()->refresh();  // the same listing again is no change
      QCOMPARE(changes.count(), 1);
      QCOMPARE(map.box(2)->path(), QString("/dev/pts/41"));
      QCOMPARE(map.box(3)->path(), QString("/tmp/socat-link"));
      QCOMPARE(map.box(3)->itemText(1), QString("FTDI USB-RS485 Cable (/dev/ttyUSB0)"));

      // Choosing the adapter puts its path, not its description, in the field.
      map.box(3)->setCurrentIndex(1);
      emit map.box(3)->activated(1);
      QCOMPARE(map.box(3)->currentText(), QString("/dev/ttyUSB0"));
      map.box(1)->lineEdit()->setText("/dev/ttyS0");
      map.box(2)->lineEdit()->clear();
      map.applyToPortMap();
    }
    QCOMPARE(platform::SerialPortPath(1), std::string("/dev/ttyS0"));
    QCOMPARE(platform::SerialPortPath(2), platform::DefaultSerialPortPath(2));  // empty: the default
    QCOMPARE(platform::SerialPortPath(3), std::string("/dev/ttyUSB0"));
    for (int n = 1; n <= 3; ++n) platform::SetSerialPortPath(n, "");
    fw::SetSerialPortSource(nullptr);
  }
};

QTEST_MAIN(SerialPortsTest)
#include "serial_ports_test.moc"
