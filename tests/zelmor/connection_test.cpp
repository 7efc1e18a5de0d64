// zelmor's connection: the Connection and Advanced dialogs, the failure
// messages (and that failures write nothing to the profile), a real
// connection to a pymodbus server with polls painted into the cells, and
// Auto Connect at start-up.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "gui_test_support.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/engine/comm_interface.h"
#include "peer_server.h"
#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

class ConnectionTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase() { peer_.stop(); }
  void dialogEnablingFollowsThePort();
  void dialogValidationAndBaudPositions();
  void advancedDialog();
  void failedConnectionsShowTheirMessageAndWriteNothing_data();
  void failedConnectionsShowTheirMessageAndWriteNothing();
  void refusedPermissionNamesTheDialoutGroup();
  void connectingWithTheDialogWritesAllKeys();
  void rtuOverTcpToAHostNameFromTheDialog();
  void udpPaneNamesTheTransport();
  void pollsReachTheCellsAndCounters();
  void autoConnectAtStartUp();
  void serialPortMapping();

 private:
  PeerServer peer_;
};

void ConnectionTest::initTestCase() { QVERIFY2(peer_.start(), qPrintable(peer_.error())); }

void ConnectionTest::dialogEnablingFollowsThePort() {
  ZelmorFixture fx;
  ConnectionDialog dialog(zelmor::CommSettings{});
  QCOMPARE(dialog.portList()->count(), 9);
  QCOMPARE(dialog.portList()->itemText(8), QString("TCP/IP"));
  QCOMPARE(dialog.baudList()->currentText(), QString("9600 Baud"));
  QCOMPARE(dialog.parityList()->currentText(), QString("Even Parity"));
  QCOMPARE(dialog.dataBitsList()->currentText(), QString("8 Data bits"));
  QCOMPARE(dialog.stopBitsList()->currentText(), QString("1 Stop Bit"));
  QVERIFY(dialog.rtuButton()->isChecked());
  QCOMPARE(dialog.timeoutEdit()->text(), QString("1000"));
  QCOMPARE(dialog.delayEdit()->text(), QString("10"));
  QCOMPARE(dialog.ipEdit()->text(), QString("0.0.0.0"));
  QCOMPARE(dialog.servicePortEdit()->text(), QString("502"));
  QVERIFY(dialog.deviceLabel()->text().contains(QString::fromStdString(platform::SerialPortPath(1))));
  QVERIFY(dialog.baudList()->isEnabled());
  QVERIFY(dialog.advancedButton()->isEnabled());
  QVERIFY(!dialog.ipEdit()->isEnabled());
  dialog.portList()->setCurrentIndex(8);
  emit dialog.portList()->activated(8);
  for (QWidget* w : {static_cast<QWidget*>(dialog.baudList()), static_cast<QWidget*>(dialog.parityList()),
                     static_cast<QWidget*>(dialog.dataBitsList()), static_cast<QWidget*>(dialog.stopBitsList()),
                     static_cast<QWidget*>(dialog.rtuButton()), static_cast<QWidget*>(dialog.asciiButton()),
                     static_cast<QWidget*>(dialog.advancedButton())})
    QVERIFY(!w->isEnabled());
  QVERIFY(dialog.ipEdit()->isEnabled());
  QVERIFY(dialog.servicePortEdit()->isEnabled());
  // Changing the port first takes over (and checks) the fields: a bad field keeps the old port.
  dialog.timeoutEdit()->setText("20");
  dialog.portList()->setCurrentIndex(2);
  emit dialog.portList()->activated(2);
  QCOMPARE(fx.boxes->lastText(), QString("Please enter an integer between 50 and 100000."));
  QCOMPARE(dialog.portList()->currentIndex(), 8);
  QVERIFY(!dialog.baudList()->isEnabled());
}

void ConnectionTest::dialogValidationAndBaudPositions() {
  ZelmorFixture fx;
  struct Row {
    int position;
    int index;
  } rows[] = {{2, 11}, {11, 8}, {0, 9}, {5, 2}};
  for (const Row& row : rows) {
    ConnectionDialog dialog(zelmor::CommSettings{});
    dialog.baudList()->setCurrentIndex(row.position);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.settings().baudIndex, row.index);
  }
  // A baud index from the record opens at its list position.
  zelmor::CommSettings stored;
  stored.baudIndex = 11;
  QCOMPARE(ConnectionDialog(stored).baudList()->currentText(), QString("1200 Baud"));

  struct Bad {
    QLineEdit* (ConnectionDialog::*edit)() const;
    const char* text;
    const char* message;
  } bad[] = {
      {&ConnectionDialog::timeoutEdit, "49", "Please enter an integer between 50 and 100000."},
      {&ConnectionDialog::timeoutEdit, "100001", "Please enter an integer between 50 and 100000."},
      {&ConnectionDialog::ipEdit, "192.168.100.2001", "Please enter no more than 15 characters."},
      {&ConnectionDialog::servicePortEdit, "32768", "Please enter an integer between 1 and 32767."},
      {&ConnectionDialog::servicePortEdit, "0", "Please enter an integer between 1 and 32767."},
      {&ConnectionDialog::delayEdit, "1001", "Please enter an integer between 0 and 1000."},
  };
  for (const Bad& b : bad) {
    ConnectionDialog dialog(zelmor::CommSettings{});
    (dialog.*b.edit)()->setText(b.text);
    dialog.accept();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(fx.boxes->lastText(), QString(b.message));
  }
  ConnectionDialog dialog(zelmor::CommSettings{});
  dialog.ipEdit()->setText("192.168.100.200");  // 15 characters are fine
  dialog.asciiButton()->setChecked(true);
  dialog.parityList()->setCurrentIndex(1);
  dialog.stopBitsList()->setCurrentIndex(1);
  dialog.dataBitsList()->setCurrentIndex(0);
  dialog.accept();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QCOMPARE(dialog.settings().ipAddress, std::string("192.168.100.200"));
  QCOMPARE(dialog.settings().asciiMode, 1);
  QCOMPARE(dialog.settings().parity, 1);
  QCOMPARE(dialog.settings().stopBits, 1);
  QCOMPARE(dialog.settings().dataBits, 0);
}

void ConnectionTest::advancedDialog() {
  ZelmorFixture fx;
  ConnectionDialog dialog(zelmor::CommSettings{});
  WhenModal<AdvancedDialog>([](AdvancedDialog* advanced) {
    QVERIFY(advanced->rtsToggleBox()->isChecked());
    QVERIFY(advanced->delayEdit()->isEnabled());
    advanced->rtsToggleBox()->click();
    QVERIFY(!advanced->delayEdit()->isEnabled());
    advanced->rtsToggleBox()->click();
    advanced->delayEdit()->setText("11");
    advanced->accept();  // refused: 0..10
    QVERIFY(advanced->isVisible());
    advanced->delayEdit()->setText("7");
    advanced->dsrBox()->setChecked(true);
    advanced->echoBox()->setChecked(true);
    advanced->accept();
  });
  dialog.openAdvanced();
  QCOMPARE(fx.boxes->lastText(), QString("Please enter an integer between 0 and 10."));
  dialog.accept();
  QCOMPARE(dialog.settings().clrRtsDelay, 7);
  QCOMPARE(dialog.settings().dtrDsr, 1);
  QCOMPARE(dialog.settings().echo, 1);
  QCOMPARE(dialog.settings().rtsToggle, 1);
  // Cancel discards.
  WhenModal<AdvancedDialog>([](AdvancedDialog* advanced) {
    advanced->ctsBox()->setChecked(true);
    advanced->reject();
  });
  dialog.openAdvanced();
  QCOMPARE(dialog.settings().rtsCts, 0);
}

void ConnectionTest::failedConnectionsShowTheirMessageAndWriteNothing_data() {
  QTest::addColumn<int>("port");
  QTest::addColumn<QString>("ip");
  QTest::addColumn<QString>("message");
  QTest::newRow("tcp refused") << 8 << "127.0.0.1" << "Modbus/TCP Connection Failed";
  QTest::newRow("tcp bad address") << 8 << "1.2.3" << "Modbus/TCP Connection Failed. Invalid IP Address";
  QTest::newRow("serial missing") << 2 << "0.0.0.0" << "Port not available";
  QTest::newRow("host not found") << 8 << "no.such.host.invalid" << "Modbus/TCP Connection Failed. Host not found";
}

void ConnectionTest::failedConnectionsShowTheirMessageAndWriteNothing() {
  QFETCH(int, port);
  QFETCH(QString, ip);
  QFETCH(QString, message);
  ZelmorFixture fx;
  platform::SetSerialPortPath(3, fx.path("no-such-device").toStdString());
  QVERIFY(fx.start());
  quint16 closedPort = FreeLoopbackPort();
  WhenModal<ConnectionDialog>([&](ConnectionDialog* dialog) {
    dialog->portList()->setCurrentIndex(port);
    emit dialog->portList()->activated(port);
    dialog->ipEdit()->setText(ip);
    dialog->servicePortEdit()->setText(QString::number(closedPort));
    dialog->timeoutEdit()->setText("300");
    dialog->accept();
    if (dialog->isVisible()) dialog->reject();  // a refused field must not hang the test
  });
  fx.frame()->action(res::ID_CONNECT)->trigger();
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY(!fx.app->isConnected());
  // A serial failure adds the device and the system's reason on a second line.
  QCOMPARE(fx.boxes->lastText().section('\n', 0, 0), message);
  if (port == 2) {
    QCOMPARE(fx.boxes->lastText().section('\n', 1),
             fx.path("no-such-device") + QStringLiteral(": No such file or directory"));
  }
  QCOMPARE(fx.boxes->calls().last().title, QString("Connection"));
  QCOMPARE(fx.boxes->calls().last().icon, fw::MsgIcon::Exclamation);
  QVERIFY(!fx.profile().contains("CommSetup", "Port"));
  QVERIFY(!fx.profile().contains("CommSetup", "Timeout"));
  // The record keeps what was entered, so Quick Connect retries it.
  QCOMPARE(fx.app->settings().port, port);
  QCOMPARE(fx.app->settings().timeout, 300);
  fx.boxes->clear();
  fx.frame()->action(res::ID_QUICK_CONNECT)->trigger();
  QVERIFY(WaitForConnect(fx.app.get()));
  QCOMPARE(fx.boxes->lastText().section('\n', 0, 0), message);
  QVERIFY(!fx.profile().contains("CommSetup", "Port"));
  platform::SetSerialPortPath(3, "");
}

void ConnectionTest::connectingWithTheDialogWritesAllKeys() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  WhenModal<ConnectionDialog>([&](ConnectionDialog* dialog) {
    dialog->portList()->setCurrentIndex(8);
    emit dialog->portList()->activated(8);
    dialog->ipEdit()->setText("127.0.0.1");
    dialog->servicePortEdit()->setText(QString::number(peer_.port()));
    dialog->delayEdit()->setText("5");
    dialog->accept();
    if (dialog->isVisible()) dialog->reject();
  });
  fx.frame()->action(res::ID_CONNECT)->trigger();
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
  QVERIFY(masterengine::IsConnected());
  for (const char* key : {"Port", "BaudRate", "DataBits", "Parity", "StopBits", "Timeout", "DTRDSR", "RTSCTS", "RTS",
                          "CLRRTSDelay", "RTU/ASCII", "IPAddress", "ServicePort", "DelayBetweenPolls", "Echo"})
    QVERIFY2(fx.profile().contains("CommSetup", key), key);
  QCOMPARE(fx.profile().readInt("CommSetup", "Port", -1), 8);
  QCOMPARE(fx.profile().readString("CommSetup", "IPAddress"), QString("127.0.0.1"));
  QCOMPARE(fx.profile().readInt("CommSetup", "ServicePort", -1), int(peer_.port()));
  QCOMPARE(fx.profile().readInt("CommSetup", "DelayBetweenPolls", -1), 5);
  fx.frame()->updateCommandUI();
  QCOMPARE(fx.frame()->commPane()->text(), QString("127.0.0.1: %1").arg(peer_.port()));
  QVERIFY(!fx.frame()->action(res::ID_CONNECT)->isEnabled());
  QVERIFY(fx.frame()->action(res::ID_DISCONNECT)->isEnabled());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!masterengine::IsConnected());
  QVERIFY(fx.frame()->action(res::ID_QUICK_CONNECT)->isEnabled());
}

// RTU over TCP to "localhost" against pymodbus: polls arrive, and the transport
// and host are stored in their own section while IPAddress keeps its IPv4 value.
void ConnectionTest::rtuOverTcpToAHostNameFromTheDialog() {
  PeerServer gateway;
  QVERIFY2(gateway.startNetwork("rtu-over-tcp", "127.0.0.1"), qPrintable(gateway.error()));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->takeDefinition({3, 3, 1, 100, 1, 1});  // input register 2: 2002
  WhenModal<ConnectionDialog>([&](ConnectionDialog* dialog) {
    dialog->portList()->setCurrentIndex(8);
    emit dialog->portList()->activated(8);
    QVERIFY(dialog->transportList()->isEnabled());
    dialog->transportList()->setCurrentIndex(zelmor::kTransportRtuOverTcp);
    dialog->ipEdit()->setText("localhost");
    dialog->servicePortEdit()->setText(QString::number(gateway.port()));
    dialog->accept();
    if (dialog->isVisible()) dialog->reject();
  });
  fx.frame()->action(res::ID_CONNECT)->trigger();
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
  QTRY_COMPARE_WITH_TIMEOUT(fx.view()->cellValue(0).trimmed(), QString("2002"), 5000);
  QCOMPARE(fx.profile().readInt("CommNetwork", "Transport", -1), zelmor::kTransportRtuOverTcp);
  QCOMPARE(fx.profile().readString("CommNetwork", "Host"), QString("localhost"));
  QCOMPARE(fx.profile().readString("CommSetup", "IPAddress"), QString("0.0.0.0"));
  fx.frame()->updateCommandUI();
  QCOMPARE(fx.frame()->commPane()->text(), QString("RTU over TCP localhost:%1").arg(gateway.port()));
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  const zelmor::CommSettings reread = zelmor::ReadCommSettings(fx.profile());
  QCOMPARE(reread.transport, zelmor::kTransportRtuOverTcp);
  QCOMPARE(zelmor::RemoteHost(reread), std::string("localhost"));
}

// Modbus/UDP to pymodbus by Quick Connect: polls arrive, and the status bar's
// pane names the transport as vantor's does, wide enough for the whole text.
// Modbus/TCP and serial keep their texts.
void ConnectionTest::udpPaneNamesTheTransport() {
  PeerServer server;
  QVERIFY2(server.startNetwork("udp", "127.0.0.1"), qPrintable(server.error()));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.doc()->takeDefinition({3, 3, 1, 100, 1, 1});  // input register 2: 2002
  zelmor::CommSettings settings = LoopbackTcpSettings(server.port());
  settings.transport = zelmor::kTransportUdp;
  QVERIFY2(fx.quickConnect(settings), qPrintable(fx.boxes->lastText()));
  QTRY_COMPARE_WITH_TIMEOUT(fx.view()->cellValue(0).trimmed(), QString("2002"), 5000);
  QLabel* pane = fx.frame()->commPane();
  const QString expected = QString("Modbus/UDP 127.0.0.1:%1").arg(server.port());
  QCOMPARE(pane->text(), expected);
  QTRY_VERIFY(pane->width() >= pane->fontMetrics().horizontalAdvance(expected));
  fx.frame()->action(res::ID_DISCONNECT)->trigger();

  settings.transport = zelmor::kTransportRtuOverTcp;
  zelmor::SetRemoteHost(&settings, "[::1]");
  QCOMPARE(zelmor::CommPaneText(settings), QString("RTU over TCP [::1]:%1").arg(server.port()));
  zelmor::SetRemoteHost(&settings, "::1");
  QCOMPARE(zelmor::CommPaneText(settings), QString("RTU over TCP [::1]:%1").arg(server.port()));
  settings.transport = zelmor::kTransportModbusTcp;
  QCOMPARE(zelmor::CommPaneText(settings), QString("::1: %1").arg(server.port()));
  settings.port = 0;
  QCOMPARE(zelmor::CommPaneText(settings), QString("Port 1: 9600-8-E-1"));
}

void ConnectionTest::pollsReachTheCellsAndCounters() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  CZelmorView* view = fx.view();
  doc->takeDefinition({1, 2, 4, 100, 1, 1});
  doc->setDisplayFormat(4);
  QVERIFY2(fx.connectTcp(peer_.port()), qPrintable(fx.boxes->lastText()));
  QVERIFY(!fx.app->isConnecting());
  // Registers 0x0000, 0x3F80: "&Float" shows 1.000000.
  QTRY_COMPARE_WITH_TIMEOUT(view->cellValue(0), QString("       1.000000"), 5000);
  QVERIFY(doc->goodCount() >= 1);
  QCOMPARE(view->errorText(), QString());
  // "F&loat Inverse" reads the pattern 0x00003F80: 0.000000.
  doc->setDisplayFormat(5);
  QTRY_COMPARE_WITH_TIMEOUT(view->cellValue(0), QString("       0.000000"), 5000);
  doc->setDisplayFormat(0);
  QTRY_COMPARE_WITH_TIMEOUT(view->cellValue(2), QString("    -1"), 5000);
  QCOMPARE(view->cellValue(3), QString("     5"));
  doc->setDisplayFormat(9);  // Long Inverse: 0xFFFF0005 at index 2
  QTRY_COMPARE_WITH_TIMEOUT(view->cellValue(2), QString("    -65531"), 5000);
  QVERIFY(view->headerLine().startsWith(QString("Tx = %1: ").arg(doc->txCount())));
  // Beyond the server's table: exception 2, counted in counter 9.
  doc->takeDefinition({399, 2, 10, 100, 1, 1});
  QTRY_VERIFY_WITH_TIMEOUT(doc->errorCounters()[9] >= 1, 5000);
  QCOMPARE(view->errorText(), QString("Illigal Data Address"));
  QCOMPARE(doc->lastResult(), 130);
  QVERIFY(doc->txCount() > doc->goodCount());
  // Polling disabled: the slot is never served until Read Once serves it once.
  doc->takeDefinition({5, 2, 2, 100, 1, 0});
  doc->setDisplayFormat(0);
  fx.frame()->updateCommandUI();
  QVERIFY(fx.frame()->action(res::ID_SETUP_READ_ONCE)->isEnabled());
  QTest::qWait(200);  // let a transaction of the old definition finish
  std::uint32_t tx = 0, good = 0;
  masterengine::ReadCounters(doc->pollSlot(), &tx, &good);
  QTest::qWait(400);  // several scan periods: a disabled poll stays quiet
  std::uint32_t txLater = 0;
  masterengine::ReadCounters(doc->pollSlot(), &txLater, &good);
  QCOMPARE(txLater, tx);
  fx.frame()->action(res::ID_SETUP_READ_ONCE)->trigger();
  QTRY_COMPARE_WITH_TIMEOUT(view->cellValue(0), QString("  1004"), 5000);
  masterengine::ReadCounters(doc->pollSlot(), &txLater, &good);
  QCOMPARE(txLater, tx + 1);
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QVERIFY(!fx.app->isConnected());
}

void ConnectionTest::autoConnectAtStartUp() {
  {
    ZelmorFixture fx;
    fx.profile().writeInt("CommSetup", "Port", 8);
    fx.profile().writeString("CommSetup", "IPAddress", "127.0.0.1");
    fx.profile().writeInt("CommSetup", "ServicePort", peer_.port());
    fx.profile().writeInt("CommSetup", "AutoEnable", 1);
    QVERIFY(fx.start());
    QVERIFY(WaitForConnect(fx.app.get()));
    QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
    QCOMPARE(fx.app->autoEnable(), 1);
    QVERIFY(!fx.frame()->action(res::ID_AUTO_CONNECT_ENABLE)->isEnabled());
  }
  {
    ZelmorFixture fx;
    fx.profile().writeInt("CommSetup", "Port", 8);
    fx.profile().writeString("CommSetup", "IPAddress", "127.0.0.1");
    fx.profile().writeInt("CommSetup", "ServicePort", peer_.port());
    QVERIFY(fx.start());
    QVERIFY(!fx.app->isConnected());
    QCOMPARE(fx.frame()->commPane()->text(), QString("127.0.0.1: %1").arg(peer_.port()));
  }
}

void ConnectionTest::refusedPermissionNamesTheDialoutGroup() {
  // As root a device cannot be made unreadable, so the opener refuses as the kernel would.
  platform::SetSerialDeviceOpener(
      [](const std::string&, platform::SerialOpenError* error) -> std::unique_ptr<platform::SerialDevice> {
        *error = platform::SerialOpenError{platform::SerialOpenStatus::PermissionDenied, EACCES, "Permission denied"};
        return nullptr;
      });
  ZelmorFixture fx;
  platform::SetSerialPortPath(1, "/dev/ttyUSB0");
  QVERIFY(fx.start());
  fx.frame()->action(res::ID_QUICK_CONNECT)->trigger();
  QVERIFY(WaitForConnect(fx.app.get()));
  platform::SetSerialDeviceOpener(nullptr);
  QVERIFY(!fx.app->isConnected());
  QCOMPARE(fx.boxes->lastText(),
           QString("Port not available\n/dev/ttyUSB0: Permission denied: add your user to the dialout group"));
  platform::SetSerialPortPath(1, "");
}

void ConnectionTest::serialPortMapping() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  SerialPortsDialog dialog;
  QCOMPARE(dialog.pathEdit(1)->text(), QString::fromStdString(platform::SerialPortPath(1)));
  dialog.pathEdit(2)->setText("/dev/ttyS7");
  dialog.accept();
  QCOMPARE(QString::fromStdString(platform::SerialPortPath(2)), QString("/dev/ttyS7"));
  QCOMPARE(fx.profile().readString("Ports", "Port2"), QString("/dev/ttyS7"));
  zelmor::CommSettings s;
  s.port = 1;
  ConnectionDialog connection(s);
  QVERIFY(connection.deviceLabel()->text().contains("/dev/ttyS7"));
  platform::SetSerialPortPath(2, "");
}

QTEST_MAIN(ConnectionTest)
#include "connection_test.moc"
