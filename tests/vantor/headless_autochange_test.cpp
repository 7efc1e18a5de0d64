// Auto-change flags saved in a .vnd file also act in "vantor --headless".
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <modbus.h>

#include "child_process.h"
#include "common/archive.h"
#include "slave/engine/autochange.h"
#include "slave/core/vnd_file.h"

class HeadlessAutoChangeTest : public QObject {
  Q_OBJECT

 private slots:
  void flaggedValuesChangeWithoutAWindow() {
    QTemporaryDir dir;
    vnd::VndDocument document;
    document.slaveId = 5;
    document.table = 3;
    document.length = 8;
    document.displayFormat = autochange::kUnsigned;
    autochange::SetImageRegister(document.valueImage.data(), 0, 65535);
    autochange::SetImageRegister(document.valueImage.data(), 1, 7);
    document.autoChangeFlags[0] = 1;
    const QString path = dir.filePath(QStringLiteral("auto.vnd"));
    std::string error;
    QVERIFY(vnd::SaveVndFile(path.toStdString(), document, &error));

    QProcess vantor;
    vantor.setReadChannel(QProcess::StandardError);  // the ready line
    vantor.start(QStringLiteral(VANTOR_EXECUTABLE),
                 {QStringLiteral("--headless"), QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"), path});
    QVERIFY(vantor.waitForStarted());
    StopOnExit stop{vantor};
    QTRY_VERIFY_WITH_TIMEOUT(vantor.canReadLine(), 5000);
    const QString ready = QString::fromLocal8Bit(vantor.readLine()).trimmed();
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral(":(\\d+)$")).match(ready);
    QVERIFY2(match.hasMatch(), qPrintable(ready));
    const int port = match.captured(1).toInt();

    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    modbus_set_slave(ctx, 5);
    QCOMPARE(modbus_connect(ctx), 0);
    std::uint16_t values[2] = {};
    // 65535 wraps to 0 on the first refresh and keeps counting; register 1 has no flag.
    QTRY_VERIFY_WITH_TIMEOUT(modbus_read_registers(ctx, 0, 2, values) == 2 && values[0] < 100 && values[0] >= 1,
                             4000);
    QCOMPARE(values[1], std::uint16_t(7));
    modbus_close(ctx);
    modbus_free(ctx);
  }
};

QTEST_MAIN(HeadlessAutoChangeTest)
#include "headless_autochange_test.moc"
