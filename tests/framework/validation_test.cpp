// Dialog data exchange: accepted integer and number forms, the standard texts,
// stopping at the first bad field with that field focused and selected.
#include <QDialog>
#include <QLineEdit>
#include <QVBoxLayout>
#include <QtTest>
#include <cmath>

#include "framework/testing/message_box_recorder.h"
#include "framework/validation.h"

class ValidationTest : public QObject {
  Q_OBJECT

 private slots:
  void integerForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("value");
    QTest::newRow("plain") << "123" << true << 123;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("plus sign") << "+42" << true << 42;
    QTest::newRow("minus sign") << "-17" << true << -17;
    QTest::newRow("blanks around") << "  \t 99 \t " << true << 99;
    QTest::newRow("leading zeros") << "007" << true << 7;
    QTest::newRow("int max") << "2147483647" << true << 2147483647;
    QTest::newRow("int min") << "-2147483648" << true << int(-2147483647 - 1);
    QTest::newRow("too big clamps") << "99999999999999999999" << true << 2147483647;
    QTest::newRow("too small clamps") << "-99999999999" << true << int(-2147483647 - 1);
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("only blanks") << "   " << false << 0;
    QTest::newRow("only sign") << "-" << false << 0;
    QTest::newRow("inner blank") << "12 3" << false << 0;
    QTest::newRow("trailing letters") << "12abc" << false << 0;
    QTest::newRow("hex prefix") << "0x10" << false << 0;
    QTest::newRow("decimal point") << "1.5" << false << 0;
    QTest::newRow("two signs") << "+-1" << false << 0;
    QTest::newRow("blank after sign") << "- 1" << false << 0;
  }
  void integerForms() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(int, value);
    int parsed = -12345;
    QCOMPARE(fw::ParseIntegerText(text, &parsed), accepted);
    if (accepted) QCOMPARE(parsed, value);
  }

  void numberForms_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<double>("value");
    QTest::newRow("integer") << "12" << true << 12.0;
    QTest::newRow("fraction") << "-1.5" << true << -1.5;
    QTest::newRow("leading point") << ".25" << true << 0.25;
    QTest::newRow("trailing point") << "3." << true << 3.0;
    QTest::newRow("exponent") << " 1e3 " << true << 1000.0;
    QTest::newRow("signed exponent") << "2.5E-2" << true << 0.025;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("point only") << "." << false << 0.0;
    QTest::newRow("comma") << "1,5" << false << 0.0;
    QTest::newRow("exponent without digits") << "1e" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("hex float") << "0x1p3" << false << 0.0;
    QTest::newRow("inner blank") << "1 .5" << false << 0.0;
  }
  void numberForms() {
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(double, value);
    double parsed = -1;
    QCOMPARE(fw::ParseNumberText(text, &parsed), accepted);
    if (accepted) QCOMPARE(parsed, value);
  }

  void overflowingNumberFailsRange() {
    double parsed = 0;
    QVERIFY(fw::ParseNumberText("1e999", &parsed));
    QVERIFY(std::isinf(parsed));
    QVERIFY(fw::ParseNumberText("-1e999", &parsed));
    QVERIFY(std::isinf(parsed) && parsed < 0);
    QVERIFY(fw::ParseNumberText(QString(400, '9'), &parsed));
    QVERIFY(std::isinf(parsed));
    // Too small to represent reads as zero, which a range check may accept.
    QVERIFY(fw::ParseNumberText("1e-999", &parsed));
    QCOMPARE(parsed, 0.0);
    QVERIFY(fw::ParseNumberText("0." + QString(400, '0') + "1", &parsed));
    QCOMPARE(parsed, 0.0);
    fw::testing::MessageBoxRecorder boxes;
    QLineEdit edit("1e999");
    fw::DataExchange dx;
    double out = 7;
    QVERIFY(!dx.doubleField(&edit, -1e300, 1e300, &out));
    QCOMPARE(out, 7.0);
    QVERIFY(boxes.lastText().startsWith("Please enter a number between"));
    fw::DataExchange unbounded;
    QVERIFY(!unbounded.doubleField(&edit, &out));
    QCOMPARE(boxes.lastText(), QString("Please enter a number."));
  }

  void standardTexts() {
    QCOMPARE(fw::IntegerRangeText(1, 255), QString("Please enter an integer between 1 and 255."));
    QCOMPARE(fw::IntegerRangeText(-32768, 32767),
             QString("Please enter an integer between -32768 and 32767."));
    QCOMPARE(fw::IntegerText(), QString("Please enter an integer."));
    QCOMPARE(fw::NumberText(), QString("Please enter a number."));
    QCOMPARE(fw::MaxCharsText(4), QString("Please enter no more than 4 characters."));
    // Bounds in "%.*g": 6 significant digits for float, 15 for double.
    QCOMPARE(fw::NumberRangeText(-3.4028234663852886e38, 3.4028234663852886e38, 6),
             QString("Please enter a number between -3.40282e+38 and 3.40282e+38."));
    QCOMPARE(fw::NumberRangeText(0.1, 1e6, 15),
             QString("Please enter a number between 0.1 and 1000000."));
  }

  // Fields are checked in order; the first failure shows its text once with an
  // exclamation icon, focuses that field with all its text selected, and the
  // later fields are neither checked nor written.
  void stopsAtFirstFailureWithFieldFocusedAndSelected() {
    fw::testing::MessageBoxRecorder boxes;
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* address = new QLineEdit("  100 ", &dialog);
    auto* length = new QLineEdit("2001", &dialog);
    auto* slave = new QLineEdit("abc", &dialog);
    layout->addWidget(address);
    layout->addWidget(length);
    layout->addWidget(slave);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    slave->setFocus();

    int addressValue = -1, lengthValue = -1, slaveValue = -1;
    fw::DataExchange dx(&dialog);
    bool ok = dx.intField(address, 0, 65535, &addressValue) &&
              dx.intField(length, 1, 2000, &lengthValue) &&
              dx.intField(slave, 1, 255, &slaveValue);
    QVERIFY(!ok);
    QVERIFY(!dx.ok());
    QCOMPARE(addressValue, 100);
    QCOMPARE(lengthValue, -1);
    QCOMPARE(slaveValue, -1);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(boxes.calls()[0].text, QString("Please enter an integer between 1 and 2000."));
    QCOMPARE(boxes.calls()[0].icon, fw::MsgIcon::Exclamation);
    QCOMPARE(boxes.calls()[0].buttons, fw::MsgButtons::Ok);
    QCOMPARE(dx.failedField(), static_cast<QWidget*>(length));
    QVERIFY(length->hasFocus());
    QCOMPARE(length->selectedText(), QString("2001"));

    // Once failed, further checks do nothing, even the dialog's own.
    QVERIFY(!dx.intField(slave, 1, 255, &slaveValue));
    QVERIFY(!dx.textField(slave, 10, nullptr));
    QCOMPARE(boxes.count(), 1);
  }

  void notAnIntegerBeforeRange() {
    fw::testing::MessageBoxRecorder boxes;
    QLineEdit edit("12x");
    int value = 5;
    fw::DataExchange dx;
    QVERIFY(!dx.intField(&edit, 0, 10, &value));
    QCOMPARE(boxes.texts(), QStringList{"Please enter an integer."});
    QCOMPARE(value, 5);
  }

  void rangeBoundsAreInclusive() {
    fw::testing::MessageBoxRecorder boxes;
    QLineEdit low("1"), high("127"), over("128"), zero("0");
    int a = 0, b = 0, c = 0;
    fw::DataExchange dx;
    QVERIFY(dx.intField(&low, 1, 127, &a) && dx.intField(&high, 1, 127, &b));
    QCOMPARE(a, 1);
    QCOMPARE(b, 127);
    QCOMPARE(boxes.count(), 0);
    fw::DataExchange overLimit;
    QVERIFY(!overLimit.intField(&over, 1, 127, &c));
    fw::DataExchange belowLimit;
    QVERIFY(!belowLimit.intField(&zero, 1, 65535, &c));
    QCOMPARE(boxes.texts(), (QStringList{"Please enter an integer between 1 and 127.",
                                         "Please enter an integer between 1 and 65535."}));
  }

  void floatAndTextFields() {
    fw::testing::MessageBoxRecorder boxes;
    QLineEdit value(" 1.5 "), hex("12345"), name("ABCD");
    float f = 0;
    QString text;
    fw::DataExchange dx;
    QVERIFY(dx.floatField(&value, -10.0f, 10.0f, &f));
    QCOMPARE(f, 1.5f);
    QVERIFY(dx.textField(&name, 4, &text));
    QCOMPARE(text, QString("ABCD"));
    QVERIFY(!dx.textField(&hex, 4, &text));
    QCOMPARE(text, QString("ABCD"));
    QCOMPARE(boxes.texts(), QStringList{"Please enter no more than 4 characters."});
    fw::DataExchange range;
    QLineEdit big("11");
    QVERIFY(!range.floatField(&big, -10.0f, 10.0f, &f));
    QCOMPARE(boxes.lastText(), QString("Please enter a number between -10 and 10."));
  }

  void ownCheckFocusesField() {
    fw::testing::MessageBoxRecorder boxes;
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* first = new QLineEdit("x", &dialog);
    auto* hex = new QLineEdit("12G4", &dialog);
    layout->addWidget(first);
    layout->addWidget(hex);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    first->setFocus();
    fw::DataExchange dx(&dialog);
    QVERIFY(!dx.fail(hex, "Please enter a hex number"));
    QVERIFY(hex->hasFocus());
    QCOMPARE(hex->selectedText(), QString("12G4"));
    QCOMPARE(boxes.lastText(), QString("Please enter a hex number"));
  }
};

QTEST_MAIN(ValidationTest)
#include "validation_test.moc"
