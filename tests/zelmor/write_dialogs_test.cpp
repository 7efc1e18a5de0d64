// The single write dialogs against headless vantor over Modbus/TCP: what each
// dialog starts with, the frames that arrive at the slave (from vantor's
// traffic output), the entry checks that send nothing, the result boxes, and
// editing values by double click in every value size and word order.
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

#include "common/value_format.h"
#include "gui_test_support.h"
#include "common/register_map.h"
#include "master/app/bit_row.h"
#include "master/app/poll_map_commands.h"
#include "master/app/write_dialogs.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"
#include "vantor_peer.h"

namespace me = masterengine;
namespace res = zelmor::res;

namespace {

// Coils 0..19 and holding registers 0..9 of slave 1.
bool StartPeer(VantorPeer& vantor, ZelmorFixture& fx) {
  return vantor.start({"1:1:0:20", "1:3:0:10"}) && fx.start() != nullptr;
}

// Connects to vantor and brings the menu entries up to date at once.
bool Connect(VantorPeer& vantor, ZelmorFixture& fx) {
  if (!fx.connectTcp(vantor.port())) return false;
  fx.frame()->updateCommandUI();
  return true;
}

// Clicks Send and waits for the frame at the slave and the result box.
bool SendAndWait(ZelmorFixture& fx, VantorPeer& vantor, QPushButton* send) {
  int frames = vantor.requests().size();
  int boxes = fx.boxes->count();
  send->click();
  return QTest::qWaitFor([&] { return vantor.requests().size() > frames && fx.boxes->count() > boxes; }, 10000);
}

// A poll with polling disabled, so that only the writes reach the slave.
void Define(ZelmorFixture& fx, int functionIndex, int length, int format) {
  fx.doc()->takeDefinition({1, functionIndex, length, 1000, 1, 0});
  fx.doc()->setDisplayFormat(format);
}

bool ReadOnce(ZelmorFixture& fx) {
  // A fresh registration restarts the counts at 0 with the result pending.
  std::uint32_t before = fx.doc()->txCount();
  int resultBefore = fx.doc()->lastResult();
  fx.doc()->readOnce();
  return QTest::qWaitFor(
      [&] { return fx.doc()->txCount() != before || fx.doc()->lastResult() != resultBefore; }, 10000);
}

}  // namespace

class WriteDialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void coilWritesFromMenuAndDoubleClick();
  void registerWritesInEveryPresentation();
  void maskWriteDefaultsLeaveTheRegister();
  void doubleClickWritesWholeValues();
  void valueDialogsTabFromTheValueToAddressAndSlave();
  void registerMapNamesInTheWindow();
};

void WriteDialogsTest::coilWritesFromMenuAndDoubleClick() {
  VantorPeer vantor;
  ZelmorFixture fx;
  QVERIFY(StartPeer(vantor, fx));
  fx.frame()->updateCommandUI();
  QVERIFY(!fx.frame()->action(res::ID_WRITE_SINGLE_COIL)->isEnabled());  // no link yet
  // The toolbar: Read Once, then the six writes.
  QList<QAction*> tools = fx.frame()->toolBar()->actions();
  int readOnce = tools.indexOf(fx.frame()->action(res::ID_SETUP_READ_ONCE));
  QList<QAction*> writes;
  for (int id : {res::ID_WRITE_SINGLE_COIL, res::ID_WRITE_SINGLE_REGISTER, res::ID_WRITE_MULTIPLE_COILS,
                 res::ID_WRITE_MULTIPLE_REGISTERS, res::ID_MASK_WRITE_REGISTER, res::ID_READ_WRITE_REGISTERS})
    writes << fx.frame()->action(id);
  QCOMPARE(tools.mid(readOnce + 1, 6), writes);
  QCOMPARE(fx.frame()->action(res::ID_WRITE_SINGLE_COIL)->shortcut(), QKeySequence(Qt::Key_F7));
  QVERIFY(Connect(vantor, fx));
  Define(fx, 0, 10, 0);
  QVERIFY(fx.frame()->action(res::ID_WRITE_SINGLE_COIL)->isEnabled());

  bool driven = false;
  WhenModal<CWriteSingleCoilDlg>([&](CWriteSingleCoilDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->windowTitle(), QString("Write Single Coil"));
    // PLC addresses: the first address is 1, not the poll's own.
    QCOMPARE(d->addressEdit()->text(), QString("1"));
    QCOMPARE(d->slaveEdit()->text(), QString("1"));
    QVERIFY(d->offButton()->isChecked());
    QVERIFY(d->functionButton(0)->isChecked());
    d->addressEdit()->setText("3");
    d->onButton()->click();
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 05 00 02 FF 00"));
    QCOMPARE(fx.boxes->lastText(), QString("Response ok"));
    // 15 in the same dialog: one coil with the multiple function.
    d->functionButton(1)->click();
    d->offButton()->click();
    d->addressEdit()->setText("4");
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 0F 00 03 00 01 01 00"));
    // Address 0 does not exist with PLC addresses: refused, nothing sent.
    int frames = vantor.requests().size();
    d->addressEdit()->setText("0");
    d->sendButton()->click();
    QCOMPARE(fx.boxes->lastText(), QString("Please enter an integer between 1 and 65535."));
    QTest::qWait(200);
    QCOMPARE(vantor.requests().size(), frames);
    driven = true;
  });
  fx.frame()->action(res::ID_WRITE_SINGLE_COIL)->trigger();
  QVERIFY(driven);

  // Double click on coil 3 (on since the write above): the dialog proposes On
  // at that address; the function chosen at the last Send is kept for the next one.
  QVERIFY(ReadOnce(fx));
  driven = false;
  WhenModal<CWriteSingleCoilDlg>([&](CWriteSingleCoilDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->addressEdit()->text(), QString("3"));
    QVERIFY(d->onButton()->isChecked());
    QVERIFY(d->functionButton(0)->isChecked());
    d->functionButton(1)->click();
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 0F 00 02 00 01 01 01"));
    driven = true;
  });
  fx.doc()->editPollValue(2, fx.view());
  QVERIFY(driven);
  QCOMPARE(fx.doc()->presetSingle(), 1);
  driven = false;
  WhenModal<CWriteSingleCoilDlg>([&](CWriteSingleCoilDlg* d) {
    QVERIFY(d->functionButton(1)->isChecked());
    d->reject();  // closed without sending: the choice it was given stays
    driven = true;
  });
  fx.doc()->editPollValue(0, fx.view());
  QVERIFY(driven);
  QCOMPARE(fx.doc()->presetSingle(), 1);
}

void WriteDialogsTest::registerWritesInEveryPresentation() {
  VantorPeer vantor;
  ZelmorFixture fx;
  QVERIFY(StartPeer(vantor, fx) && Connect(vantor, fx));
  Define(fx, 2, 10, 2);  // Hex

  bool driven = false;
  WhenModal<CWriteRegisterDlg>([&](CWriteRegisterDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->windowTitle(), QString("Write Single Register"));
    QCOMPARE(d->valueLabel()->text(), QString("Value (HEX):"));
    QLineEdit* hex = d->valueEdit();
    QCOMPARE(hex->text(), QString("0"));
    QVERIFY(hex->isVisible());
    hex->clear();
    QTest::keyClicks(hex, "7fff");
    QCOMPARE(hex->text(), QString("7FFF"));
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 06 00 00 7F FF"));
    QCOMPARE(fx.boxes->lastText(), QString("Response ok"));
    int frames = vantor.requests().size();
    for (const char* bad : {"12 3", "0x12", ""}) {
      hex->setText(bad);
      d->sendButton()->click();
      QCOMPARE(fx.boxes->lastText(), QString("Please enter a hex number"));
      QCOMPARE(hex->selectedText(), QString(bad));
    }
    hex->setText("12345");
    d->sendButton()->click();
    QCOMPARE(fx.boxes->lastText(), QString("Please enter no more than 4 characters."));
    QTest::qWait(200);
    QCOMPARE(vantor.requests().size(), frames);

    // Another one-shot request holds the slot: nothing goes out, no box, the status bar says why.
    QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 16, 0, 0, 0, 1));
    int boxes = fx.boxes->count();
    hex->setText("1");
    d->functionButton(1)->click();
    d->sendButton()->click();
    QCOMPARE(fx.frame()->statusBar()->currentMessage(), QString(res::text::kWriteStillPending));
    QTest::qWait(200);
    QCOMPARE(fx.boxes->count(), boxes);
    QCOMPARE(vantor.requests().size(), frames);
    me::UnregisterPoll(0);
    // 16 in the register dialog: one register with the multiple function.
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 10 00 00 00 01 02 00 01"));
    driven = true;
  });
  fx.frame()->action(res::ID_WRITE_SINGLE_REGISTER)->trigger();
  QVERIFY(driven);

  // A window in Float opens the signed register dialog; an address beyond the
  // slave's definition comes back as its exception.
  fx.doc()->setDisplayFormat(4);
  driven = false;
  WhenModal<CWriteRegisterDlg>([&](CWriteRegisterDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->presentation(), 0);
    QCOMPARE(d->valueLabel()->text(), QString("Value:"));
    d->valueEdit()->setText("-2");
    d->addressEdit()->setText("2");
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 06 00 01 FF FE"));
    d->addressEdit()->setText("11");
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(fx.boxes->lastText(), QString("Illigal Data Address"));
    driven = true;
  });
  fx.frame()->action(res::ID_WRITE_SINGLE_REGISTER)->trigger();
  QVERIFY(driven);

  // Binary: the bit row, bit 15 the leftmost box.
  fx.doc()->setDisplayFormat(3);
  driven = false;
  WhenModal<CWriteRegisterBinDlg>([&](CWriteRegisterBinDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->windowTitle(), QString("Write Single Register Binary"));
    QCOMPARE(d->bits()->value(), std::uint16_t{0});
    QVERIFY(d->bits()->box(15)->x() < d->bits()->box(0)->x());
    // Each box has its bit number above it; the value shows in hex as it changes.
    for (int bit : {15, 0}) {
      const QRect box = d->bits()->box(bit)->geometry();
      bool numbered = false;
      for (QLabel* label : d->bits()->findChildren<QLabel*>())
        numbered |= label->text() == QString::number(bit) && label->geometry().bottom() <= box.top() &&
                    label->geometry().left() <= box.center().x() && box.center().x() <= label->geometry().right();
      QVERIFY2(numbered, qPrintable(QString::number(bit)));
    }
    QCOMPARE(d->bits()->hexLabel()->text(), QString("0x0000"));
    d->bits()->box(15)->click();
    QCOMPARE(d->bits()->hexLabel()->text(), QString("0x8000"));
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 06 00 00 80 00"));
    driven = true;
  });
  fx.frame()->action(res::ID_WRITE_SINGLE_REGISTER)->trigger();
  QVERIFY(driven);
}

void WriteDialogsTest::maskWriteDefaultsLeaveTheRegister() {
  VantorPeer vantor;
  ZelmorFixture fx;
  QVERIFY(StartPeer(vantor, fx) && Connect(vantor, fx));
  Define(fx, 2, 10, 2);
  fx.doc()->setOneBased(false);
  bool driven = false;
  WhenModal<CMaskWriteDlg>([&](CMaskWriteDlg* d) {
    auto close = qScopeGuard([d] { d->reject(); });
    QCOMPARE(d->windowTitle(), QString("22: Mask Write Register"));
    QCOMPARE(d->addressEdit()->text(), QString("0"));
    QCOMPARE(d->andMask()->value(), std::uint16_t{0xFFFF});
    QCOMPARE(d->orMask()->value(), std::uint16_t{0});
    d->slaveEdit()->setText("0");  // a mask write needs a reply: no broadcast
    d->sendButton()->click();
    QCOMPARE(fx.boxes->lastText(), QString("Please enter an integer between 1 and 255."));
    d->slaveEdit()->setText("1");
    d->addressEdit()->setText("5");
    // Set the register to 0x1234 (AND 0, OR 0x1234), then send the starting masks.
    d->andMask()->setValue(0);
    d->orMask()->setValue(0x1234);
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 16 00 05 00 00 12 34"));
    d->andMask()->setValue(0xFFFF);
    d->orMask()->setValue(0);
    QVERIFY(SendAndWait(fx, vantor, d->sendButton()));
    QCOMPARE(vantor.requests().last(), QString("01 16 00 05 FF FF 00 00"));
    QCOMPARE(fx.boxes->lastText(), QString("Response ok"));
    driven = true;
  });
  fx.frame()->action(res::ID_MASK_WRITE_REGISTER)->trigger();
  QVERIFY(driven);
  QVERIFY(ReadOnce(fx));
  QCOMPARE(fx.view()->cellValue(5), QString("0x1234"));
}

void WriteDialogsTest::doubleClickWritesWholeValues() {
  VantorPeer vantor;
  ZelmorFixture fx;
  QVERIFY(StartPeer(vantor, fx) && Connect(vantor, fx));
  Define(fx, 2, 5, 5);  // Float Inverse, odd length
  CZelmorView* view = fx.view();

  // Any dialog opened where none should be is closed at once and noted.
  bool unexpected = false;
  QTimer guard;
  connect(&guard, &QTimer::timeout, [&] {
    if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      unexpected = true;
      d->reject();
    }
  });
  guard.start(10);

  struct Case {
    int format, length, index;
    const char* title;
    const char* address;  // as proposed: the first register of the value
    const char* value;
    const char* frame;
  };
  const Case cases[] = {
      {5, 5, 1, "Write Floating Point", "1", "1.5", "01 10 00 00 00 02 04 3F C0 00 00"},
      {4, 5, 3, "Write Floating Point", "3", "1.5", "01 10 00 02 00 02 04 00 00 3F C0"},
      {6, 6, 2, "Write Double", "1", "-2", "01 10 00 00 00 04 08 00 00 00 00 00 00 C0 00"},
      {7, 6, 3, "Write Double", "1", "-2", "01 10 00 00 00 04 08 C0 00 00 00 00 00 00 00"},
      {8, 5, 0, "Write Long", "1", "-2", "01 10 00 00 00 02 04 FF FE FF FF"},
      {9, 5, 2, "Write Long", "3", "-2", "01 10 00 02 00 02 04 FF FF FF FE"},
      // The other byte and word orders: read in their order, written the same way.
      {valuefmt::kFloatBadc, 5, 1, "Write Floating Point", "1", "1.5", "01 10 00 00 00 02 04 C0 3F 00 00"},
      {valuefmt::kUnsignedLongDcba, 5, 2, "Write Long", "3", "4000000000", "01 10 00 02 00 02 04 00 28 6B EE"},
      {valuefmt::kDoubleDcba, 6, 1, "Write Double", "1", "-2", "01 10 00 00 00 04 08 00 00 00 00 00 00 00 C0"},
  };
  for (const Case& c : cases) {
    Define(fx, 2, c.length, c.format);
    QVERIFY(ReadOnce(fx));
    guard.stop();
    bool driven = false;
    WhenModal<CWriteValueDlg>([&](CWriteValueDlg* d) {
      auto close = qScopeGuard([d] {
        if (d->isVisible()) d->reject();
      });
      QCOMPARE(d->windowTitle(), QString(c.title));
      QCOMPARE(d->addressEdit()->text(), QString(c.address));
      QLineEdit* edit = qobject_cast<QLineEdit*>(d->focusWidget());
      QVERIFY(edit != nullptr && edit != d->addressEdit() && edit != d->slaveEdit());
      edit->setText(c.value);
      d->sendButton()->click();  // closes with OK; the document sends
      driven = d->result() == QDialog::Accepted;
    });
    int frames = vantor.requests().size();
    int boxes = fx.boxes->count();
    fx.doc()->editPollValue(c.index, view);
    guard.start(10);
    QVERIFY2(driven, qPrintable(fx.boxes->texts().join('|')));
    QTRY_COMPARE_WITH_TIMEOUT(vantor.requests().size(), frames + 1, 10000);
    QCOMPARE(vantor.requests().last(), QString(c.frame));
    // The view shows nothing for a good reply, and the value reads back.
    QVERIFY(ReadOnce(fx));
    QCOMPARE(fx.boxes->count(), boxes);
    QVERIFY2(fx.view()->cellValue(c.index / valuefmt::RegistersPerValue(c.format) *
                                  valuefmt::RegistersPerValue(c.format))
                 .contains(c.value),
             qPrintable(fx.view()->cellValue(c.index)));
  }

  // Cells outside a complete value open nothing: the last of an odd-length
  // float poll, the last two of a six-register double poll.
  for (auto [format, length, index] : {std::tuple{4, 5, 4}, std::tuple{6, 6, 4}, std::tuple{7, 6, 5}}) {
    Define(fx, 2, length, format);
    fx.doc()->editPollValue(index, view);
    QTest::qWait(50);
  }
  QVERIFY(!unexpected);

  // A failed write from the view shows the view's error box.
  Define(fx, 2, 10, 8);
  guard.stop();
  WhenModal<CWriteLongDlg>([&](CWriteLongDlg* d) {
    d->addressEdit()->setText("10");  // registers 9 and 10: beyond the slave's ten
    d->sendButton()->click();
  });
  int boxes = fx.boxes->count();
  fx.doc()->editPollValue(8, view);
  QTRY_VERIFY_WITH_TIMEOUT(fx.boxes->count() > boxes, 10000);
  QCOMPARE(fx.boxes->lastText(), QString("Illigal Data Address"));
}

void WriteDialogsTest::valueDialogsTabFromTheValueToAddressAndSlave() {
  // Tab from the value (where the focus starts) walks Address, Slave, Send,
  // Cancel and comes back to the value.
  auto walk = [](CWriteValueDlg& d, QLineEdit* value) {
    d.show();
    QStringList order;
    if (!QTest::qWaitForWindowActive(&d)) return order;
    for (int step = 0; step < 6; ++step) {
      QWidget* at = QApplication::focusWidget();
      order << (at == value ? "value" : at == d.addressEdit() ? "address" : at == d.slaveEdit() ? "slave"
                : qobject_cast<QPushButton*>(at) != nullptr ? qobject_cast<QPushButton*>(at)->text()
                                                            : QString("?"));
      QTest::keyClick(at, Qt::Key_Tab);
    }
    return order;
  };
  const QStringList expected{"value", "address", "slave", res::text::kWriteSend, res::text::kWriteCancel, "value"};
  CWriteFloatDlg floats(true, 1, 1, valuefmt::kFloat, 1.5);
  QCOMPARE(walk(floats, floats.valueEdit()), expected);
  CWriteFloatDlg doubles(true, 1, 1, valuefmt::kDoubleInverse, 2.5);
  QCOMPARE(walk(doubles, doubles.valueEdit()), expected);
  CWriteLongDlg longs(true, 1, 1, valuefmt::kLong, 7);
  QCOMPARE(walk(longs, longs.valueEdit()), expected);
}

QTEST_MAIN(WriteDialogsTest)
void WriteDialogsTest::registerMapNamesInTheWindow() {
  VantorPeer vantor;
  ZelmorFixture fx;
  QVERIFY(StartPeer(vantor, fx) && Connect(vantor, fx));
  Define(fx, 2, 6, valuefmt::kUnsigned);
  QVERIFY(ReadOnce(fx));
  const QString path = fx.dir.filePath("map.csv");
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write("table,address,type,order,name,unit,scale,value\nholding registers,400002,uint16,,Speed,rpm,1,\n");
  file.close();
  QString error;
  QVERIFY2(pollmap::AttachRegisterMapFile(fx.doc(), path, &error), qPrintable(error));
  CZelmorView* view = fx.view();
  QCOMPARE(view->cellName(1), QString("Speed [rpm]"));
  QCOMPARE(view->cellName(0), QString());
  QCOMPARE(fx.doc()->data().registerMap, path.toStdString());
  // The name column: off until switched on, then as wide as the longest name.
  const int plain = view->layout().columnWidth;
  QCOMPARE(view->layout().nameWidth, 0);
  fx.frame()->action(res::ID_DISPLAY_MAP_NAMES)->trigger();
  QVERIFY(view->layout().nameWidth > 0);
  QCOMPARE(view->layout().columnWidth, plain + view->layout().nameWidth);
  fx.frame()->action(res::ID_DISPLAY_MAP_NAMES)->trigger();
  QCOMPARE(view->layout().columnWidth, plain);
  // A bad map leaves the window's map as it was.
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write("table,address,type,order,name,unit,scale,value\nholding registers,400002,word,,X,,1,\n");
  file.close();
  QVERIFY(!pollmap::AttachRegisterMapFile(fx.doc(), path, &error));
  QVERIFY2(error.startsWith("line 2, column 3 (type): unknown type \"word\""), qPrintable(error));
  QCOMPARE(view->cellName(1), QString("Speed [rpm]"));
  // The window's values as a map: six registers, the second with its name.
  const QString out = fx.dir.filePath("values.csv");
  QVERIFY2(pollmap::ExportPollValuesFile(fx.doc(), out, &error), qPrintable(error));
  regmap::RegisterMap values;
  std::string why;
  QVERIFY2(regmap::LoadRegisterMap(out.toStdString(), &values, &why), why.c_str());
  QCOMPARE(values.entries.size(), std::size_t{6});
  QCOMPARE(values.entries[1].name, std::string("Speed"));
  QCOMPARE(values.entries[1].value, double(fx.doc()->values()[2] | fx.doc()->values()[3] << 8));
}

#include "write_dialogs_test.moc"
