// vantor's Identity dialog: objects edited per slave id reach the engine (read
// back by libmodbus's report slave id), survive a restart through the profile,
// a value too long is refused, Cancel changes nothing.
#include <QSpinBox>
#include <QtTest>

#include "framework/window_messages.h"
#include "resources/vantor_resources.h"
#include "slave/app/identity_dialog.h"
#include "slave/engine/identity.h"
#include "vantor_test_support.h"

class IdentityDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }
  void cleanup() { slaveidentity::ClearAllObjects(); }
  void editedObjectsAreServedAndKept();
};

namespace {

std::string ServedObject(std::uint8_t unit, std::uint8_t id) {
  for (const auto& [objectId, value] : slaveidentity::ServedObjects(unit))
    if (objectId == id) return value;
  return {};
}

void EditIdentity(VantorFixture& fx, const std::function<void(CIdentityDlg*)>& edit) {
  WhenDialogOpens<CIdentityDlg>(edit);
  for (QAction* a : fx.frame()->findChildren<QAction*>())
    if (a->text() == QString(vantorres::kIdentity)) return a->trigger();
  QFAIL("no Identity command");
}

}  // namespace

void IdentityDialogTest::editedObjectsAreServedAndKept() {
  VantorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.doc());
  const int id = fx.doc()->slaveId();
  EditIdentity(fx, [&](CIdentityDlg* dialog) {
    QCOMPARE(dialog->slaveBox()->value(), id);
    dialog->setValue(1, "Widget-9");
    dialog->setValue(0x80, QString(slaveidentity::kMaxObjectLength + 1, 'x'));
    dialog->accept();  // refused: too long
    QCOMPARE(fx.boxes.texts().size(), 1);
    QVERIFY(dialog->isVisible());
    dialog->setValue(0x80, "private; 100%");
    dialog->accept();
  });
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 1), std::string("Widget-9"));
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 0x80), std::string("private; 100%"));
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 0), std::string("vantor"));

  // An independent master sees them.
  const int port = fx.connectTcp();
  QVERIFY(port != 0);
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
  modbus_set_slave(ctx, id);
  QCOMPARE(modbus_connect(ctx), 0);
  std::uint8_t data[MODBUS_MAX_PDU_LENGTH] = {};
  const int n = modbus_report_slave_id(ctx, sizeof data, data);
  modbus_close(ctx);
  modbus_free(ctx);
  QVERIFY(n > 2);
  QVERIFY(QByteArray(reinterpret_cast<const char*>(data + 2), n - 2).startsWith("vantor Widget-9 "));

  // Cancel keeps what was there.
  EditIdentity(fx, [](CIdentityDlg* dialog) {
    dialog->setValue(1, "Other");
    dialog->reject();
  });
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 1), std::string("Widget-9"));

  // The profile brings them back in the next run.
  slaveidentity::ClearAllObjects();
  QVERIFY(fx.restart());
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 1), std::string("Widget-9"));
  QCOMPARE(ServedObject(static_cast<std::uint8_t>(id), 0x80), std::string("private; 100%"));
}

QTEST_MAIN(IdentityDialogTest)
#include "identity_dialog_test.moc"
