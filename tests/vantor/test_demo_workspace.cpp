// The demo workspace from slave/app/tools/make_demo_workspace.py opens in the
// windowed vantor started with --listen, which serves it at once with values on
// auto-increment.
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class DemoWorkspaceTest : public QObject {
  Q_OBJECT

 private slots:
  void demoWorkspaceServesAndCounts() {
    QTemporaryDir dir;
    QProcess maker;
    maker.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(DEMO_SCRIPT), dir.filePath("demo")});
    QVERIFY(maker.waitForFinished(20000));
    QCOMPARE(maker.exitCode(), 0);
    const QString workspace = dir.filePath("demo/demo.vnw");
    QVERIFY(QFile::exists(workspace));

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

    QProcess vantor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath("config"));  // a private profile
    vantor.setProcessEnvironment(environment);
    vantor.start(QStringLiteral(VANTOR_EXECUTABLE),
                 {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port), workspace});
    QVERIFY(vantor.waitForStarted());
    struct Stop {
      QProcess& process;
      ~Stop() {
        process.terminate();  // SIGTERM to this child's pid
        if (!process.waitForFinished(5000)) process.kill();
      }
    } stop{vantor};

    modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
    // Wait until the server accepts.
    QTRY_VERIFY_WITH_TIMEOUT(modbus_connect(ctx) == 0, 10000);
    modbus_set_slave(ctx, 1);
    std::uint16_t first[6] = {}, later[6] = {};
    QCOMPARE(modbus_read_registers(ctx, 0, 6, first), 6);
    QCOMPARE(first[5], std::uint16_t(1234));
    QTRY_VERIFY_WITH_TIMEOUT(modbus_read_registers(ctx, 0, 6, later) == 6 && later[0] != first[0], 3000);
    QCOMPARE(later[5], std::uint16_t(1234));  // not flagged
    modbus_set_slave(ctx, 2);
    std::uint16_t input[2] = {};
    QCOMPARE(modbus_read_input_registers(ctx, 100, 2, input), 2);
    QVERIFY(input[1] >= 0x3F80);  // 1.0f and counting up (low word first)
    modbus_close(ctx);
    modbus_free(ctx);
  }
};

QTEST_MAIN(DemoWorkspaceTest)
#include "test_demo_workspace.moc"
