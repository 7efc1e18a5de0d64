// Value editing that a master sees: every edit dialog, the automatic changes on
// the real 500 ms refresh, and a saved Float Inverse definition served again.
#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include "framework/window_messages.h"
#include "common/register_map.h"
#include "common/value_format.h"
#include "resources/value_order_texts.h"
#include "resources/vantor_resources.h"
#include "slave/app/register_map_io.h"
#include "slave/app/edit_dialogs.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"
#include "vantor_test_support.h"

using namespace vantorres;

class VantorEditingTest : public QObject {
  Q_OBJECT

 private:
  // Opens the cell's dialog through the view, lets `fill` set it and presses OK.
  template <typename T>
  bool editThroughDialog(CVantorView* view, int index, std::function<void(T*)> fill) {
    bool accepted = false;
    WhenDialogOpens<T>([&](T* d) {
      fill(d);
      d->accept();
      accepted = d->result() == QDialog::Accepted;
      if (d->isVisible()) d->reject();
    });
    view->editElement(index);
    return accepted;
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void everyEditDialogWritesWhatTheMasterReads() {
    VantorFixture f;
    QVERIFY(f.start());
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.connected());
    CVantorDoc* doc = f.doc();
    CVantorView* view = f.view();

    f.frame()->action(kFormatCommandIds[autochange::kUnsigned])->trigger();
    QVERIFY(editThroughDialog<EditRegisterDialog>(view, 0, [](EditRegisterDialog* d) {
      d->valueEdit()->setText(QStringLiteral("54321"));
    }));
    QCOMPARE(master.registers(0, 1), (std::vector<std::uint16_t>{54321}));
    QVERIFY(doc->isModified());

    f.frame()->action(kFormatCommandIds[autochange::kSigned])->trigger();
    QVERIFY(editThroughDialog<EditRegisterDialog>(view, 1, [](EditRegisterDialog* d) {
      d->valueEdit()->setText(QStringLiteral("-2"));
    }));
    QCOMPARE(master.registers(1, 1), (std::vector<std::uint16_t>{65534}));
    QVERIFY(!editThroughDialog<EditRegisterDialog>(view, 1, [](EditRegisterDialog* d) {
      d->valueEdit()->setText(QStringLiteral("32768"));
    }));
    QCOMPARE(f.boxes.lastText(), QStringLiteral("Please enter an integer between -32768 and 32767."));

    f.frame()->action(kFormatCommandIds[autochange::kHex])->trigger();
    QString label;
    QVERIFY(editThroughDialog<EditRegisterDialog>(view, 2, [&](EditRegisterDialog* d) {
      label = d->valueLabel()->text();
      d->valueEdit()->setText(QStringLiteral("beEF"));
    }));
    QCOMPARE(label, QStringLiteral("Value (HEX):"));
    QCOMPARE(master.registers(2, 1), (std::vector<std::uint16_t>{0xBEEF}));
    QString shownHex;
    bool stayedOpen = false;
    WhenDialogOpens<EditRegisterDialog>([&](EditRegisterDialog* d) {
      shownHex = d->valueEdit()->text();
      d->valueEdit()->setText(QStringLiteral("12G4"));
      d->accept();
      stayedOpen = d->isVisible();
      d->reject();
    });
    view->editElement(2);
    QCOMPARE(shownHex, QStringLiteral("BEEF"));
    QVERIFY(stayedOpen);
    QCOMPARE(f.boxes.lastText(), QStringLiteral("Please enter a hex number"));
    QCOMPARE(master.registers(2, 1), (std::vector<std::uint16_t>{0xBEEF}));

    f.frame()->action(kFormatCommandIds[autochange::kBinary])->trigger();
    QVERIFY(editThroughDialog<EditBinaryDialog>(view, 3, [](EditBinaryDialog* d) {
      d->bitBox(15)->setChecked(true);
      d->bitBox(0)->setChecked(true);
    }));
    QCOMPARE(master.registers(3, 1), (std::vector<std::uint16_t>{0x8001}));

    f.frame()->action(kFormatCommandIds[autochange::kFloat])->trigger();
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 5, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("1.5"));
    }));
    QCOMPARE(master.registers(4, 2), (std::vector<std::uint16_t>{0x0000, 0x3FC0}));  // low word first
    f.frame()->action(kFormatCommandIds[autochange::kFloatInverse])->trigger();
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 4, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("-2"));
    }));
    QCOMPARE(master.registers(4, 2), (std::vector<std::uint16_t>{0xC000, 0x0000}));  // high word first
    QVERIFY(!editThroughDialog<EditFloatDialog>(view, 4, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("4e38"));
    }));
    QVERIFY(f.boxes.lastText().startsWith(QStringLiteral("Please enter a number between")));

    f.frame()->action(kFormatCommandIds[autochange::kDouble])->trigger();
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 0, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("2.5"));  // 0x4004000000000000
    }));
    QCOMPARE(master.registers(0, 4), (std::vector<std::uint16_t>{0, 0, 0, 0x4004}));
    f.frame()->action(kFormatCommandIds[autochange::kDoubleInverse])->trigger();
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 0, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("2.5"));
    }));
    QCOMPARE(master.registers(0, 4), (std::vector<std::uint16_t>{0x4004, 0, 0, 0}));

    f.frame()->action(kFormatCommandIds[autochange::kLong])->trigger();
    QVERIFY(editThroughDialog<EditLongDialog>(view, 8, [](EditLongDialog* d) {
      d->valueEdit()->setText(QStringLiteral("-2"));
    }));
    QCOMPARE(master.registers(8, 2), (std::vector<std::uint16_t>{0xFFFE, 0xFFFF}));
    f.frame()->action(kFormatCommandIds[autochange::kLongInverse])->trigger();
    QVERIFY(editThroughDialog<EditLongDialog>(view, 9, [](EditLongDialog* d) {
      d->valueEdit()->setText(QStringLiteral("65536"));
    }));
    QCOMPARE(master.registers(8, 2), (std::vector<std::uint16_t>{0x0001, 0x0000}));
    QVERIFY(!editThroughDialog<EditLongDialog>(view, 8, [](EditLongDialog* d) {
      d->valueEdit()->setText(QStringLiteral("2147483647"));
    }));
    QCOMPARE(f.boxes.lastText(), QStringLiteral("Please enter an integer between -2147483646 and 2147483646."));

    // Coils: "Edit Coil" with On / Off.
    doc->applyDefinition(1, 1, 0, 16);
    QVERIFY(editThroughDialog<EditCoilDialog>(view, 9, [](EditCoilDialog* d) { d->onButton()->setChecked(true); }));
    std::vector<std::uint8_t> expected(16, 0);
    expected[9] = 1;
    QCOMPARE(master.bits(0, 16), expected);
    QVERIFY(editThroughDialog<EditCoilDialog>(view, 9, [](EditCoilDialog* d) { d->offButton()->setChecked(true); }));
    QCOMPARE(master.bits(0, 16), std::vector<std::uint8_t>(16, 0));

    // Cancel changes nothing.
    doc->setModified(false);
    WhenDialogOpens<EditCoilDialog>([](EditCoilDialog* d) {
      d->onButton()->setChecked(true);
      d->reject();
    });
    view->editElement(2);
    QCOMPARE(master.bits(2, 1), std::vector<std::uint8_t>{0});
    QVERIFY(!doc->isModified());
  }

  void autoIncrementWrapsAndCoilsToggleOnTheRefresh() {
    VantorFixture f;
    QVERIFY(f.start());
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.connected());
    CVantorDoc* doc = f.doc();
    f.frame()->action(kFormatCommandIds[autochange::kUnsigned])->trigger();
    QVERIFY(editThroughDialog<EditRegisterDialog>(f.view(), 4, [](EditRegisterDialog* d) {
      d->valueEdit()->setText(QStringLiteral("65535"));
      d->autoBox()->setChecked(true);
    }));
    QCOMPARE(doc->autoFlag(4), 1u);
    doc->setModified(false);
    QTRY_COMPARE_WITH_TIMEOUT(f.view()->cellValueText(4), QStringLiteral("    0"), 3000);
    const std::vector<std::uint16_t> read = master.registers(4, 1);
    QCOMPARE(read.size(), 1u);
    QVERIFY2(read[0] < 10, "the master reads the wrapped value");
    QTRY_COMPARE_WITH_TIMEOUT(f.view()->cellValueText(4), QStringLiteral("    2"), 3000);
    QVERIFY(!doc->isModified());  // automatic changes are no edits
    QCOMPARE(f.view()->cellValueText(3), QStringLiteral("    0"));

    // A second window with coils that toggle.
    auto* coils = static_cast<CVantorDoc*>(f.frame()->newDocument());
    coils->applyDefinition(2, 1, 100, 8);
    QVERIFY(editThroughDialog<EditCoilDialog>(static_cast<CVantorView*>(coils->firstView()), 3,
                                              [](EditCoilDialog* d) { d->autoBox()->setChecked(true); }));
    LibModbusMaster coilMaster(port, 2);
    QVERIFY(coilMaster.connected());
    QTRY_COMPARE_WITH_TIMEOUT(autochange::ImageBit(coils->image(), 3), std::uint8_t(1), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(autochange::ImageBit(coils->image(), 3), std::uint8_t(0), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(coilMaster.bits(103, 1), std::vector<std::uint8_t>{1}, 3000);
    QCOMPARE(coilMaster.bits(102, 1), std::vector<std::uint8_t>{0});

    // Disconnected: the receive thread is stopped and nothing changes.
    f.frame()->action(ID_DISCONNECT)->trigger();
    QVERIFY(!f.app()->isConnected());
    QApplication::processEvents();
    const QString frozen = f.view()->cellValueText(4);
    QTest::qWait(1200);
    QCOMPARE(f.view()->cellValueText(4), frozen);
  }

  void autoIncrementOfFloatsAndLongsInBothWordOrders() {
    VantorFixture f;
    QVERIFY(f.start());
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    CVantorDoc* doc = f.doc();
    f.frame()->action(kFormatCommandIds[autochange::kFloatInverse])->trigger();
    doc->editFloat(0, 10.0f, true);
    f.frame()->action(kFormatCommandIds[autochange::kLong])->trigger();
    doc->editLong(2, 0x7FFFFFFF, true);
    QTRY_VERIFY_WITH_TIMEOUT(autochange::ImageLong(doc->image(), 2, false) < 0, 3000);
    const std::vector<std::uint16_t> words = master.registers(4, 2);
    QCOMPARE(words.size(), 2u);
    QCOMPARE(words[1], std::uint16_t(0x8000));  // wrapped to the most negative long, low word first
    // The flag of value 0 now acts on the Long at registers 0 and 1.
    QVERIFY(autochange::ImageLong(doc->image(), 0, false) != 0);
  }

  void savedFloatInverseDefinitionServesTheSameRegisters() {
    VantorFixture f;
    QVERIFY(f.start());
    CVantorDoc* doc = f.doc();
    f.frame()->action(kFormatCommandIds[autochange::kFloatInverse])->trigger();
    doc->editFloat(0, 3.25f, false);
    doc->editFloat(3, -1e-3f, true);
    const QString path = f.dir.filePath(QStringLiteral("inverse.vnd"));
    QVERIFY(doc->saveTo(path));
    QCOMPARE(QFileInfo(path).size(), qint64(20600));  // the face name Courier New
    int port = f.connectTcp();
    QVERIFY(port > 0);
    std::vector<std::uint16_t> before;
    {
      LibModbusMaster master(port);
      before = master.registers(0, 8);
    }
    QCOMPARE(before.size(), 8u);
    QCOMPARE(before[0], std::uint16_t(0x4050));
    QCOMPARE(before[1], std::uint16_t(0x0000));

    // Reopen in a fresh program.
    VantorCommandLine commandLine;
    commandLine.paths = {path};
    QVERIFY(f.restart(commandLine));
    QCOMPARE(f.frame()->documents().size(), 1);
    QCOMPARE(f.doc()->displayFormat(), autochange::kFloatInverse);
    QCOMPARE(f.doc()->autoFlag(3), 1u);
    QCOMPARE(f.view()->cellValueText(0), QStringLiteral("         3.2500"));
    f.doc()->setModified(false);
    port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    const std::vector<std::uint16_t> after = master.registers(0, 8);
    QCOMPARE(after.size(), 8u);
    // Value 3 keeps incrementing once connected; the others are as saved.
    for (int i : {0, 1, 2, 3, 4, 5}) QCOMPARE(after[i], before[i]);
  }
  void otherOrdersEditWhatTheMasterReadsAndMapsGoInAndOut() {
    VantorFixture f;
    QVERIFY(f.start());
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.connected());
    CVantorView* view = f.view();
    auto order = [&](int format) {
      f.frame()->action(ordertexts::kFormatCommandIds[format - ordertexts::kFirstFormat])->trigger();
    };
    order(valuefmt::kFloatDcba);
    QCOMPARE(f.doc()->displayFormat(), int(valuefmt::kFloatDcba));
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 1, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("1.5"));  // 0x3FC00000
    }));
    QCOMPARE(master.registers(0, 2), (std::vector<std::uint16_t>{0x0000, 0xC03F}));
    order(valuefmt::kUnsignedLongBadc);
    QVERIFY(editThroughDialog<EditLongDialog>(view, 2, [](EditLongDialog* d) {
      d->valueEdit()->setText(QStringLiteral("4000000000"));  // 0xEE6B2800
    }));
    QCOMPARE(master.registers(2, 2), (std::vector<std::uint16_t>{0x6BEE, 0x0028}));
    QVERIFY(!editThroughDialog<EditLongDialog>(view, 2, [](EditLongDialog* d) {
      d->valueEdit()->setText(QStringLiteral("-1"));
    }));
    order(valuefmt::kDoubleBadc);
    QVERIFY(editThroughDialog<EditFloatDialog>(view, 4, [](EditFloatDialog* d) {
      d->valueEdit()->setText(QStringLiteral("2.5"));  // 0x4004000000000000
    }));
    QCOMPARE(master.registers(4, 4), (std::vector<std::uint16_t>{0x0440, 0, 0, 0}));

    // A map: a value into this window's registers, a new window for the input registers.
    const QString path = f.dir.filePath(QStringLiteral("map.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("table,address,type,order,name,unit,scale,value\n"
               "holding registers,400009,int32,CDAB,Count,,1,-3\n"
               "input registers,300101,float32,ABCD,Level,m,1,0.25\n");
    file.close();
    QString error;
    QVERIFY2(vantormapio::ImportRegisterMapFile(f.frame(), path, 1, &error), qPrintable(error));
    QCOMPARE(f.frame()->documents().size(), 2);
    QCOMPARE(master.registers(8, 2), (std::vector<std::uint16_t>{0xFFFD, 0xFFFF}));
    QCOMPARE(master.registers(100, 2, true), (std::vector<std::uint16_t>{0x3E80, 0x0000}));
    // Out again: the map's rows with their names and the values served (a window
    // with rows gives only its rows).
    const QString out = f.dir.filePath(QStringLiteral("out.csv"));
    QVERIFY2(vantormapio::ExportRegisterMapFile(f.frame(), out, &error), qPrintable(error));
    regmap::RegisterMap exported;
    std::string why;
    QVERIFY2(regmap::LoadRegisterMap(out.toStdString(), &exported, &why), why.c_str());
    QCOMPARE(exported.entries.size(), std::size_t{2});
    QCOMPARE(exported.entries[0].name, std::string("Count"));
    QCOMPARE(exported.entries[0].value, -3.0);
    QCOMPARE(exported.entries[1].name, std::string("Level"));
    QCOMPARE(exported.entries[1].value, 0.25);
    // A bad map changes nothing.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("table,address,type,order,name,unit,scale,value\n"
               "holding registers,0,int16,,a,,,1\n"
               "holding registers,1,uint16,,b,,,70000\n");
    file.close();
    QVERIFY(!vantormapio::ImportRegisterMapFile(f.frame(), path, 1, &error));
    QCOMPARE(error, QStringLiteral("line 3, column 8 (value): 70000 is outside uint16 (0..65535)"));
    QCOMPARE(f.frame()->documents().size(), 2);
    QCOMPARE(master.registers(0, 2), (std::vector<std::uint16_t>{0x0000, 0xC03F}));
  }
};

QTEST_MAIN(VantorEditingTest)
#include "vantor_editing_test.moc"
