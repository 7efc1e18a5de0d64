// The slave document and view through the real windows: first start, defaults,
// the Slave Definition dialog, re-registration, value texts and double clicks.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QImage>
#include <QPainter>
#include <QtTest>

#include "framework/window_messages.h"
#include "resources/vantor_resources.h"
#include "slave/app/definition_dialog.h"
#include "slave/app/edit_dialogs.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"
#include "vantor_test_support.h"

using namespace vantorres;

class VantorDocumentTest : public QObject {
  Q_OBJECT

 private:
  // Fills the definition dialog, presses OK and reports what happened; the
  // dialog is cancelled when OK left it open.
  struct DialogOutcome {
    bool stayedOpen = false;
    QString focusedField;
  };
  DialogOutcome runDefinitionDialog(VantorFixture& f, const QString& id, int function, const QString& address,
                                    const QString& length) {
    DialogOutcome outcome;
    WhenDialogOpens<DefinitionDialog>([&](DefinitionDialog* d) {
      d->slaveIdEdit()->setText(id);
      d->functionList()->setCurrentIndex(function);
      d->addressEdit()->setText(address);
      d->lengthEdit()->setText(length);
      d->accept();
      outcome.stayedOpen = d->isVisible();
      if (QWidget* focus = QApplication::focusWidget()) outcome.focusedField = focus->objectName();
      if (outcome.stayedOpen) d->reject();
    });
    f.frame()->action(ID_SLAVE_DEFINITION)->trigger();
    return outcome;
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void firstStartShowsOneDefaultSlaveWindow() {
    VantorFixture f;
    QVERIFY(f.start());
    QCOMPARE(f.frame()->documents().size(), 1);
    CVantorDoc* doc = f.doc();
    QCOMPARE(doc->slaveId(), 1);
    QCOMPARE(doc->table(), 3);
    QCOMPARE(doc->address(), 0);
    QCOMPARE(doc->length(), 10);
    QCOMPARE(doc->displayFormat(), 0);
    QVERIFY(doc->oneBased());
    QCOMPARE(QString::fromStdString(doc->font().faceName), QStringLiteral("Courier New"));
    QCOMPARE(doc->font().height, -10);
    QCOMPARE(doc->textColor(), 9u);
    QVERIFY(doc->slot() >= 0);
    QVERIFY(!f.app()->isConnected());
    QCOMPARE(f.frame()->commPaneText(), QStringLiteral("Port 1: 9600-8-N-1"));
    QVERIFY(f.frame()->action(ID_CONNECT)->isEnabled());
    QVERIFY(!f.frame()->action(ID_DISCONNECT)->isEnabled());
    QCOMPARE(f.view()->headerText(), QStringLiteral("ID = 1    "));
    QCOMPARE(f.view()->cellLabel(0), QStringLiteral("40001 = "));
    QCOMPARE(f.view()->cellValueText(0), QStringLiteral("     0"));
    QCOMPARE(f.boxes.count(), 0);
  }

  void useAsDefaultSurvivesARestart() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(17, 4, 99, 20);
    f.doc()->setDisplayFormat(autochange::kHex);
    f.doc()->setOneBased(false);
    archive::LogFont font = f.doc()->font();
    font.faceName = "DejaVu Sans Mono";
    font.height = -12;
    font.weight = 700;
    f.doc()->setFont(font);
    f.frame()->action(ID_USE_AS_DEFAULT)->trigger();
    QVERIFY(f.restart());
    CVantorDoc* doc = f.doc();
    QCOMPARE(doc->slaveId(), 17);
    QCOMPARE(doc->table(), 4);
    QCOMPARE(doc->address(), 99);
    QCOMPARE(doc->length(), 20);
    QCOMPARE(doc->displayFormat(), 2);
    QVERIFY(!doc->oneBased());
    QCOMPARE(QString::fromStdString(doc->font().faceName), QStringLiteral("DejaVu Sans Mono"));
    QCOMPARE(doc->font().height, -12);
    QCOMPARE(doc->font().weight, 700);
    QCOMPARE(f.view()->cellLabel(0), QStringLiteral("00099 = "));
  }

  void definitionDialogChecksFieldsInOrder_data() {
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("function");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("message");
    QTest::newRow("address first") << "0" << 2 << "70000" << "0" << "Please enter an integer between 0 and 65535.";
    QTest::newRow("length before id") << "0" << 0 << "1" << "5000" << "Please enter an integer between 1 and 4096.";
    QTest::newRow("slave id") << "256" << 0 << "1" << "10" << "Please enter an integer between 1 and 255.";
    QTest::newRow("registers length") << "1" << 2 << "1" << "2049" << "Please enter an integer between 1 and 2048.";
    QTest::newRow("input registers length") << "1" << 3 << "1" << "4096"
                                            << "Please enter an integer between 1 and 2048.";
    QTest::newRow("PLC address 0") << "1" << 0 << "0" << "10" << "Please enter an integer between 1 and 65535.";
    QTest::newRow("not a number") << "x" << 0 << "1" << "10" << "Please enter an integer.";
  }

  void definitionDialogChecksFieldsInOrder() {
    QFETCH(QString, id);
    QFETCH(int, function);
    QFETCH(QString, address);
    QFETCH(QString, length);
    QFETCH(QString, message);
    VantorFixture f;
    QVERIFY(f.start());
    const int slot = f.doc()->slot();
    const DialogOutcome outcome = runDefinitionDialog(f, id, function, address, length);
    QVERIFY(outcome.stayedOpen);
    QCOMPARE(f.boxes.texts(), QStringList{message});
    // Nothing changed: same definition, same slot.
    QCOMPARE(f.doc()->length(), 10);
    QCOMPARE(f.doc()->slot(), slot);
    QVERIFY(!f.doc()->isModified());
  }

  void definitionDialogOpensWithTheShownAddress() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(5, 1, 99, 3000);
    QString shownAddress, shownLength, shownId;
    int shownFunction = -1;
    WhenDialogOpens<DefinitionDialog>([&](DefinitionDialog* d) {
      shownAddress = d->addressEdit()->text();
      shownLength = d->lengthEdit()->text();
      shownId = d->slaveIdEdit()->text();
      shownFunction = d->functionList()->currentIndex();
      QCOMPARE(d->functionList()->itemText(2), QStringLiteral("03 HOLDING REGISTER"));
      d->reject();
    });
    f.frame()->action(ID_SLAVE_DEFINITION)->trigger();
    QCOMPARE(shownAddress, QStringLiteral("100"));  // PLC addressing shows address + 1
    QCOMPARE(shownLength, QStringLiteral("3000"));
    QCOMPARE(shownId, QStringLiteral("5"));
    QCOMPARE(shownFunction, 0);
  }

  void redefinitionKeepsValuesAboveTheFirst256Bytes() {
    VantorFixture f;
    QVERIFY(f.start());
    CVantorDoc* doc = f.doc();
    doc->editRegister(0, 11, false);
    doc->editRegister(127, 22, false);  // bytes 254..255: cleared
    doc->editRegister(128, 33, false);  // bytes 256..257: kept
    doc->editRegister(1000, 44, false);
    doc->setModified(false);
    const DialogOutcome outcome = runDefinitionDialog(f, QStringLiteral("7"), 2, QStringLiteral("6"),
                                                      QStringLiteral("1500"));
    QVERIFY(!outcome.stayedOpen);
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(doc->slaveId(), 7);
    QCOMPARE(doc->address(), 5);  // PLC address 6 is protocol address 5
    QCOMPARE(doc->length(), 1500);
    QVERIFY(doc->isModified());
    QVERIFY(doc->slot() >= 0);
    // The engine serves the pushed image.
    std::vector<std::uint16_t> words(1500);
    QVERIFY(slaveengine::ReadSlotRegisters(doc->slot(), words.data()));
    QCOMPARE(words[0], std::uint16_t(0));
    QCOMPARE(words[127], std::uint16_t(0));
    QCOMPARE(words[128], std::uint16_t(33));
    QCOMPARE(words[1000], std::uint16_t(44));
    // A master sees the same through the new definition.
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port, 7);
    QVERIFY(master.connected());
    QCOMPARE(master.registers(5 + 127, 2), (std::vector<std::uint16_t>{0, 33}));
    QCOMPARE(master.registers(5 + 1000, 1), (std::vector<std::uint16_t>{44}));
  }

  void plcAddressesNeedAnAddressBelow10000() {
    VantorFixture f;
    QVERIFY(f.start());
    f.frame()->action(ID_PROTOCOL_ADDRESSES)->trigger();
    QVERIFY(!f.doc()->oneBased());
    f.doc()->applyDefinition(1, 3, 10000, 10);
    f.frame()->action(ID_PLC_ADDRESSES)->trigger();
    QVERIFY(!f.doc()->oneBased());
    QCOMPARE(f.boxes.texts(),
             QStringList{QStringLiteral("The address value must be below 10000 when PLC mode is selected")});
    f.doc()->applyDefinition(1, 3, 9995, 10);
    f.frame()->action(ID_PLC_ADDRESSES)->trigger();
    QVERIFY(f.doc()->oneBased());
    QVERIFY(f.frame()->action(ID_PLC_ADDRESSES)->isChecked());
    // Address + length beyond 9999: the wide label form for every cell.
    QCOMPARE(f.view()->cellLabel(0), QStringLiteral("409996 = "));
    QCOMPARE(f.view()->cellLabel(9), QStringLiteral("410005 = "));
  }

  void valueTextsFollowTheFormatAndWordOrder() {
    VantorFixture f;
    QVERIFY(f.start());
    CVantorDoc* doc = f.doc();
    CVantorView* view = f.view();
    doc->editRegister(0, 0x0000, false);
    doc->editRegister(1, 0x3F80, false);
    doc->editRegister(2, 0xFFFF, false);
    f.frame()->action(kFormatCommandIds[autochange::kFloat])->trigger();
    QCOMPARE(view->cellValueText(0), QStringLiteral("         1.0000"));
    QCOMPARE(view->cellValueText(1), QString());  // second cell of the pair: label only
    QVERIFY(f.frame()->action(kFormatCommandIds[autochange::kFloat])->isChecked());
    f.frame()->action(kFormatCommandIds[autochange::kFloatInverse])->trigger();
    QCOMPARE(view->cellValueText(0), QStringLiteral("         0.0000"));
    QVERIFY(!f.frame()->action(kFormatCommandIds[autochange::kFloat])->isChecked());
    // Too wide for "%15.4f": "%15.8G".
    doc->editFloat(2, 1e12f, false);
    QCOMPARE(view->cellValueText(4), QString::asprintf("%15.8G", static_cast<double>(1e12f)));
    f.frame()->action(kFormatCommandIds[autochange::kSigned])->trigger();
    QCOMPARE(view->cellValueText(0), QStringLiteral("     0"));
    doc->editRegister(2, 0xFFFF, false);
    QCOMPARE(view->cellValueText(2), QStringLiteral("    -1"));
    f.frame()->action(kFormatCommandIds[autochange::kUnsigned])->trigger();
    QCOMPARE(view->cellValueText(2), QStringLiteral("65535"));
    f.frame()->action(kFormatCommandIds[autochange::kHex])->trigger();
    QCOMPARE(view->cellValueText(1), QStringLiteral("0x3F80"));
    f.frame()->action(kFormatCommandIds[autochange::kBinary])->trigger();
    QCOMPARE(view->cellValueText(1), QStringLiteral("0011111110000000"));
    f.frame()->action(kFormatCommandIds[autochange::kLong])->trigger();
    doc->editLong(1, -2, false);
    QCOMPARE(view->cellValueText(2), QStringLiteral("        -2"));
    QCOMPARE(autochange::ImageRegister(doc->image(), 2), std::uint16_t(0xFFFE));
    f.frame()->action(kFormatCommandIds[autochange::kLongInverse])->trigger();
    QCOMPARE(view->cellValueText(2), QString::asprintf("%10i", static_cast<int>(0xFFFEFFFFu)));
    f.frame()->action(kFormatCommandIds[autochange::kDouble])->trigger();
    doc->editDouble(1, 0.5, false);
    QCOMPARE(view->cellValueText(4), QStringLiteral("         0.500000"));
    QCOMPARE(view->cellValueText(8), QString());  // only two registers left in a length of 10
    f.frame()->action(kFormatCommandIds[autochange::kDoubleInverse])->trigger();
    QVERIFY(view->cellValueText(4) != QStringLiteral("         0.500000"));
    // Odd length: the last cell of a 32-bit format has no value.
    doc->applyDefinition(1, 3, 0, 9);
    f.frame()->action(kFormatCommandIds[autochange::kFloat])->trigger();
    QCOMPARE(view->cellValueText(8), QString());
    // Coils ignore the format.
    doc->applyDefinition(1, 1, 0, 9);
    doc->editCoil(3, 1, false);
    QCOMPARE(view->cellValueText(3), QStringLiteral("1"));
    QCOMPARE(view->cellLabel(3), QStringLiteral("00004 = "));
  }

  void doubleClicksOpenTheDialogOfTheCell() {
    VantorFixture f;
    QVERIFY(f.start());
    CVantorDoc* doc = f.doc();
    CVantorView* view = f.view();
    doc->applyDefinition(1, 3, 0, 9);
    f.frame()->action(kFormatCommandIds[autochange::kFloat])->trigger();
    doc->editFloat(0, 2.5f, false);
    const CellLayout& l = view->layout();
    auto cellPoint = [&](int index) {
      const int column = index / l.rowsPerColumn, row = index % l.rowsPerColumn;
      return QPoint(column * l.columnWidth + 3, (row + 2) * l.rowHeight + 3) - view->scrollPosition();
    };
    // The second cell of a pair edits the pair.
    QString shown;
    WhenDialogOpens<EditFloatDialog>([&](EditFloatDialog* d) {
      shown = d->valueEdit()->text();
      d->reject();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellPoint(1));
    QCOMPARE(shown, QStringLiteral("2.5"));
    // The last cell of an odd length, and the header rows, open nothing.
    bool opened = false;
    QTimer* waiter = WhenDialogOpens<QDialog>([&](QDialog* d) {
      opened = true;
      d->reject();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellPoint(8));
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, QPoint(3, l.rowHeight + 2));
    QTest::qWait(50);
    delete waiter;
    QVERIFY(!opened);
    // Doubles: quads; a click on the fourth cell edits value 0.
    doc->applyDefinition(1, 3, 0, 10);
    f.frame()->action(kFormatCommandIds[autochange::kDouble])->trigger();
    doc->editDouble(0, -7.25, true);
    bool autoShown = false;
    WhenDialogOpens<EditFloatDialog>([&](EditFloatDialog* d) {
      shown = d->valueEdit()->text();
      autoShown = d->autoBox()->isChecked();
      d->reject();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellPoint(3));
    QCOMPARE(shown, QStringLiteral("-7.25"));
    QVERIFY(autoShown);
    // Binary format opens the bit dialog for the register itself.
    f.frame()->action(kFormatCommandIds[autochange::kBinary])->trigger();
    doc->editRegister(5, 0x8001, false);
    std::uint16_t bits = 0;
    WhenDialogOpens<EditBinaryDialog>([&](EditBinaryDialog* d) {
      bits = d->value();
      d->reject();
    });
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, cellPoint(5));
    QCOMPARE(bits, std::uint16_t(0x8001));
  }

  void printedPageCarriesHeaderAndCellsRightOfTheMargin() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(1, 3, 0, 40);
    QImage page(850, 1100, QImage::Format_RGB32);
    page.setDotsPerMeterX(3780);  // 96 dpi
    page.setDotsPerMeterY(3780);
    page.fill(Qt::white);
    {
      QPainter painter(&page);
      f.view()->renderPage(painter, &page);
    }
    // Nothing inside the left tenth of the page; red "No connection" in the second line;
    // text-coloured cells below.
    bool inMargin = false, red = false, cells = false;
    for (int y = 0; y < page.height(); ++y) {
      for (int x = 0; x < page.width(); ++x) {
        const QColor c = page.pixelColor(x, y);
        if (c == Qt::white) continue;
        if (x < page.width() / 10 - 1) inMargin = true;
        if (c.red() > 150 && c.green() < 100 && c.blue() < 100) red = true;
        if (y > 60 && c.red() < 150 && c.blue() < 150) cells = true;
      }
    }
    QVERIFY(!inMargin);
    QVERIFY(red);
    QVERIFY(cells);
  }

  void closingTheWindowReleasesItsSlot() {
    VantorFixture f;
    QVERIFY(f.start());
    const int slot = f.doc()->slot();
    QVERIFY(slot >= 0);
    QVERIFY(slaveengine::IsSlaveIdServed(1));
    f.frame()->action(ID_FILE_CLOSE)->trigger();
    QTRY_COMPARE(f.frame()->documents().size(), 0);
    QTRY_VERIFY(!slaveengine::IsSlaveIdServed(1));
    QVERIFY(!f.frame()->action(ID_SLAVE_DEFINITION)->isEnabled());
  }

  void thirtyThirdWindowGetsNoSlot() {
    VantorFixture f;
    QVERIFY(f.start());
    for (int i = 1; i < 32; ++i) f.frame()->newDocument();
    QCOMPARE(f.boxes.count(), 0);
    f.frame()->newDocument();
    QCOMPARE(f.boxes.texts(),
             QStringList{QStringLiteral("No more data resources. Close a window to release a resource.")});
    QCOMPARE(f.doc()->slot(), -1);
  }
};

QTEST_MAIN(VantorDocumentTest)
#include "vantor_document_test.moc"
