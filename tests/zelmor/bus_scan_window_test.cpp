// The Scan window against headless vantor over Modbus/TCP (ids found, Stop,
// "Use these settings" opening a poll window, probes on the wire) and the
// Decode Frame window on good, cut and malformed frames.
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>

#include "gui_test_support.h"
#include "master/app/bus_scan_dialog.h"
#include "master/app/frame_decoder_dialog.h"
#include "master/app/register_scan_dialog.h"
#include "resources/zelmor_resources.h"
#include "vantor_peer.h"

class BusScanWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void scanFindsTheUnitIdsAndOpensAPollWindow();
  void stopEndsALongScan();
  void decoderShowsFieldsAndProblems();
  void registerScanListsTheBlocksAndOpensAPollWindow();
};

namespace {

CBusScanDlg* OpenScan(ZelmorFixture& fx) {
  fx.frame()->action(zelmor::res::ID_BUS_SCAN)->trigger();
  return fx.frame()->findChild<CBusScanDlg*>();
}

}  // namespace

void BusScanWindowTest::scanFindsTheUnitIdsAndOpensAPollWindow() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"2:3:0:10", "5:3:0:10"}, {"--identity", "5:VendorName=Pumps"}));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.connectTcp(vantor.port()));
  CBusScanDlg* scan = OpenScan(fx);
  QVERIFY(scan != nullptr);
  scan->firstId()->setValue(1);
  scan->lastId()->setValue(6);
  scan->startButton()->click();
  QVERIFY(scan->isScanning());
  QVERIFY(QTest::qWaitFor([scan] { return !scan->isScanning(); }, 20000));
  QCOMPARE(scan->results()->rowCount(), 2);
  QCOMPARE(scan->results()->item(0, 0)->text(), QString("2"));
  QCOMPARE(scan->results()->item(1, 0)->text(), QString("5"));
  QVERIFY2(scan->statusLabel()->text().startsWith("Done: 2 found in 6 probes"), qPrintable(scan->statusLabel()->text()));
  // Every probe went on the wire: unit ids 1..6, one holding register at 0
  // (between them the poll window's own reads).
  QStringList probes = vantor.requests().filter(QRegularExpression("^.. 03 00 00 00 01$"));
  QCOMPARE(probes, (QStringList{"01 03 00 00 00 01", "02 03 00 00 00 01", "03 03 00 00 00 01",
                                "04 03 00 00 00 01", "05 03 00 00 00 01", "06 03 00 00 00 01"}));

  scan->results()->selectRow(1);
  scan->useButton()->click();
  QVERIFY(QTest::qWaitFor([&fx] { return fx.doc() != nullptr && fx.doc()->data().slaveId == 5; }, 5000));
  QCOMPARE(fx.doc()->data().function, 3);

  // The identification probe: the same ids, their strings in the answer column.
  scan->probeChoice()->setCurrentIndex(static_cast<int>(busscan::Probe::kDeviceIdentification));
  scan->startButton()->click();
  QVERIFY(QTest::qWaitFor([scan] { return !scan->isScanning(); }, 20000));
  QCOMPARE(scan->results()->rowCount(), 2);
  QCOMPARE(scan->results()->item(1, 0)->text(), QString("5"));
  QVERIFY2(scan->results()->item(1, 3)->text().startsWith("Pumps vantor "), qPrintable(scan->results()->item(1, 3)->text()));
  QVERIFY2(scan->results()->item(1, 4)->text().startsWith("VendorName=Pumps; ProductCode=vantor"),
           qPrintable(scan->results()->item(1, 4)->text()));
  QCOMPARE(vantor.requests().filter(QRegularExpression("^.. 2B 0E 01 00$")).size(), 6);
  scan->close();
}

void BusScanWindowTest::stopEndsALongScan() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"200:3:0:10"}));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.connectTcp(vantor.port()));
  CBusScanDlg* scan = OpenScan(fx);
  QVERIFY(scan != nullptr);
  scan->startButton()->click();  // 1..247, silent ids wait 100 ms each
  QTest::qWait(400);
  QVERIFY(scan->isScanning());
  scan->stopButton()->click();
  QVERIFY(QTest::qWaitFor([scan] { return !scan->isScanning(); }, 5000));
  QVERIFY2(scan->statusLabel()->text().startsWith("Stopped: 0 found in "), qPrintable(scan->statusLabel()->text()));
  QVERIFY(scan->state().next < 20);
  // The window's link is still up for polling.
  QVERIFY(fx.app->isConnected());
  scan->close();
}

void BusScanWindowTest::decoderShowsFieldsAndProblems() {
  int direction = -1;
  const QString frame = CFrameDecoderDlg::FrameTextOfLine("000012-Rx:01 03 02 00 2A 39 9B ", &direction);
  QCOMPARE(direction, 2);
  CFrameDecoderDlg dialog(frame, direction);
  QVERIFY2(dialog.decodedText().contains("Value 1: 42 (0x002A)"), qPrintable(dialog.decodedText()));
  dialog.input()->setPlainText("01 03 02 00");
  QVERIFY2(dialog.decodedText().contains("CRC: ") && dialog.decodedText().contains("wrong"), qPrintable(dialog.decodedText()));
  dialog.input()->setPlainText("01 0G");
  QVERIFY2(dialog.decodedText().contains("not a hex digit"), qPrintable(dialog.decodedText()));
}

void BusScanWindowTest::registerScanListsTheBlocksAndOpensAPollWindow() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"1:3:0:10", "1:3:40:5"}));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.connectTcp(vantor.port()));
  fx.frame()->action(zelmor::res::ID_REGISTER_SCAN)->trigger();
  auto* scan = fx.frame()->findChild<CRegisterScanDlg*>();
  QVERIFY(scan != nullptr);
  scan->lastAddress()->setValue(99);
  scan->blockSize()->setValue(25);
  scan->startButton()->click();
  QVERIFY(QTest::qWaitFor([scan] { return !scan->isScanning(); }, 20000));
  QVERIFY2(scan->statusLabel()->text().startsWith("Done: 2 readable blocks"), qPrintable(scan->statusLabel()->text()));
  QCOMPARE(scan->results()->rowCount(), 2);
  QCOMPARE(scan->results()->item(1, 0)->text(), QString("40"));
  QCOMPARE(scan->results()->item(1, 1)->text(), QString("5"));
  scan->results()->selectRow(1);
  scan->openPollOnBlock();
  QVERIFY(QTest::qWaitFor([&fx] { return fx.doc() != nullptr && fx.doc()->data().address == 40; }, 5000));
  QCOMPARE(fx.doc()->data().length, 5);
  scan->close();
}

QTEST_MAIN(BusScanWindowTest)
#include "bus_scan_window_test.moc"
