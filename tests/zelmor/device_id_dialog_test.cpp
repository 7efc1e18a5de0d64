// The Device Identification dialog against pymodbus's device identification
// over Modbus/TCP: the command's state, an extended read that needs a second
// request, one object, report slave id, and a link that closes mid-read.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>

#include "gui_test_support.h"
#include "master/app/device_id_dialog.h"
#include "master/engine/comm_interface.h"
#include "peer_server.h"

namespace me = masterengine;
namespace res = zelmor::res;

namespace {

QStringList Rows(const QTableWidget* table) {
  QStringList rows;
  for (int r = 0; r < table->rowCount(); ++r)
    rows << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" + table->item(r, 2)->text().left(20);
  return rows;
}

}  // namespace

class DeviceIdDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void readsObjectsAndSlaveIdWithoutBlocking();
};

void DeviceIdDialogTest::readsObjectsAndSlaveIdWithoutBlocking() {
  PeerServer peer;
  QVERIFY2(peer.start(), qPrintable(peer.error()));
  ZelmorFixture fx;
  QVERIFY(fx.start());
  fx.frame()->updateCommandUI();
  QVERIFY(!fx.frame()->action(res::ID_FUNCTIONS_DEVICE_ID)->isEnabled());
  fx.doc()->takeDefinition({1, 3, 0, 1000, 2, 0});
  QVERIFY2(fx.connectTcp(peer.port()), qPrintable(fx.boxes->lastText()));
  fx.frame()->updateCommandUI();
  QVERIFY(fx.frame()->action(res::ID_FUNCTIONS_DEVICE_ID)->isEnabled());

  CDeviceIdDlg dialog(zelmor::PduLink::kTcp);
  dialog.show();
  dialog.slaveBox()->setValue(1);
  dialog.readBox()->setCurrentIndex(2);  // extended
  dialog.readButton()->click();
  QVERIFY(dialog.isBusy());  // the click returned while the request waits for the poll thread
  QVERIFY(!dialog.readButton()->isEnabled());
  QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy() && dialog.table()->rowCount() > 0, 10000);
  QCOMPARE(Rows(dialog.table()),
           (QStringList{"0x00|VendorName|pymodbus peer", "0x01|ProductCode|PEER", "0x02|MajorMinorRevision|3.0",
                        "0x04|ProductName|Peer Server", "0x80|Object 0x80|aaaaaaaaaaaaaaaaaaaa",
                        "0x81|Object 0x81|bbbbbbbbbbbbbbbbbbbb"}));
  QVERIFY(dialog.table()->item(4, 2)->text().endsWith("[" + QString("61 ").repeated(199) + "61]"));
  QCOMPARE(dialog.statusLabel()->text(), QString("6 objects, conformity level 0x83, 2 requests"));

  dialog.readBox()->setCurrentIndex(3);  // one object
  QVERIFY(dialog.objectBox()->isEnabled());
  dialog.objectBox()->setValue(4);
  dialog.readButton()->click();
  QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 10000);
  QCOMPARE(Rows(dialog.table()), QStringList{"0x04|ProductName|Peer Server"});

  dialog.reportButton()->click();
  QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 10000);
  QCOMPARE(dialog.table()->rowCount(), 3);
  QCOMPARE(dialog.table()->item(0, 1)->text(), QString("Slave ID"));
  QVERIFY2(dialog.statusLabel()->text().startsWith("Report slave id: "), qPrintable(dialog.statusLabel()->text()));

  // The link closes while a request waits: the dialog takes it back and says so.
  me::StopPolling();
  dialog.readBox()->setCurrentIndex(0);
  dialog.readButton()->click();
  QVERIFY(dialog.isBusy());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(!dialog.isBusy(), 5000);
  QCOMPARE(dialog.statusLabel()->text(), QString(res::text::kTestCenterLinkClosed));
  QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 3, 0, 1, 0, 0));  // the slot is free again
  me::UnregisterPoll(0);
}

QTEST_MAIN(DeviceIdDialogTest)
#include "device_id_dialog_test.moc"
