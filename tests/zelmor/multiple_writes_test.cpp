// The multiple writes (15, 16, 23) driven through their dialogs against
// headless vantor over Modbus/TCP: the frames that arrive (vantor's traffic
// output), the value lists and their editing, the registers read back by 23,
// the entry checks, and ".mod" files between the dialogs.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QtTest>

#include "common/value_format.h"
#include "gui_test_support.h"
#include "master/app/bit_row.h"
#include "master/app/multiple_write_dialogs.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"
#include "vantor_peer.h"

namespace me = masterengine;
namespace res = zelmor::res;

namespace {

constexpr int kHex = 2, kBinary = 3, kFloat = 4, kFloatInverse = 5, kDouble = 6, kDoubleInverse = 7, kLong = 8,
              kLongInverse = 9;

// Edits list line `row` through "Enter Value": by the Edit button or by a double click.
void EditLine(CRegisterListDlg& dialog, int row, const QString& value, bool doubleClick = false) {
  QListWidget* list = dialog.valueList();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  list->setCurrentRow(row);
  WhenModal<CEnterValueDlg>([value](CEnterValueDlg* d) {
    QVERIFY(d->visibleEdit()->hasSelectedText());
    d->visibleEdit()->setText(value);
    d->okButton()->click();
  });
  if (doubleClick) {
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }
  else
    dialog.editButton()->click();
}

bool SendAndWait(CMultipleWriteDlg& dialog) {
  dialog.sendButton()->click();
  return dialog.isSending() && QTest::qWaitFor([&] { return !dialog.isSending(); }, 10000);
}

// A request as vantor received it, after the transaction id.
bool Received(VantorPeer& vantor, const QString& bytes) {
  if (QTest::qWaitFor([&] { return vantor.traffic().contains(QRegularExpression("-Rx:.. .. " + bytes + " \n")); },
                      5000))
    return true;
  qWarning("%s", qPrintable(vantor.traffic().right(600)));
  return false;
}

MultipleWriteStart Start(int format, bool oneBased, int address, int size) {
  MultipleWriteStart start;
  start.displayFormat = format;
  start.oneBased = oneBased;
  start.address = address;
  start.size = size;
  start.readAddress = oneBased ? 1 : 0;
  return start;
}

// Types into the edit, then moves the keyboard focus on to the slave edit.
void LeaveEdit(CMultipleWriteDlg& dialog, QLineEdit* edit, const QString& text) {
  dialog.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&dialog));
  edit->setFocus();
  QVERIFY(edit->hasFocus());
  edit->setText(text);
  dialog.slaveEdit()->setFocus(Qt::TabFocusReason);
}

}  // namespace

class MultipleWritesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void cleanupTestCase();
  void registersOnTheWire();
  void readWriteAndTheReadBack();
  void coilTicksSurviveARangeChange();
  void otherOrdersOnTheWire();
  void coilsAndValueFiles();  // last: it ends with the link closed

 private:
  VantorPeer vantor_;
  std::unique_ptr<ZelmorFixture> fx_;
};

void MultipleWritesTest::initTestCase() {
  QVERIFY(vantor_.start({"1:3:0:200", "1:1:0:2000"}));
  fx_ = std::make_unique<ZelmorFixture>();
  QVERIFY(fx_->start());
  // Holding registers from PLC address 101, not polled, so only the writes are on the line.
  fx_->doc()->takeDefinition({101, 2, 3, 1000, 1, 0});
  fx_->frame()->updateCommandUI();
  QVERIFY(!fx_->frame()->action(res::ID_WRITE_MULTIPLE_REGISTERS)->isEnabled());
  QVERIFY2(fx_->connectTcp(vantor_.port()), qPrintable(fx_->boxes->lastText()));
  fx_->frame()->updateCommandUI();
  for (int id : {res::ID_WRITE_MULTIPLE_COILS, res::ID_WRITE_MULTIPLE_REGISTERS, res::ID_READ_WRITE_REGISTERS})
    QVERIFY(fx_->frame()->action(id)->isEnabled());
}

void MultipleWritesTest::cleanupTestCase() { fx_.reset(); }

void MultipleWritesTest::registersOnTheWire() {
  ZelmorFixture& fx = *fx_;
  // F10 opens the dialog with the window's address, length and format.
  QString title, address, size;
  WhenModal<CWriteRegistersDlg>([&](CWriteRegistersDlg* d) {
    title = d->windowTitle();
    address = d->addressEdit()->text();
    size = d->sizeEdit()->text();
    d->cancelButton()->click();
  });
  fx.frame()->action(res::ID_WRITE_MULTIPLE_REGISTERS)->trigger();
  QCOMPARE(title, QString("16: Write multiple registers (signed)"));
  QCOMPARE(address + "/" + size, QString("101/3"));

  // Signed, PLC address 101, values 1, -1, 2: protocol address 100, quantity 3.
  {
    CWriteRegistersDlg dialog(RegistersStartFromDocument(*fx.doc()));
    dialog.show();
    EditLine(dialog, 0, "1");
    EditLine(dialog, 1, "-1", true);
    EditLine(dialog, 2, "2");
    QCOMPARE(dialog.lines(), (QStringList{"101 = 1", "102 = -1", "103 = 2"}));
    QCOMPARE(dialog.valueList()->currentRow(), 2);  // the edited line stays selected
    fx.boxes->clear();
    QVERIFY(SendAndWait(dialog));
    QCOMPARE(fx.boxes->texts(), QStringList{"Response ok"});
    QVERIFY(Received(vantor_, "00 00 00 0D 01 10 00 64 00 03 06 00 01 FF FF 00 02"));
  }
  // Once the window has read them, F10 starts from the window's values.
  fx.doc()->readOnce();
  QTRY_COMPARE_WITH_TIMEOUT(fx.doc()->lastResult(), 0, 5000);
  QStringList startLines;
  WhenModal<CWriteRegistersDlg>([&](CWriteRegistersDlg* d) {
    startLines = d->lines();
    d->cancelButton()->click();
  });
  fx.frame()->action(res::ID_WRITE_MULTIPLE_REGISTERS)->trigger();
  QCOMPARE(startLines, (QStringList{"101 = 1", "102 = -1", "103 = 2"}));

  // Float 1.5 with size 3: three registers, the float's low word first. Float
  // Inverse with size 3: only the whole float, high word first. Doubles likewise
  // lowest or highest word first.
  const struct {
    int format, size;
    const char* value;
    const char* line;
    const char* frame;
  } rows[] = {
      {kFloat, 3, "1.5", "020 = 1.5000", "00 00 00 0D 01 10 00 14 00 03 06 00 00 3F C0 00 00"},
      {kFloatInverse, 3, "1.5", "020 = 1.5000", "00 00 00 0B 01 10 00 14 00 02 04 3F C0 00 00"},
      {kDouble, 5, "-2", "020 = -2.000000", "00 00 00 11 01 10 00 14 00 05 0A 00 00 00 00 00 00 C0 00 00 00"},
      {kDoubleInverse, 5, "-2", "020 = -2.000000", "00 00 00 0F 01 10 00 14 00 04 08 C0 00 00 00 00 00 00 00"},
  };
  for (const auto& row : rows) {
    CWriteRegistersDlg dialog(Start(row.format, false, 20, row.size));
    dialog.show();
    EditLine(dialog, 0, row.value);
    QCOMPARE(dialog.lines(), QStringList{row.line});
    QVERIFY(SendAndWait(dialog));
    QVERIFY2(Received(vantor_, row.frame), row.frame);
  }

  // Hex: typed letters become capitals; a text that is not hex digits only is
  // refused and "Enter Value" stays open.
  {
    CWriteRegistersDlg dialog(Start(kHex, false, 0, 1));
    dialog.show();
    fx.boxes->clear();
    WhenModal<CEnterValueDlg>([&fx](CEnterValueDlg* d) {
      d->visibleEdit()->setText("12 3");
      d->okButton()->click();
      QVERIFY(d->isVisible());
      QCOMPARE(fx.boxes->texts(), QStringList{"Please enter a hex number"});
      d->visibleEdit()->clear();
      QTest::keyClicks(d->visibleEdit(), "7fff");
      QCOMPARE(d->visibleEdit()->text(), QString("7FFF"));
      d->okButton()->click();
    });
    dialog.editButton()->click();
    QCOMPARE(dialog.lines(), QStringList{"000 = 0x7FFF"});
  }

  // A size with no whole value of an inverse format is refused before anything
  // is queued, so the one-shot slot stays free for the next request.
  {
    CWriteRegistersDlg dialog(Start(kFloatInverse, false, 20, 1));
    dialog.show();
    fx.boxes->clear();
    dialog.sendButton()->click();
    QVERIFY(!dialog.isSending());
    QCOMPARE(fx.boxes->texts(), QStringList{res::text::kNoWholeValue});
    QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 3, 0, 1, 0, 0));
    me::UnregisterPoll(0);
  }

  // Another one-shot request holds the slot: nothing is queued, the status bar says why.
  {
    QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 16, 0, 0, 0, 1));
    CWriteRegistersDlg dialog(Start(0, false, 0, 1), fx.frame());
    dialog.sendButton()->click();
    QVERIFY(!dialog.isSending());
    QCOMPARE(fx.frame()->statusBar()->currentMessage(), QString(res::text::kWriteStillPending));
    me::UnregisterPoll(0);
  }

  // Binary: the bit row of "Enter Value"; then the list of 127 registers keeps
  // its first visible line across an edit.
  {
    CWriteRegistersDlg dialog(Start(kBinary, true, 1, 2));
    dialog.resize(400, 200);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.valueList()->setCurrentRow(1);
    WhenModal<CEnterBitsDlg>([](CEnterBitsDlg* d) {
      d->bitRow()->box(15)->setChecked(true);
      d->bitRow()->box(0)->setChecked(true);
      d->okButton()->click();
    });
    dialog.editButton()->click();
    QCOMPARE(dialog.lines().value(1), QString("002 = 1000 0000 0000 0001 "));

    LeaveEdit(dialog, dialog.sizeEdit(), "127");
    QCOMPARE(dialog.lines().size(), 127);
    QCOMPARE(dialog.valueList()->currentRow(), 0);
    QTRY_VERIFY(dialog.valueList()->verticalScrollBar()->maximum() > 50);
    dialog.valueList()->verticalScrollBar()->setValue(50);
    dialog.valueList()->setCurrentRow(55);
    WhenModal<CEnterBitsDlg>([](CEnterBitsDlg* d) {
      d->bitRow()->box(4)->setChecked(true);
      d->okButton()->click();
    });
    dialog.editButton()->click();
    QCOMPARE(dialog.valueList()->verticalScrollBar()->value(), 50);
    QCOMPARE(dialog.valueList()->currentRow(), 55);
    QCOMPARE(dialog.lines().value(55), QString("056 = 0000 0000 0001 0000 "));
    // Leaving an edit with a bad entry shows the range text and keeps the list.
    fx.boxes->clear();
    LeaveEdit(dialog, dialog.addressEdit(), "0");
    QCOMPARE(fx.boxes->texts(), QStringList{"Please enter an integer between 1 and 65535."});
    QVERIFY(dialog.addressEdit()->hasFocus());
    QCOMPARE(dialog.lines().size(), 127);
  }
}

void MultipleWritesTest::readWriteAndTheReadBack() {
  ZelmorFixture& fx = *fx_;
  // Long Inverse: two longs written high word first make the registers 1, 2, 3, 4,
  // which the same request reads back as 1 x 65536 + 2 and 3 x 65536 + 4.
  {
    MultipleWriteStart start = Start(kLongInverse, false, 0, 4);
    start.readSize = 4;
    CReadWriteRegistersDlg dialog(start);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("23: Read/Write multiple registers (long inv.)"));
    EditLine(dialog, 0, "65538");
    EditLine(dialog, 1, "196612", true);
    fx.boxes->clear();
    QVERIFY(SendAndWait(dialog));
    QCOMPARE(fx.boxes->texts(), QStringList{"Response ok"});
    QVERIFY(Received(vantor_, "00 00 00 13 01 17 00 00 00 04 00 00 00 04 08 00 01 00 02 00 03 00 04"));
    QCOMPARE(dialog.readLines(), (QStringList{"000 = 65538", "002 = 196612"}));
  }
  // Long: the same four registers read back low word first; the list numbers
  // follow the read address as entered (PLC here).
  {
    MultipleWriteStart start = Start(kLong, true, 11, 2);
    start.readAddress = 1;
    start.readSize = 5;
    CReadWriteRegistersDlg dialog(start);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QString("23: Read/Write multiple registers (long)"));
    EditLine(dialog, 0, "-7");
    QVERIFY(SendAndWait(dialog));
    QVERIFY(Received(vantor_, "00 00 00 0F 01 17 00 00 00 05 00 0A 00 02 04 FF F9 FF FF"));
    QCOMPARE(dialog.readLines(), (QStringList{"001 = 131073", "003 = 262147"}));

    // Entry checks: no broadcast for 23, and the PLC rule for the read address
    // too. The read result list is cleared by every Send.
    fx.boxes->clear();
    dialog.slaveEdit()->setText("0");
    dialog.sendButton()->click();
    dialog.slaveEdit()->setText("1");
    dialog.readAddressEdit()->setText("0");
    dialog.sendButton()->click();
    QCOMPARE(fx.boxes->texts(), (QStringList{"Please enter an integer between 1 and 255.",
                                             "Please enter an integer between 1 and 65535."}));
    QVERIFY(dialog.readLines().isEmpty());
    QVERIFY(!dialog.isSending());
  }
  // An exception reply: the result text only, no read-back lines.
  {
    MultipleWriteStart start = Start(0, false, 0, 1);
    start.readAddress = 199;
    start.readSize = 2;  // past the end of the slave's table
    CReadWriteRegistersDlg dialog(start);
    dialog.show();
    fx.boxes->clear();
    QVERIFY(SendAndWait(dialog));
    QCOMPARE(fx.boxes->texts(), QStringList{"Illigal Data Address"});
    QVERIFY(dialog.readLines().isEmpty());
  }
}

void MultipleWritesTest::coilTicksSurviveARangeChange() {
  ZelmorFixture& fx = *fx_;
  fx.doc()->takeDefinition({1, 0, 10, 1000, 1, 0});  // coils 1 to 10, not polled
  // F9, tick "Coil 5" with the keyboard, change Size and Tab on: the tick stays
  // and Send writes it.
  QStringList tickedBefore, tickedAfter;
  bool sent = false;
  auto ticked = [](QListWidget* list) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->checkState() == Qt::Checked) lines << list->item(i)->text();
    return lines;
  };
  WhenModal<CWriteCoilsDlg>([&](CWriteCoilsDlg* d) {
    QListWidget* list = d->coilList();
    if (QTest::qWaitForWindowActive(d)) {
      list->setFocus();
      list->setCurrentRow(4);
      QTest::keyClick(list, Qt::Key_Space);
      tickedBefore = ticked(list);
      LeaveEdit(*d, d->sizeEdit(), "12");
      tickedAfter = ticked(list);
      sent = SendAndWait(*d);
    }
    d->cancelButton()->click();
  });
  fx.frame()->action(res::ID_WRITE_MULTIPLE_COILS)->trigger();
  QCOMPARE(tickedBefore, QStringList{"Coil 5"});
  QCOMPARE(tickedAfter, QStringList{"Coil 5"});
  QVERIFY(sent);
  QVERIFY(Received(vantor_, "00 00 00 09 01 0F 00 00 00 0C 02 10 00"));
}

void MultipleWritesTest::coilsAndValueFiles() {
  ZelmorFixture& fx = *fx_;
  CWriteCoilsDlg coils(Start(0, true, 1, 10));
  coils.show();
  QCOMPARE(coils.windowTitle(), QString("15: Write Multiple Coils"));
  QCOMPARE(coils.coilList()->item(9)->text(), QString("Coil 10"));
  coils.coilList()->item(0)->setCheckState(Qt::Checked);
  coils.coilList()->item(9)->setCheckState(Qt::Checked);
  QVERIFY(SendAndWait(coils));
  QVERIFY(Received(vantor_, "00 00 00 09 01 0F 00 00 00 0A 02 01 02"));
  // The limits: 2000 coils go out as 250 data bytes, 2001 are refused.
  fx.boxes->clear();
  coils.sizeEdit()->setText("2001");
  coils.sendButton()->click();
  QCOMPARE(fx.boxes->texts(), QStringList{"Please enter an integer between 1 and 2000."});
  // vantor keeps to the 1968 coils that fit a Modbus/TCP frame, so the frame is
  // checked as it left zelmor.
  coils.sizeEdit()->setText("2000");
  QVERIFY(SendAndWait(coils));
  std::uint8_t sent[me::kSlotSentCapacity];
  const std::uint16_t length = me::CopySlotSent(0, sent);
  QCOMPARE(QByteArray(reinterpret_cast<const char*>(sent) + 2, length - 2).toHex(' ').toUpper(),
           QByteArray("00 00 01 01 01 0F 00 00 07 D0 FA 01 02") + QByteArray(" 00").repeated(248));

  // Save the coil list: tag 0, then all 2000 coil bytes.
  const QString coilPath = fx.path("coils.mod");
  fx.files->script({coilPath});
  coils.saveButton()->click();
  QFile coilFile(coilPath);
  QVERIFY(coilFile.open(QIODevice::ReadOnly));
  QByteArray expected(4 + 2000, '\0');
  expected[4] = 1;
  expected[4 + 9] = 1;
  QCOMPARE(coilFile.readAll(), expected);
  QCOMPARE(fx.files->requests().last().filter, QString("zelmor data (*.mod)|*.mod||"));
  QCOMPARE(fx.files->requests().last().initialName, QString("data"));
  QCOMPARE(coils.fileName(), QString("coils"));

  // A float list saved from one window is refused by a long list and by the
  // coil dialog, and opens in the 23 dialog of a Float Inverse window.
  CWriteRegistersDlg floats(Start(kFloat, false, 0, 4));
  floats.show();
  EditLine(floats, 1, "-2.25");
  const QString floatPath = fx.path("floats.mod");
  fx.files->script({floatPath});
  floats.saveButton()->click();
  fx.boxes->clear();
  CWriteRegistersDlg longs(Start(kLong, false, 0, 4));
  fx.files->script({floatPath, coilPath, floatPath});
  longs.openButton()->click();
  longs.openButton()->click();
  coils.openButton()->click();
  QCOMPARE(fx.boxes->texts(), QStringList(3, "Not correct data type"));
  QCOMPARE(longs.lines(), (QStringList{"000 = 0", "002 = 0"}));
  MultipleWriteStart start = Start(kFloatInverse, false, 0, 4);
  CReadWriteRegistersDlg readWrite(start);
  fx.files->script({floatPath});
  readWrite.openButton()->click();
  QCOMPARE(readWrite.lines(), (QStringList{"000 = 0.0000", "002 = -2.2500"}));
  QCOMPARE(readWrite.fileName(), QString("floats"));

  // File errors.
  fx.boxes->clear();
  fx.files->script({fx.path("missing.mod")});
  readWrite.openButton()->click();
  const QString full = fx.path("full.mod");
  QVERIFY(QFile::link("/dev/full", full));
  fx.files->script({full});
  readWrite.saveButton()->click();
  QCOMPARE(fx.boxes->texts(), (QStringList{"File open error", "Disk full or disk error"}));

  // The link closes while a write waits to be served: the dialog takes it back,
  // so it neither goes out on a later connection nor keeps the slot taken.
  me::StopPolling();
  coils.sendButton()->click();
  QVERIFY(coils.isSending());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(!coils.isSending(), 5000);
  QVERIFY(me::SubmitOneShot(0, platform::WM_ENGINE_NOTIFY, 1, 3, 0, 1, 0, 0));
  me::UnregisterPoll(0);
}

// The other byte and word orders go as registers, each whole value in its order.
void MultipleWritesTest::otherOrdersOnTheWire() {
  const struct {
    int format, size;
    const char* value;
    const char* line;
    const char* frame;
  } rows[] = {
      {valuefmt::kFloatBadc, 3, "1.5", "020 = 1.5000", "00 00 00 0B 01 10 00 14 00 02 04 C0 3F 00 00"},
      {valuefmt::kUnsignedLongDcba, 2, "4000000000", "020 = 4000000000",
       "00 00 00 0B 01 10 00 14 00 02 04 00 28 6B EE"},
      {valuefmt::kLongBadc, 2, "-2", "020 = -2", "00 00 00 0B 01 10 00 14 00 02 04 FF FF FE FF"},
      {valuefmt::kDoubleDcba, 4, "-2", "020 = -2.000000",
       "00 00 00 0F 01 10 00 14 00 04 08 00 00 00 00 00 00 00 C0"},
  };
  for (const auto& row : rows) {
    CWriteRegistersDlg dialog(Start(row.format, false, 20, row.size));
    dialog.show();
    EditLine(dialog, 0, row.value);
    QCOMPARE(dialog.lines(), QStringList{row.line});
    QVERIFY(SendAndWait(dialog));
    QVERIFY2(Received(vantor_, row.frame), row.frame);
  }
  CWriteRegistersDlg dialog(Start(valuefmt::kUnsignedLongDcba, false, 20, 2));
  QCOMPARE(dialog.windowTitle(), QString("16: Write multiple registers (unsigned long DCBA)"));
}

QTEST_MAIN(MultipleWritesTest)
#include "multiple_writes_test.moc"
