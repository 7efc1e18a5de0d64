// The test center window against real peers: RTU and ASCII frames with their
// CRC and LRC to a pymodbus server on a pty line, Modbus/TCP frames to headless
// vantor (whose traffic output shows what arrived), the Send rules, the list
// files and the profile settings.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "common/baud_table.h"
#include "framework/traffic/traffic_view_options.h"
#include "gui_test_support.h"
#include "master/core/test_center.h"
#include "master/app/test_center_dialog.h"
#include "master/engine/comm_interface.h"
#include "peer_server.h"
#include "platform/port_map.h"
#include "pty_bridge.h"
#include "vantor_peer.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace res = zelmor::res;

namespace {

// Sends the entry's text and waits for the completion.
bool SendAndWait(CTestCenterDlg& dialog, const QString& frame) {
  dialog.frameEntry()->setEditText(frame);
  dialog.sendButton()->click();
  return QTest::qWaitFor([&] { return !dialog.isSending(); }, 10000);
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TestCenterTest : public QObject {
  Q_OBJECT

 private slots:
  void serialFramesWithTheirChecks_data();
  void serialFramesWithTheirChecks();
  void tcpFramesAndTheSendRules();
  void listFilesCopyAndProfile();
  void viewOptionsComeBackWithTheNextWindow();
};

void TestCenterTest::serialFramesWithTheirChecks_data() {
  QTest::addColumn<QString>("framing");
  QTest::addColumn<QString>("frame");
  QTest::addColumn<QStringList>("lines");
  // The peer answers only a frame whose check is right.
  QTest::newRow("rtu crc") << "rtu" << "01 03 00 00 00 01"
                           << QStringList{"000-Tx:01 03 00 00 00 01 84 0A ", "001-Rx:01 03 02 00 00 B8 44 "};
  // ":010300000001" typed as its characters, then LRC "FB" and CR LF.
  QTest::newRow("ascii lrc") << "ascii" << "3A,30,31,30,33,30,30,30,30,30,30,30,31"
                             << QStringList{"000-Tx:3A 30 31 30 33 30 30 30 30 30 30 30 31 46 42 0D 0A ",
                                            "001-Rx:3A 30 31 30 33 30 32 30 30 30 30 46 41 0D 0A "};
}

void TestCenterTest::serialFramesWithTheirChecks() {
  QFETCH(QString, framing);
  QFETCH(QString, frame);
  QFETCH(QStringList, lines);
  PtyBridge line;
  QVERIFY2(line.ok(), "no pseudo-terminals available");
  PeerServer peer;
  QVERIFY2(peer.startSerial(framing, QString::fromStdString(line.pathA())), qPrintable(peer.error()));

  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.doc()->takeDefinition({1, 2, 10, 1000, 1, 0});  // the window stays quiet on the line
  platform::SetSerialPortPath(1, line.pathB());
  zelmor::CommSettings s;
  s.baudIndex = baudtable::IndexForBaudRate(19200);
  s.parity = 0;
  s.rtsToggle = 0;
  s.asciiMode = framing == "ascii" ? 1 : 0;
  QVERIFY2(fx.quickConnect(s), qPrintable(fx.boxes->lastText()));
  {
    CTestCenterDlg dialog(true, framing == "ascii" ? zelmor::kCheckLrc : zelmor::kCheckCrc);
    dialog.show();
    QVERIFY(SendAndWait(dialog, frame));
    QCOMPARE(dialog.trafficLines(), lines);
  }
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  platform::SetSerialPortPath(1, "");
  peer.stop();
}

void TestCenterTest::tcpFramesAndTheSendRules() {
  VantorPeer vantor;
  QVERIFY(vantor.start());
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.doc()->takeDefinition({1, 2, 10, 1000, 1, 0});
  QVERIFY2(fx.connectTcp(vantor.port()), qPrintable(fx.boxes->lastText()));
  fx.frame()->updateCommandUI();
  QVERIFY(fx.frame()->action(res::ID_FUNCTIONS_TEST_CENTER)->isEnabled());

  CTestCenterDlg dialog(false, zelmor::kCheckCrc);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  // The whole Modbus/TCP frame as typed, sent by the Return key (Send is the default button).
  QLineEdit* edit = dialog.frameEntry()->lineEdit();
  QTest::keyClicks(edit, "00 01 00 00 00 06 01 03 00 00 00 02");
  QTest::keyClick(edit, Qt::Key_Return);
  QCOMPARE(dialog.trafficLines(), QStringList{"000-Tx:00 01 00 00 00 06 01 03 00 00 00 02 "});
  QVERIFY(!dialog.sendButton()->isEnabled());  // until the completion
  QTRY_VERIFY_WITH_TIMEOUT(dialog.sendButton()->isEnabled(), 10000);
  QCOMPARE(dialog.trafficLines().value(1), QString("001-Rx:00 01 00 00 00 07 01 03 04 00 00 00 00 "));
  QTRY_VERIFY_WITH_TIMEOUT(vantor.traffic().contains("-Rx:00 01 00 00 00 06 01 03 00 00 00 02 \n"), 5000);

  // Conversion errors: the message, then the offending character selected; nothing sent.
  for (auto [text, position] : {std::pair{"01  03", 3}, std::pair{"1 03", 1}, std::pair{"", 0}}) {
    fx.boxes->clear();
    dialog.frameEntry()->setEditText(text);
    dialog.sendButton()->click();
    QCOMPARE(fx.boxes->texts(), QStringList{"Error in string"});
    QCOMPARE(edit->selectionStart(), QString(text).isEmpty() ? -1 : position);
    QCOMPARE(dialog.trafficLines().size(), 2);
    QVERIFY(dialog.sendButton()->isEnabled());
  }

  // Another one-shot request holds the slot: no Tx line, the dialog says why.
  QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 16, 0, 0, 0, 1));
  dialog.frameEntry()->setEditText("00 02 00 00 00 06 01 03 00 00 00 01");
  dialog.sendButton()->click();
  QCOMPARE(dialog.trafficLines().size(), 2);
  QCOMPARE(dialog.statusLabel()->text(), QString(res::text::kTestCenterBusy));
  QVERIFY(dialog.sendButton()->isEnabled());
  me::UnregisterPoll(0);

  // Copy: the selected lines without their trailing blank, each ending in CR LF.
  dialog.trafficList()->item(0)->setSelected(true);
  dialog.trafficList()->item(1)->setSelected(true);
  dialog.copyButton()->click();
  QCOMPARE(QApplication::clipboard()->text(),
           QString("000-Tx:00 01 00 00 00 06 01 03 00 00 00 02\r\n001-Rx:00 01 00 00 00 07 01 03 04 00 00 00 00\r\n"));
  dialog.trafficList()->clearSelection();
  dialog.copyButton()->click();
  QCOMPARE(fx.boxes->lastText(), QString("No string selected"));

  // The list keeps 101 lines: the 102nd pushes out the first.
  for (int i = 0; i < 50; ++i) QVERIFY(SendAndWait(dialog, "00 03 00 00 00 06 01 03 00 00 00 01"));
  QStringList all = dialog.trafficLines();
  QCOMPARE(all.size(), 101);
  QVERIFY2(all.first().startsWith("001-Rx:"), qPrintable(all.first()));
  QVERIFY2(all.last().startsWith("101-Rx:00 03 "), qPrintable(all.last()));

  // The link closes while a frame waits (the poll thread has not reached it):
  // Send comes back, and the frame is withdrawn so the slot is free again.
  me::StopPolling();
  dialog.frameEntry()->setEditText("00 04 00 00 00 06 01 03 00 00 00 01");
  dialog.sendButton()->click();
  QVERIFY(dialog.isSending());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(dialog.sendButton()->isEnabled(), 5000);
  QCOMPARE(dialog.statusLabel()->text(), QString(res::text::kTestCenterLinkClosed));
  QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 3, 0, 1, 0, 0));
  me::UnregisterPoll(0);
  // Without a link nothing is handed over.
  dialog.sendButton()->click();
  QCOMPARE(dialog.statusLabel()->text(), QString(res::text::kTestCenterNoLink));
  QVERIFY(!dialog.isSending());
  fx.frame()->updateCommandUI();
  QVERIFY(!fx.frame()->action(res::ID_FUNCTIONS_TEST_CENTER)->isEnabled());
}

void TestCenterTest::listFilesCopyAndProfile() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  // The profile's settings come in; the close box takes the controls' state back.
  fx.profile().writeInt("TestCenter", "AddCheck", 1);
  fx.profile().writeInt("TestCenter", "CRCLRC", 1);
  WhenModal<CTestCenterDlg>([](CTestCenterDlg* d) {
    QVERIFY(d->addCheckBox()->isChecked());
    QVERIFY(d->lrcButton()->isChecked());
    d->crcButton()->setChecked(true);
    d->close();
  });
  RunTestCenter(fx.frame());
  QCOMPARE(fx.profile().readInt("TestCenter", "CRCLRC", -1), 0);
  QCOMPARE(fx.profile().readInt("TestCenter", "AddCheck", -1), 1);
  // "&Exit" ends without taking the controls: the values stay as last taken.
  WhenModal<CTestCenterDlg>([](CTestCenterDlg* d) {
    QVERIFY(d->crcButton()->isChecked());
    d->addCheckBox()->setChecked(false);
    d->exitButton()->click();
  });
  RunTestCenter(fx.frame());
  QCOMPARE(fx.profile().readInt("TestCenter", "AddCheck", -1), 1);

  CTestCenterDlg dialog(false, 0);
  QLineEdit* edit = dialog.frameEntry()->lineEdit();
  QTest::keyClicks(edit, "0a,1b");
  QCOMPARE(edit->text(), QString("0A,1B"));  // typed letters become capitals
  dialog.frameEntry()->setEditText("01 03");
  dialog.addToListButton()->click();
  dialog.frameEntry()->setEditText("");
  dialog.addToListButton()->click();
  dialog.frameEntry()->setEditText("01 0a");  // as a file might hold it
  dialog.addToListButton()->click();
  dialog.addToListButton()->click();  // duplicates are kept
  const QString path = fx.path("testdata.txt");
  fx.files->script({path});
  dialog.saveListButton()->click();
  QCOMPARE(FileBytes(path), QByteArray("TestCenter\r\n01 03\r\n\r\n01 0a\r\n01 0a\r\n"));
  const fw::FileDialogRequest request = fx.files->requests().last();
  QVERIFY(request.save);
  QCOMPARE(request.filter, QString("modbus test. data (*.txt)|*.txt||"));
  QCOMPARE(request.defaultExtension, QString("txt"));
  QCOMPARE(request.initialName, QString("testdata"));

  // A list edited on Linux (LF only) loads; the first entry goes into the edit field.
  QFile lf(fx.path("lf.txt"));
  QVERIFY(lf.open(QIODevice::WriteOnly));
  lf.write("TestCenter\n01 0a 00\n02 03\n");
  lf.close();
  fx.files->script({lf.fileName()});
  dialog.openListButton()->click();
  QCOMPARE(dialog.frameEntry()->count(), 2);
  QCOMPARE(edit->text(), QString("01 0a 00"));
  // Lower case loaded from a file is refused at the first lower-case letter.
  dialog.sendButton()->click();
  QCOMPARE(fx.boxes->lastText(), QString("Error in string"));
  QCOMPARE(edit->selectionStart(), 4);
  QCOMPARE(edit->selectedText(), QString("a"));

  // File errors.
  fx.boxes->clear();
  fx.files->script({fx.path("missing.txt")});
  dialog.openListButton()->click();
  // The save dialog appends ".txt" to a name without one: reach /dev/full through a link.
  const QString full = fx.path("full.txt");
  QVERIFY(QFile::link("/dev/full", full));
  fx.files->script({full});
  dialog.saveListButton()->click();
  QCOMPARE(fx.boxes->texts(), (QStringList{"File open error", "Disk full or disk error"}));
  // An empty list saves an empty file, which is then refused and leaves the list empty.
  dialog.frameEntry()->clear();
  fx.files->script({path, path});
  dialog.saveListButton()->click();
  QCOMPARE(FileBytes(path), QByteArray());
  dialog.frameEntry()->addItem("stale");
  dialog.openListButton()->click();
  QCOMPARE(fx.boxes->lastText(), QString("This file is not a test center file"));
  QCOMPARE(dialog.frameEntry()->count(), 0);
}

// Zoom, time stamps and colours of the traffic list, kept in the TestCenter section.
void TestCenterTest::viewOptionsComeBackWithTheNextWindow() {
  VantorPeer vantor;
  QVERIFY(vantor.start());
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.doc()->takeDefinition({1, 2, 10, 1000, 1, 0});
  QVERIFY2(fx.connectTcp(vantor.port()), qPrintable(fx.boxes->lastText()));
  const QRegularExpression stamped("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d 00[01]-[TR]x:00 01 ");
  {
    CTestCenterDlg dialog(false, zelmor::kCheckCrc);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.trafficList()->font().pixelSize(), 10);
    QTest::keyClick(dialog.frameEntry()->lineEdit(), Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(dialog.trafficList(), Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(dialog.trafficList()->font().pixelSize(), 12);
    QVERIFY(SendAndWait(dialog, "00 01 00 00 00 06 01 03 00 00 00 02"));
    QCOMPARE(dialog.trafficLines().size(), 2);
    dialog.viewOptions()->timeStampAction()->trigger();
    dialog.viewOptions()->colourAction()->trigger();
    for (const QString& line : dialog.trafficLines()) QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    QVERIFY(dialog.trafficList()->item(0)->foreground() != dialog.trafficList()->item(1)->foreground());
  }
  QCOMPARE(fx.profile().readInt("TestCenter", "Zoom", 0), 2);
  CTestCenterDlg dialog(false, zelmor::kCheckCrc);
  QCOMPARE(dialog.trafficList()->font().pixelSize(), 12);
  QVERIFY(SendAndWait(dialog, "00 01 00 00 00 06 01 03 00 00 00 02"));
  for (const QString& line : dialog.trafficLines()) QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
  QVERIFY(dialog.trafficList()->item(0)->foreground().color().isValid());
  QVERIFY(dialog.trafficList()->item(0)->data(Qt::ForegroundRole).isValid());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
}

QTEST_MAIN(TestCenterTest)
#include "test_center_test.moc"
