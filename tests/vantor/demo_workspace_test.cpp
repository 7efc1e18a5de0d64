// The demo workspace of ./run.sh (written by make_demo_files) opens in the
// windowed vantor started with --listen, which serves it at once with values on
// auto-increment.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "child_process.h"

class DemoWorkspaceTest : public QObject {
  Q_OBJECT

 private slots:
  void demoWorkspaceServesAndCounts() {
    QTemporaryDir dir;
    // A free loopback port for the server.
    int port = 0;
    {
      modbus_t* probe = modbus_new_tcp("127.0.0.1", 0);
      const int s = modbus_tcp_listen(probe, 1);
      sockaddr_in address{};
      socklen_t size = sizeof address;
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
      port = ntohs(address.sin_port);
      close(s);
      modbus_free(probe);
    }
    QVERIFY(port > 0);

    QProcess maker;
    maker.start(QStringLiteral(DEMO_MAKER), {dir.path(), QStringLiteral("127.0.0.1"), QString::number(port)});
    QVERIFY(maker.waitForFinished(20000));
    QCOMPARE(maker.exitCode(), 0);
    const QString workspace = dir.filePath("demo.vnw");
    QVERIFY(QFile::exists(workspace));

    QProcess vantor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));  // a private profile
    vantor.setProcessEnvironment(environment);
    vantor.start(QStringLiteral(VANTOR_EXECUTABLE),
                 {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), workspace});
    QVERIFY(vantor.waitForStarted());
    StopOnExit stop{vantor};

    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    // Wait until the server accepts.
    QTRY_VERIFY_WITH_TIMEOUT(modbus_connect(ctx) == 0, 10000);
    modbus_set_slave(ctx, 1);
    std::uint16_t first[14] = {}, later[14] = {};
    QCOMPARE(modbus_read_registers(ctx, 0, 14, first), 14);
    QTRY_VERIFY_WITH_TIMEOUT(modbus_read_registers(ctx, 0, 14, later) == 14 && later[1] != first[1], 3000);
    QCOMPARE(std::uint16_t(later[1] - first[1]), std::uint16_t(later[0] - first[0]));  // counting together
    const float pi = 3.14159f;
    std::uint32_t bits;
    std::memcpy(&bits, &pi, 4);
    QCOMPARE(later[10], std::uint16_t(bits));  // not flagged: the float stays, low word first
    QCOMPARE(later[11], std::uint16_t(bits >> 16));
    std::uint8_t coils[16] = {};
    QCOMPARE(modbus_read_bits(ctx, 0, 16, coils), 16);
    QCOMPARE(int(coils[3]), 1);  // every third coil starts on; odd coils never toggle
    QCOMPARE(int(coils[1]), 0);
    modbus_set_slave(ctx, 2);
    std::uint16_t input[8] = {};
    QCOMPARE(modbus_read_input_registers(ctx, 0, 8, input), 8);
    QCOMPARE(input[0], std::uint16_t(0x1111));
    QCOMPARE(input[7], std::uint16_t(0x8888));
    modbus_close(ctx);
    modbus_free(ctx);
  }
};

QTEST_MAIN(DemoWorkspaceTest)
#include "demo_workspace_test.moc"
