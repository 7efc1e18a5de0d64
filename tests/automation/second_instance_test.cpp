// zelmor started while another process serves its bus name: it runs without
// automation, says so in its status bar and shows no message box; started for
// a client it has nothing to serve and does not start. Runs on a private bus.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QStatusBar>

#include "../zelmor/gui_test_support.h"
#include "framework/automation.h"
#include "tests/master_engine/loopback_peers.h"

class SecondInstanceTest : public QObject {
  Q_OBJECT

 private slots:
  void nameServedByAnotherProcess() {
    const QString name = QStringLiteral("example.orvane.Zelmor");
    QDBusConnection other = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("other"));
    QVERIFY(other.isConnected());
    QVERIFY(other.registerService(name));
    {
      ZelmorFixture f;
      CZelmorApp* app = f.start();
      QVERIFY(app != nullptr);
      QVERIFY(app->automation() == nullptr);
      QVERIFY(f.frame()->isVisible());
      QVERIFY(f.frame()->statusBar()->currentMessage().contains(QStringLiteral("served by another instance")));
      QCOMPARE(f.boxes->count(), 0);
    }
    {
      ZelmorFixture f;
      QVERIFY(f.start({QStringLiteral("-Embedding")}) == nullptr);
      QVERIFY(!f.frame()->isVisible());
      QCOMPARE(f.boxes->count(), 0);
    }
    QVERIFY(other.unregisterService(name));
    {
      // The name is free again: this instance serves it, and gives it back at exit.
      ZelmorFixture f;
      CZelmorApp* app = f.start();
      QVERIFY(app != nullptr && app->automation() != nullptr && app->automation()->isActive());
      QVERIFY(f.frame()->statusBar()->currentMessage().isEmpty());
      QVERIFY(other.interface()->isServiceRegistered(name).value());
    }
    QVERIFY(!other.interface()->isServiceRegistered(name).value());
    QDBusConnection::disconnectFromBus(QStringLiteral("other"));
  }

  void hiddenServerConnectFailureShowsNoBox() {
    // AutoEnable on, nobody listening: the hidden server stays up, unconnected, with no box.
    const std::uint16_t port = testpeer::FreePort();
    QVERIFY(port != 0);
    ZelmorFixture f;
    f.profile().writeInt("CommSetup", "Port", 8);
    f.profile().writeString("CommSetup", "IPAddress", "127.0.0.1");
    f.profile().writeInt("CommSetup", "ServicePort", port);
    f.profile().writeInt("CommSetup", "AutoEnable", 1);
    CZelmorApp* app = f.start({QStringLiteral("--automation")});
    QVERIFY(app != nullptr);
    QVERIFY(WaitForConnect(app));
    QVERIFY(!app->isConnected());
    QCOMPARE(f.boxes->count(), 0);
    QVERIFY(!f.frame()->isVisible());
  }
};

QTEST_MAIN(SecondInstanceTest)
#include "second_instance_test.moc"
