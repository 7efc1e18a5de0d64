// The vantor shell through its windows: workspaces (both layouts, failures,
// reconnection), the Connection dialog's rules and failure messages, and the
// command line.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QListWidget>
#include <QRadioButton>
#include <QtTest>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/archive.h"
#include "tests/common/file_size_limit.h"
#include "framework/recent_files.h"
#include "framework/serial_ports.h"
#include "framework/testing/command_prompts.h"
#include "framework/testing/layout_checks.h"
#include "framework/testing/menu_checks.h"
#include "slave/engine/autochange.h"
#include "framework/window_messages.h"
#include "platform/port_map.h"
#include "resources/vantor_resources.h"
#include "framework/traffic/traffic_monitor.h"
#include "slave/app/connection_dialog.h"
#include "slave/app/definition_dialog.h"
#include "slave/app/faults_dialog.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "slave/core/vnd_file.h"
#include "slave/core/vnw_file.h"
#include "vantor_test_support.h"

using namespace vantorres;

namespace {

// A loopback TCP port that was free a moment ago.
int FreePortNumber() {
  const int fd = ::socket(AF_INET6, SOCK_STREAM, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t size = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
  ::close(fd);
  return ntohs(a.sin6_port);
}

// A loopback port held by a listening socket, so that the server cannot bind it.
class BusyPort {
 public:
  BusyPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 1);
    socklen_t size = sizeof address;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
  }
  ~BusyPort() { ::close(fd_); }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class VantorShellTest : public QObject {
  Q_OBJECT

 private:
  // Two saved definitions in the program; returns their paths.
  QStringList twoSavedDocuments(VantorFixture& f) {
    CVantorDoc* first = f.doc();
    first->applyDefinition(3, 3, 100, 20);
    first->editRegister(5, 1234, false);
    const QString firstPath = f.dir.filePath(QStringLiteral("first.vnd"));
    if (!first->saveTo(firstPath)) return {};
    auto* second = static_cast<CVantorDoc*>(f.frame()->newDocument());
    second->applyDefinition(4, 1, 0, 16);
    second->editCoil(2, 1, true);
    const QString secondPath = f.dir.filePath(QStringLiteral("second.vnd"));
    if (!second->saveTo(secondPath)) return {};
    f.frame()->frameOf(second)->setGeometry(30, 40, 350, 260);
    return {firstPath, secondPath};
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void workspaceRoundTrip() {
    VantorFixture f;
    QVERIFY(f.start());
    const QStringList paths = twoSavedDocuments(f);
    QCOMPARE(paths.size(), 2);
    const QRect secondRect = f.frame()->frameOf(f.frame()->documents().at(1))->geometry();
    f.app()->settings().baudRate = 8;
    f.app()->settings().parity = 2;
    const QString workspace = f.dir.filePath(QStringLiteral("resume.vnw"));
    f.files.script({workspace});
    f.frame()->action(ID_SAVE_WORKSPACE)->trigger();
    QCOMPARE(f.files.count(), 1);
    const fw::FileDialogRequest request = f.files.requests().first();
    QVERIFY(request.save);
    QCOMPARE(request.title, QStringLiteral("Save workspace"));
    QCOMPARE(request.filter, QStringLiteral("vantor workspace (*.vnw)|*.vnw||"));
    QCOMPARE(request.defaultExtension, QStringLiteral("vnw"));
    QCOMPARE(request.initialName, QStringLiteral("resume"));
    QCOMPARE(f.boxes.count(), 0);
    const QByteArray bytes = FileBytes(workspace);
    QCOMPARE(bytes.size(), 4 + 52 + 44 + 2 * 560);
    QCOMPARE(bytes.mid(0, 4), QByteArray::fromHex("b80b0000"));  // 3000

    // A fresh program opens it from the menu: settings, documents, placements.
    QVERIFY(f.restart());
    f.files.script({workspace});
    f.frame()->action(ID_OPEN_WORKSPACE)->trigger();
    QCOMPARE(f.files.requests().last().title, QStringLiteral("Open workspace"));
    QCOMPARE(f.files.requests().last().initialName, QStringLiteral("resume"));
    QCOMPARE(f.boxes.count(), 0);
    const QList<fw::Document*> documents = f.frame()->documents();
    QCOMPARE(documents.size(), 2);
    QCOMPARE(documents.at(0)->path(), paths.at(0));
    QCOMPARE(documents.at(1)->path(), paths.at(1));
    auto* first = static_cast<CVantorDoc*>(documents.at(0));
    QCOMPARE(first->slaveId(), 3);
    QCOMPARE(autochange::ImageRegister(first->image(), 5), std::uint16_t(1234));
    QVERIFY(first->slot() >= 0);
    QCOMPARE(f.frame()->frameOf(documents.at(1))->geometry(), secondRect);
    QCOMPARE(f.app()->settings().baudRate, 8);
    QCOMPARE(f.app()->settings().parity, 2);
    QVERIFY(!f.app()->isConnected());
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("Port 1: 115200-8-E-1"));
    QVERIFY(f.frame()->recentFiles()->files().contains(workspace));
    // The dialogs propose the name chosen last.
    f.frame()->action(ID_SAVE_WORKSPACE)->trigger();
    QCOMPARE(f.files.requests().last().initialName, workspace);
  }

  void workspaceWithAnotherExtensionIsRefusedWithAMessage() {
    VantorFixture f;
    QVERIFY(f.start());
    twoSavedDocuments(f);
    const QString path = f.dir.filePath(QStringLiteral("resume.txt"));
    f.files.script({path});
    f.frame()->action(ID_SAVE_WORKSPACE)->trigger();
    QVERIFY(!QFile::exists(path));
    QCOMPARE(f.boxes.texts(), QStringList{QString::fromLatin1(kWrongWorkspaceExtension)});
  }

  void failedWorkspaceSaveKeepsThePreviousFile() {
    VantorFixture f;
    QVERIFY(f.start());
    twoSavedDocuments(f);
    const QString workspace = f.dir.filePath(QStringLiteral("keep.vnw"));
    QVERIFY(f.frame()->saveWorkspace(workspace));
    const QByteArray before = FileBytes(workspace);
    // A directory in the target's place and a missing directory: nothing is written.
    const QString blocked = f.dir.filePath(QStringLiteral("blocked.vnw"));
    QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("blocked.vnw")));
    QVERIFY(!f.frame()->saveWorkspace(blocked));
    QVERIFY(!f.frame()->saveWorkspace(f.dir.filePath(QStringLiteral("no/such/dir.vnw"))));
    QCOMPARE(f.boxes.texts(), (QStringList{QStringLiteral("File open error"), QStringLiteral("File open error")}));
    QCOMPARE(FileBytes(workspace), before);
    // The same target failing halfway (its temporary file cannot be written):
    // "Disk full or disk error", and the previous workspace is intact.
    f.frame()->documents().at(0)->setModified(false);
    {
      FileSizeLimit full(16);
      QVERIFY(!f.frame()->saveWorkspace(workspace));
    }
    QCOMPARE(f.boxes.lastText(), QStringLiteral("Disk full or disk error"));
    QCOMPARE(FileBytes(workspace), before);
    // A document save that fails keeps the previous document file.
    CVantorDoc* doc = f.doc();
    const QString docPath = doc->path();
    const QByteArray docBefore = FileBytes(docPath);
    doc->editRegister(0, 999, false);
    {
      FileSizeLimit full(16);
      QVERIFY(!doc->saveTo(docPath));
    }
    QCOMPARE(FileBytes(docPath), docBefore);
    // No temporary file is left behind either.
    QCOMPARE(QDir(f.dir.path()).entryList(QStringList{QStringLiteral("*~")}, QDir::Files), QStringList{});
  }

  void olderWorkspaceLayoutIsRead() {
    VantorFixture f;
    QVERIFY(f.start());
    const QStringList paths = twoSavedDocuments(f);
    f.app()->settings().uid = 1;
    // Version 2000: a 48-byte settings block (no UID), then the placement and records.
    archive::Writer w;
    w.int32(2000);
    for (std::int32_t v : {3, 4, 0, 1, 1, 1000, 1, 0, 0, 1, 5, 0}) w.int32(v);
    w.placement(archive::WindowPlacement{44, 0, 1, -1, -1, -1, -1, 10, 10, 700, 500});
    w.placement(archive::WindowPlacement{44, 0, 1, -1, -1, -1, -1, 5, 5, 305, 205});
    w.fixedString("Vantor1", 256);
    w.fixedString(paths.at(0).toStdString(), 260);
    const QString path = f.dir.filePath(QStringLiteral("old.vnw"));
    std::string error;
    QVERIFY(archive::WriteFileAtomically(path.toStdString(), w.bytes(), &error));
    QVERIFY(f.frame()->loadWorkspace(path, true));
    QCOMPARE(f.boxes.count(), 0);
    const slavesettings::SlaveSettings& s = f.app()->settings();
    QCOMPARE(s.port, 3);
    QCOMPARE(s.baudRate, 4);
    QCOMPARE(s.dataBits, 0);
    QCOMPARE(s.parity, 1);
    QCOMPARE(s.stopBits, 1);
    QCOMPARE(s.dtrDsr, 1);
    QCOMPARE(s.rtuAscii, 1);
    QCOMPARE(s.clrRtsDelay, 5);
    QCOMPARE(s.uid, 1);  // not in the older block: keeps its value
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("Port 4: 19200-7-O-2"));
    QCOMPARE(f.frame()->documents().size(), 1);
    QCOMPARE(static_cast<CVantorDoc*>(f.frame()->documents().first())->slaveId(), 3);
  }

  void workspaceErrors() {
    VantorFixture f;
    QVERIFY(f.start());
    const QString missing = f.dir.filePath(QStringLiteral("missing.vnw"));
    QVERIFY(!f.frame()->loadWorkspace(missing, true));
    QCOMPARE(f.boxes.lastText(), missing + QStringLiteral(" was not found"));
    archive::Writer w;
    w.int32(2999);
    w.zeros(100);
    const QString bad = f.dir.filePath(QStringLiteral("bad.vnw"));
    std::string error;
    QVERIFY(archive::WriteFileAtomically(bad.toStdString(), w.bytes(), &error));
    QVERIFY(!f.frame()->loadWorkspace(bad, true));
    QCOMPARE(f.boxes.lastText(), QStringLiteral("File format error"));
    QCOMPARE(f.frame()->documents().size(), 1);  // nothing was closed
    // A truncated header changes nothing and says nothing.
    archive::Writer shortFile;
    shortFile.int32(3000);
    shortFile.int32(8);
    const QString truncated = f.dir.filePath(QStringLiteral("short.vnw"));
    QVERIFY(archive::WriteFileAtomically(truncated.toStdString(), shortFile.bytes(), &error));
    const int boxes = f.boxes.count();
    QVERIFY(!f.frame()->loadWorkspace(truncated, true));
    QCOMPARE(f.boxes.count(), boxes);
    QCOMPARE(f.app()->settings().port, 0);
  }

  void workspaceSavedWhileConnectedReconnects() {
    VantorFixture f;
    QVERIFY(f.start());
    twoSavedDocuments(f);
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    f.app()->setListen(QStringLiteral("127.0.0.1"), port);  // reopen on the same port
    const QString workspace = f.dir.filePath(QStringLiteral("live.vnw"));
    QVERIFY(f.frame()->saveWorkspace(workspace));
    f.frame()->action(ID_DISCONNECT)->trigger();
    QVERIFY(!f.app()->isConnected());
    f.files.script({workspace});
    f.frame()->action(ID_OPEN_WORKSPACE)->trigger();
    QVERIFY(f.app()->isConnected());
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("TCP/IP Connection"));
    LibModbusMaster master(port, 3);
    QVERIFY(master.connected());
    QCOMPARE(master.registers(105, 1), std::vector<std::uint16_t>{1234});

    // From the command line the connection is made after the window is shown.
    f.program.reset();
    VantorCommandLine commandLine;
    commandLine.paths = {workspace};
    QVERIFY(f.restart(commandLine));
    QVERIFY(f.app()->isConnected());
    QCOMPARE(f.frame()->documents().size(), 2);
  }

  void connectionDialogEnablesByPortAndExcludesHandshakes() {
    VantorFixture f;
    QVERIFY(f.start());
    bool checked = false;
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      QCOMPARE(d->portList()->count(), 9);
      QCOMPARE(d->portList()->itemText(8), QStringLiteral("TCP/IP"));
      QCOMPARE(d->baudList()->currentText(), QStringLiteral("9600 Baud"));
      QVERIFY(d->rtsToggleBox()->isChecked());
      QVERIFY(d->baudList()->isEnabled());
      QVERIFY(!d->ignoreUnitIdBox()->isEnabled());
      QCOMPARE(d->devicePathEdit()->text(), QString::fromStdString(platform::SerialPortPath(1)));
      d->dsrBox()->click();
      QVERIFY(d->dsrBox()->isChecked());
      QVERIFY(!d->rtsToggleBox()->isChecked());
      d->ctsBox()->click();
      d->rtsToggleBox()->click();
      QVERIFY(!d->dsrBox()->isChecked());
      QVERIFY(!d->ctsBox()->isChecked());
      d->portList()->setCurrentIndex(8);
      for (QWidget* w : std::initializer_list<QWidget*>{d->baudList(), d->dataBitsList(), d->parityList(),
                                                        d->stopBitsList(), d->dsrBox(), d->ctsBox(),
                                                        d->rtsToggleBox(), d->rtsDelayEdit(), d->rtuButton(),
                                                        d->asciiButton()})
        QVERIFY(!w->isEnabled());
      QVERIFY(d->ignoreUnitIdBox()->isEnabled());
      QVERIFY(d->listenPortEdit()->isEnabled());
      d->portList()->setCurrentIndex(2);
      QVERIFY(d->baudList()->isEnabled());
      QVERIFY(!d->ignoreUnitIdBox()->isEnabled());
      // A bad delay keeps the dialog on the old port.
      d->rtsDelayEdit()->setText(QStringLiteral("11"));
      d->portList()->setCurrentIndex(8);
      QCOMPARE(d->portList()->currentIndex(), 2);
      checked = true;
      d->reject();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QVERIFY(checked);
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Please enter an integer between 0 and 10.")});
    QCOMPARE(f.app()->settings().port, 0);  // Cancel changes nothing
    QVERIFY(!f.app()->isConnected());
  }

  void connectionFailuresAreReportedAndNothingIsStored() {
    VantorFixture f;
    QVERIFY(f.start());
    // A serial port whose device does not exist.
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      d->devicePathEdit()->setText(f.dir.filePath(QStringLiteral("ttyNone")));
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QCOMPARE(f.boxes.count(), 1);
    QVERIFY(f.boxes.lastText().startsWith(QStringLiteral("Port not available")));
    QCOMPARE(f.boxes.calls().last().title, QStringLiteral("Connection"));
    QCOMPARE(f.boxes.calls().last().icon, fw::MsgIcon::Exclamation);
    QVERIFY(!f.app()->isConnected());
    QVERIFY(!fw::AppProfile().contains(QStringLiteral("CommSetup"), QStringLiteral("Port")));

    // A TCP port that is taken: the failure with the system's reason.
    BusyPort busy;
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      d->portList()->setCurrentIndex(8);
      d->listenAddressEdit()->setText(QStringLiteral("127.0.0.1"));
      d->listenPortEdit()->setText(QString::number(busy.port()));
      d->ignoreUnitIdBox()->setChecked(true);
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QCOMPARE(f.boxes.count(), 2);
    QVERIFY(f.boxes.lastText().startsWith(QStringLiteral("Modbus/TCP Connection Failed.")));
    QVERIFY(f.boxes.lastText().size() > QStringLiteral("Modbus/TCP Connection Failed.").size());
    QVERIFY(!f.app()->isConnected());
    QVERIFY(!fw::AppProfile().contains(QStringLiteral("CommSetup"), QStringLiteral("UID")));
    // The record keeps what was entered: quick connect retries it.
    QCOMPARE(f.app()->settings().port, 8);
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("TCP/IP Connection"));

    // A free port: connected, and the dialog's settings are stored, UID among them.
    int freePort = 0;
    {
      BusyPort probe;
      freePort = probe.port();
    }
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      QCOMPARE(d->portList()->currentIndex(), 8);
      QVERIFY(d->ignoreUnitIdBox()->isChecked());
      d->listenPortEdit()->setText(QStringLiteral("0"));  // refused: 1..65535
      d->accept();
      QVERIFY(d->isVisible());
      d->listenPortEdit()->setText(QString::number(freePort));
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QVERIFY(f.app()->isConnected());
    QVERIFY(f.frame()->action(ID_DISCONNECT)->isEnabled());
    QVERIFY(!f.frame()->action(ID_CONNECT)->isEnabled());
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("UID"), 0), 1);
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("Port"), 0), 8);
    QVERIFY(slaveengine::GetIgnoreUnitId());
    LibModbusMaster master(slavetcp::ListeningPort(), 99);  // any unit id is served
    QVERIFY(master.connected());
    QCOMPARE(master.registers(0, 2), (std::vector<std::uint16_t>{0, 0}));
  }

  // RTU over TCP on IPv6 loopback from the dialog: the status bar names it, the
  // transport is stored apart from the record, and an RTU frame is answered.
  void networkTransportsFromTheDialog() {
    VantorFixture f;
    QVERIFY(f.start());
    QVERIFY(f.frame()->servingPaneText().isEmpty());
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      d->portList()->setCurrentIndex(8);
      QVERIFY(d->transportList()->isEnabled());
      QCOMPARE(d->transportList()->count(), 3);
      d->transportList()->setCurrentIndex(slavesettings::kTransportRtuOverTcp);
      d->listenAddressEdit()->setText(QStringLiteral("[::1"));  // refused: not an address
      d->accept();
      QVERIFY(d->isVisible());
      d->listenAddressEdit()->setText(QStringLiteral("::1"));
      d->listenPortEdit()->setText(QString::number(FreePortNumber()));
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QCOMPARE(f.boxes.texts(),
             QStringList{QString::fromLatin1(vantorres::kBadListenAddress)});
    QVERIFY(f.app()->isConnected());
    QCOMPARE(slavetcp::ServedFraming(), slavetcp::Framing::kRtu);
    const QString expected = QStringLiteral("RTU over TCP [::1]:%1").arg(slavetcp::ListeningPort());
    QCOMPARE(f.frame()->servingPaneText(), expected);
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("TCP/IP Connection"));
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("ListenTransport"), -1), 1);
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("Port"), 0), 8);

    // Back to Modbus/TCP: the extra key goes, the profile is as older versions wrote it.
    f.frame()->action(ID_DISCONNECT)->trigger();
    QVERIFY(f.frame()->servingPaneText().isEmpty());
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      QCOMPARE(d->transportList()->currentIndex(), slavesettings::kTransportRtuOverTcp);
      d->transportList()->setCurrentIndex(slavesettings::kTransportModbusTcp);
      d->listenAddressEdit()->setText(QStringLiteral("127.0.0.1"));
      d->accept();
    });
    f.frame()->action(ID_CONNECT)->trigger();
    QVERIFY(f.app()->isConnected());
    QCOMPARE(f.frame()->servingPaneText(), QStringLiteral("Modbus/TCP 127.0.0.1:%1").arg(slavetcp::ListeningPort()));
    QVERIFY(!fw::AppProfile().contains(QStringLiteral("CommSetup"), QStringLiteral("ListenTransport")));
  }

  void communicationWindowShowsTheMastersTraffic() {
    VantorFixture f;
    QVERIFY(f.start());
    QAction* communication = f.frame()->action(ID_COMMUNICATION);
    QVERIFY(communication->isEnabled());
    communication->trigger();
    auto* monitor = linkui::TrafficMonitorDialog::instance();
    QVERIFY(monitor != nullptr);
    QVERIFY(monitor->isVisible());
    QVERIFY(!communication->isEnabled());  // one monitor at a time
    f.doc()->editRegister(1, 0x1234, false);
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QCOMPARE(master.registers(1, 1), std::vector<std::uint16_t>{0x1234});
    QTRY_COMPARE(monitor->list()->count(), 2);
    // libmodbus numbers its first transaction 0 (or 1, depending on the version): compare from the length field.
    QVERIFY(monitor->lines().at(0).contains(QStringLiteral("-Rx:00 ")));
    QVERIFY(monitor->lines().at(0).endsWith(QStringLiteral("00 00 00 06 01 03 00 01 00 01 ")));
    QVERIFY(monitor->lines().at(1).endsWith(QStringLiteral("00 00 00 05 01 03 02 12 34 ")));
    QPointer<linkui::TrafficMonitorDialog> guard(monitor);
    QTest::keyClick(monitor, Qt::Key_Escape);  // Esc closes like "&Exit"
    QTRY_VERIFY(guard.isNull());
    QTRY_VERIFY(communication->isEnabled());
  }

  void faultsOfTheActiveDefinitionReachTheMasterAndTheStatusBar() {
    VantorFixture f;
    QVERIFY(f.start());
    QVERIFY(!f.frame()->faultsPaneShown());
    bool badValueKeptOpen = false;
    WhenDialogOpens<FaultsDialog>([&](FaultsDialog* d) {
      d->dropEdit()->setText(QStringLiteral("150"));
      d->accept();
      badValueKeptOpen = d->isVisible() && f.boxes.lastText().contains(QStringLiteral("bad drop rate"));
      d->dropEdit()->clear();
      d->exceptionEdit()->setText(QStringLiteral("4@0-4"));
      d->seedEdit()->setText(QStringLiteral("77"));
      d->accept();
    });
    f.frame()->action(ID_FAULTS)->trigger();
    QVERIFY(badValueKeptOpen);
    QVERIFY(f.frame()->faultsPaneShown());
    QCOMPARE(fw::AppProfile().readString(QStringLiteral("Faults"), QStringLiteral("Seed"), QString()),
             QStringLiteral("77"));

    f.frame()->action(ID_COMMUNICATION)->trigger();
    auto* monitor = linkui::TrafficMonitorDialog::instance();
    QVERIFY(monitor != nullptr);
    // A new definition registers a new slot: the faults go along with it.
    f.doc()->applyDefinition(1, 3, 0, 20);
    f.doc()->editRegister(5, 0x0055, false);
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.registers(4, 2).empty());  // touches address 4: exception 4
    QTRY_COMPARE(monitor->list()->count(), 2);
    QVERIFY(monitor->lines().at(1).endsWith(QStringLiteral("01 83 04 [fault: exception]")));
    QCOMPARE(master.registers(5, 1), std::vector<std::uint16_t>{0x0055});
    QTRY_COMPARE(monitor->list()->count(), 4);
    QVERIFY(!monitor->lines().at(3).contains(QStringLiteral("fault")));

    // The faults go with the window.
    f.doc()->setModified(false);
    f.frame()->fileClose();
    QTRY_VERIFY(!f.frame()->faultsPaneShown());
  }

  void functionKeysRunTheirCommands() {
    VantorFixture f;
    QVERIFY(f.start());
    QApplication::setActiveWindow(f.frame());
    bool definitionShown = false, connectionShown = false;
    WhenDialogOpens<DefinitionDialog>([&](DefinitionDialog* d) {
      definitionShown = true;
      d->reject();
    });
    QTest::keyClick(f.frame(), Qt::Key_F2);
    QVERIFY(definitionShown);
    WhenDialogOpens<ConnectionDialog>([&](ConnectionDialog* d) {
      connectionShown = true;
      d->reject();
    });
    QApplication::setActiveWindow(f.frame());  // the closed dialog took the activation along
    QTest::keyClick(f.frame(), Qt::Key_F3);
    QVERIFY(connectionShown);
    // F5 quick-connects with the current settings, F4 disconnects.
    f.chooseLoopbackTcp();
    QApplication::setActiveWindow(f.frame());
    QTest::keyClick(f.frame(), Qt::Key_F5);
    QVERIFY(f.app()->isConnected());
    QTest::keyClick(f.frame(), Qt::Key_F4);
    QVERIFY(!f.app()->isConnected());
  }

  void shellCommandsAndRememberedState() {
    VantorFixture f;
    QVERIFY(f.start());
    // The title carries the document only: the desktop appends "Vantor" itself.
    QVERIFY(f.doc() != nullptr);
    QCOMPARE(f.frame()->windowTitle(), f.doc()->title() + QStringLiteral("[*]"));
    QCOMPARE(f.frame()->recentFiles()->maxEntries(), 4);
    QVERIFY(f.frame()->action(ID_AUTO_ENABLE)->isEnabled());
    QVERIFY(!f.frame()->action(ID_AUTO_DISABLE)->isEnabled());
    f.frame()->action(ID_AUTO_ENABLE)->trigger();
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("CommSetup"), QStringLiteral("AutoEnable"), 0), 1);
    QVERIFY(f.frame()->action(ID_AUTO_DISABLE)->isEnabled());
    QVERIFY(!f.frame()->alwaysOnTop());
    f.frame()->action(ID_ALWAYS_ON_TOP)->trigger();
    QVERIFY(f.frame()->alwaysOnTop());
    QVERIFY(f.frame()->action(ID_ALWAYS_ON_TOP)->isChecked());
    QCOMPARE(fw::AppProfile().readInt(QStringLiteral("View"), QStringLiteral("AlwaysOnTop"), 0), 1);
    f.frame()->action(ID_APP_ABOUT)->trigger();
    QVERIFY(f.boxes.lastText().startsWith(QStringLiteral("Vantor Version ")));

    // Auto Connect at the next start: connected with the stored settings, and the window on top again.
    fw::AppProfile().writeInt(QStringLiteral("CommSetup"), QStringLiteral("Port"), 8);
    fw::AppProfile().writeString(QStringLiteral("CommSetup"), QStringLiteral("ListenAddress"),
                                 QStringLiteral("127.0.0.1"));
    int freePort = 0;
    {
      BusyPort probe;
      freePort = probe.port();
    }
    fw::AppProfile().writeInt(QStringLiteral("CommSetup"), QStringLiteral("ListenPort"), freePort);
    fw::AppProfile().sync();
    QVERIFY(f.restart());
    QVERIFY(f.app()->isConnected());
    QCOMPARE(static_cast<int>(slavetcp::ListeningPort()), freePort);
    QVERIFY(f.frame()->alwaysOnTop());
  }

  void serialPortsDialogStoresTheChosenDevices() {
    VantorFixture f;
    QVERIFY(f.start());
    platform::SetSerialPortPath(1, "");  // earlier tests point it at their own devices
    int rows = 0;
    WhenDialogOpens<QDialog>([&](QDialog* d) {
      auto* map = d->findChild<fw::SerialPortMapWidget*>();
      if (map == nullptr) return d->reject();
      rows = map->portCount();
      map->box(2)->lineEdit()->setText(QStringLiteral("/dev/pts/77"));
      d->accept();
    });
    f.frame()->action(ID_PORT_PATHS)->trigger();
    QCOMPARE(rows, 8);
    QCOMPARE(platform::SerialPortPath(2), std::string("/dev/pts/77"));
    QCOMPARE(fw::AppProfile().readString(QStringLiteral("Ports"), QStringLiteral("Port2")), QStringLiteral("/dev/pts/77"));
    QVERIFY(!fw::AppProfile().contains(QStringLiteral("Ports"), QStringLiteral("Port1")));  // the default
    platform::SetSerialPortPath(2, "");
  }

  void documentReopensAtItsSavedPlacement() {
    VantorFixture f;
    QVERIFY(f.start());
    f.frame()->resize(900, 700);
    fw::ChildFrame* frame = f.frame()->frameOf(f.doc());
    frame->setGeometry(25, 35, 333, 222);
    const QRect saved = frame->geometry();
    const QString path = f.dir.filePath(QStringLiteral("placed.vnd"));
    QVERIFY(f.doc()->saveTo(path));
    f.frame()->action(ID_FILE_CLOSE)->trigger();
    QTRY_COMPARE(f.frame()->documents().size(), 0);
    QVERIFY(f.frame()->openDocument(path) != nullptr);
    QCOMPARE(f.frame()->frameOf(f.doc())->geometry(), saved);
    QVERIFY(f.frame()->recentFiles()->files().contains(path));
  }

  // The demo workspace of ./run.sh puts vantor's main window and its three
  // definition windows fully on a 1280 x 800 screen, with room for the desktop's frame.
  void demoWorkspaceFitsTheScreen() {
    VantorFixture f;
    QProcess maker;
    maker.start(QStringLiteral(DEMO_MAKER), {f.dir.path(), QStringLiteral("127.0.0.1"), QStringLiteral("1502")});
    QVERIFY(maker.waitForFinished(20000));
    QCOMPARE(maker.exitCode(), 0);
    QVERIFY(f.start());
    QVERIFY(f.frame()->loadWorkspace(f.dir.filePath(QStringLiteral("demo.vnw")), false));
    QCoreApplication::processEvents();
    QCOMPARE(f.frame()->documents().size(), 3);
    const QStringList problems = fw::testing::OffScreenParts(*f.frame(), QRect(0, 0, 1280, 800), 40);
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
  }

  // A definition whose address would overflow the labels is refused on opening,
  // with the text of any unreadable definition file.
  void documentWithAnAddressOutOfRangeIsRefused() {
    VantorFixture f;
    QVERIFY(f.start());
    vnd::VndDocument far;
    far.address = 0x7FFFFFFF;
    const QString path = f.dir.filePath(QStringLiteral("far.vnd"));
    std::string error;
    QVERIFY(archive::WriteFileAtomically(path.toStdString(), vnd::EncodeVnd(far), &error));
    const int before = f.frame()->documents().size();
    QVERIFY(f.frame()->openDocument(path) == nullptr);
    QCOMPARE(f.boxes.lastText(), QString::fromLatin1(vnd::VndResultText(vnd::VndResult::Truncated)));
    QCOMPARE(f.frame()->documents().size(), before);
  }

  void commandLineOptions() {
    VantorCommandLine parsed = ParseVantorCommandLine({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:1502"),
                                                      QStringLiteral("/tmp/demo.vnw")});
    QVERIFY(parsed.error.isEmpty());
    QCOMPARE(parsed.listenAddress, QStringLiteral("127.0.0.1"));
    QCOMPARE(parsed.listenPort, 1502);
    QCOMPARE(parsed.paths, QStringList{QStringLiteral("/tmp/demo.vnw")});
    QVERIFY(!ParseVantorCommandLine({QStringLiteral("--listen"), QStringLiteral("1502")}).error.isEmpty());
    QVERIFY(!ParseVantorCommandLine({QStringLiteral("--listen"), QStringLiteral("x:70000")}).error.isEmpty());
    QVERIFY(!ParseVantorCommandLine({QStringLiteral("--bogus")}).error.isEmpty());

    // An unreadable document on the command line ends start-up.
    VantorFixture f;
    VantorCommandLine commandLine;
    commandLine.paths = {f.dir.filePath(QStringLiteral("absent.vnd"))};
    QVERIFY(!f.start(commandLine));

    // Several files, as a file manager hands them over: each opens, and an
    // unreadable one among them is skipped.
    VantorFixture g;
    QVERIFY(g.start());
    const QStringList saved = twoSavedDocuments(g);
    QCOMPARE(saved.size(), 2);
    VantorCommandLine several;
    several.paths = {saved[0], g.dir.filePath(QStringLiteral("absent.vnd")), saved[1]};
    QVERIFY(g.restart(several));
    QCOMPARE(g.frame()->documents().size(), 2);
  }

  void everyMenuCommandShowsItsPrompt() {
    VantorFixture f;
    QVERIFY(f.start());
    CMainFrame* frame = f.frame();
    QCOMPARE(fw::testing::CommandsWithoutPrompt(frame), QStringList());
    QCOMPARE(fw::testing::StatusTextWhileHovered(frame, frame->action(ID_COMMUNICATION)),
             QStringLiteral("Display communication traffic"));
    QCOMPARE(fw::testing::StatusTextWhileHovered(frame, frame->action(ID_SLAVE_DEFINITION)),
             QStringLiteral("Define the slave of the active window"));
    QCOMPARE(frame->action(ID_DISCONNECT)->toolTip(), QStringLiteral("Disconnect (F4)"));
    QCOMPARE(fw::testing::ToolbarButtonsWithoutOwnImage(frame), QStringList());
  }

  void windowMenuListsTheWindowsAndNoMenuRepeatsAnAltLetter() {
    VantorFixture f;
    QVERIFY(f.start());
    CMainFrame* frame = f.frame();
    fw::Document* first = frame->activeDocument();
    fw::Document* second = frame->newDocument();
    QTRY_COMPARE(frame->activeDocument(), second);
    auto shown = [frame] {
      QStringList lines;
      for (QAction* entry : fw::testing::EntriesAfter(frame, frame->action(ID_WINDOW_ARRANGE)))
        lines << entry->text() + (entry->isChecked() ? " (active)" : "");
      return lines;
    };
    const QString one = "&1 " + first->title(), two = "&2 " + second->title();
    QCOMPARE(shown(), (QStringList{one, two + " (active)"}));
    fw::testing::EntriesAfter(frame, frame->action(ID_WINDOW_ARRANGE)).value(0)->trigger();
    QCOMPARE(frame->activeDocument(), first);
    QCOMPARE(shown(), (QStringList{one + " (active)", two}));
    // "Sa&ve Workspace..." and "Print Pre&view" keep their established letters.
    const QStringList clashes =
        fw::testing::DuplicateMnemonics(frame, {{QString(kSaveWorkspace), QString(kFilePrintPreview)}});
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(" | ")));
  }
};

QTEST_MAIN(VantorShellTest)
#include "vantor_shell_test.moc"
