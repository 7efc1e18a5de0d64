// Profile store on an empty temporary file, the serial port map, window
// placements of top-level windows and MDI child frames, fonts and colours.
#include <QMdiArea>
#include <QMainWindow>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "framework/document.h"
#include "framework/mdi.h"
#include "framework/placement.h"
#include "framework/profile.h"
#include "platform/port_map.h"

class ProfilePlacementTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;

 private slots:
  void emptyProfileGivesDefaults() {
    fw::Profile::setTestDirectory(dir_.path());
    fw::Profile profile("zelmor");
    fw::Profile::setTestDirectory(QString());
    QCOMPARE(profile.fileName(), dir_.filePath("zelmor.ini"));
    QCOMPARE(profile.readInt("PollDefinition", "Length", 10), 10);
    QCOMPARE(profile.readString("Font", "FaceName", "Courier New"), QString("Courier New"));
    QVERIFY(!profile.contains("CommSetup", "AutoEnable"));
  }

  void valuesRoundTripThroughTheFile() {
    QString file = dir_.filePath("roundtrip.ini");
    {
      fw::Profile profile("vantor", file);
      profile.writeInt("CommSetup", "RTU/ASCII", 1);
      profile.writeInt("Font", "Height", -10);
      profile.writeInt("CommSetup", "BaudRate", 2);
      profile.writeString("Font", "FaceName", "DejaVu Sans Mono");
      profile.writeString("CommSetup", "IPAddress", "");
    }
    fw::Profile reread("vantor", file);
    QCOMPARE(reread.readInt("CommSetup", "RTU/ASCII", 0), 1);
    QCOMPARE(reread.readInt("Font", "Height", 0), -10);
    QCOMPARE(reread.readInt("CommSetup", "BaudRate", 7), 2);
    QCOMPARE(reread.readString("Font", "FaceName"), QString("DejaVu Sans Mono"));
    // An empty string is a stored value, not a missing one.
    QVERIFY(reread.contains("CommSetup", "IPAddress"));
    QCOMPARE(reread.readString("CommSetup", "IPAddress", "0.0.0.0"), QString());
    // Sections keep keys apart.
    QCOMPARE(reread.readInt("PollDefinition", "Height", 5), 5);
  }

  // Hand-edited or damaged values never become garbage numbers.
  void unreadableOrOutOfRangeIntegersGiveTheDefault() {
    QString file = dir_.filePath("damaged.ini");
    {
      QFile raw(file);
      QVERIFY(raw.open(QIODevice::WriteOnly));
      raw.write("[CommSetup]\nPort=abc\nBaudRate=99\nParity= 2 \nTimeout=99999999999\n");
    }
    fw::Profile profile("zelmor", file);
    QCOMPARE(profile.readInt("CommSetup", "Port", 0), 0);
    QCOMPARE(profile.readInt("CommSetup", "Parity", 0), 2);
    QCOMPARE(profile.readInt("CommSetup", "Timeout", 1000), 1000);
    QCOMPARE(profile.readInt("CommSetup", "BaudRate", 2), 99);
    QCOMPARE(profile.readIntInRange("CommSetup", "BaudRate", 2, 0, 11), 2);
    QCOMPARE(profile.readIntInRange("CommSetup", "Parity", 0, 0, 2), 2);
  }

  void userProfileIsConfAndTakesOverAnOldIni() {
    // The user's store is ~/.config/Orvane/<program>.conf; an older <program>.ini
    // is taken over on the first start and never overrides an existing .conf.
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QVERIFY(QDir(home.path()).mkpath("Orvane"));
    const QString ini = home.filePath("Orvane/vantor.ini");
    const QString conf = home.filePath("Orvane/vantor.conf");
    QFile old(ini);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("[CommSetup]\nBaudRate=4\n[Ports]\nPort1=/dev/ttyS3\n");
    old.close();
    {
      fw::Profile profile("vantor");
      QCOMPARE(profile.fileName(), conf);
      QCOMPARE(profile.readInt("CommSetup", "BaudRate", 0), 4);
      QCOMPARE(profile.readString("Ports", "Port1"), QString("/dev/ttyS3"));
      profile.writeInt("CommSetup", "BaudRate", 6);
    }
    QVERIFY(QFileInfo::exists(conf));
    QVERIFY(!QFileInfo::exists(ini));
    QVERIFY(QFile::copy(conf, ini));  // an old version writing its .ini again
    {
      fw::Profile again("vantor");
      again.writeInt("CommSetup", "BaudRate", 7);
    }
    fw::Profile reread("vantor");
    QCOMPARE(reread.readInt("CommSetup", "BaudRate", 0), 7);
    QVERIFY(QFileInfo::exists(ini));
  }

  void portMapLoadsAndSavesOnlyChangedPaths() {
    QString file = dir_.filePath("ports.ini");
    {
      fw::Profile profile("zelmor", file);
      profile.writeString("Ports", "Port2", "/dev/pts/7");
      profile.loadPortMap();
    }
    QCOMPARE(platform::SerialPortPath(2), std::string("/dev/pts/7"));
    QCOMPARE(platform::SerialPortPath(1), platform::DefaultSerialPortPath(1));
    platform::SetSerialPortPath(3, "/dev/ttyS0");
    platform::SetSerialPortPath(2, "");
    {
      fw::Profile profile("zelmor", file);
      profile.savePortMap();
    }
    fw::Profile reread("zelmor", file);
    QCOMPARE(reread.readString("Ports", "Port3"), QString("/dev/ttyS0"));
    QVERIFY(!reread.contains("Ports", "Port2"));
    QVERIFY(!reread.contains("Ports", "Port1"));
    platform::SetSerialPortPath(3, "");
  }

  void mulDivRoundsLikeTheOriginal_data() {
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("c");
    QTest::addColumn<int>("expected");
    QTest::newRow("10pt at 96 dpi") << 10 << 96 << 72 << 13;
    QTest::newRow("half rounds up") << 3 << 1 << 2 << 2;
    QTest::newRow("negative half away from zero") << -3 << 1 << 2 << -2;
    QTest::newRow("below half") << 4 << 1 << 3 << 1;
    QTest::newRow("negative divisor") << 10 << 96 << -72 << -13;
    QTest::newRow("zero divisor") << 5 << 5 << 0 << -1;
    QTest::newRow("no overflow in the product") << 2000000000 << 3 << 4 << 1500000000;
  }
  void mulDivRoundsLikeTheOriginal() {
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(int, c);
    QFETCH(int, expected);
    QCOMPARE(fw::MulDiv(a, b, c), expected);
  }

  void fontHeightConversions() {
    QCOMPARE(fw::PointsToDeviceHeight(-10, 96), -13);
    QCOMPARE(fw::PointsToDeviceHeight(-10, 120), -17);
    QCOMPARE(fw::PointsToDeviceHeight(-9, 600), -75);
    QCOMPARE(fw::DeviceHeightToPoints(-13, 96), -10);
    QCOMPARE(fw::DeviceHeightToPoints(-17, 120), -10);
  }

  void logFontRoundTrip() {
    archive::LogFont stored;
    stored.height = -10;
    stored.weight = 700;
    stored.italic = 1;
    stored.underline = 1;
    stored.outPrecision = 4;
    stored.quality = 2;
    stored.pitchAndFamily = 0x31;
    stored.faceName = "Courier New";
    QFont font = fw::FontFromLogFont(stored);
    QCOMPARE(font.family(), QString("Courier New"));
    QCOMPARE(font.pointSize(), 10);
    QCOMPARE(font.weight(), QFont::Bold);
    QVERIFY(font.italic());
    QVERIFY(font.underline());
    QVERIFY(!font.strikeOut());
    QCOMPARE(font.styleHint(), QFont::Monospace);
    // Back to the record: fields a QFont has no notion of come from the base.
    QCOMPARE(fw::LogFontFromFont(font, stored), stored);

    archive::LogFont normal;
    normal.height = -12;
    normal.weight = 0;  // "don't care" is normal weight
    normal.faceName = "DejaVu Sans";
    QFont plain = fw::FontFromLogFont(normal);
    QCOMPARE(plain.weight(), QFont::Normal);
    QCOMPARE(fw::LogFontFromFont(plain, normal).weight, 400);
    QCOMPARE(fw::LogFontFromFont(plain, normal).height, -12);

    // A positive height is a pixel size, and a long family name is cut to 31 characters.
    QFont pixels(QString(40, QChar('F')));
    pixels.setPixelSize(16);
    archive::LogFont fromPixels = fw::LogFontFromFont(pixels);
    QCOMPARE(fromPixels.height, 16);
    QCOMPARE(fromPixels.faceName.size(), std::size_t(31));
    QCOMPARE(fw::FontFromLogFont(fromPixels).pixelSize(), 16);
  }

  void colorRefs() {
    QCOMPARE(fw::ColorFromColorRef(9), QColor(9, 0, 0));
    QCOMPARE(fw::ColorFromColorRef(0x00FFFFFF), QColor(255, 255, 255));
    QCOMPARE(fw::ColorFromColorRef(0x00123456), QColor(0x56, 0x34, 0x12));
    QCOMPARE(fw::ColorRefFromColor(QColor(0x56, 0x34, 0x12)), 0x00123456u);
    QCOMPARE(fw::ColorRefFromColor(QColor(9, 0, 0)), 9u);
    // High byte of a stored value is not a colour component.
    QCOMPARE(fw::ColorRefFromColor(fw::ColorFromColorRef(0xFF0000FF)), 0x000000FFu);
  }

  void topLevelPlacementRoundTrip() {
    QMainWindow window;
    window.setGeometry(100, 120, 400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    archive::WindowPlacement placement = fw::PlacementOf(&window);
    QCOMPARE(placement.length, 44);
    QCOMPARE(placement.showCommand, archive::kShowNormal);
    QRect outer = window.frameGeometry();
    QCOMPARE(placement.left, outer.left());
    QCOMPARE(placement.top, outer.top());
    QCOMPARE(placement.right - placement.left, outer.width());
    QCOMPARE(placement.bottom - placement.top, outer.height());

    QMainWindow other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QVERIFY(fw::ApplyPlacement(&other, placement));
    QCOMPARE(fw::PlacementOf(&other), placement);
    QCOMPARE(other.geometry(), window.geometry());
  }

  void childFramePlacementKeepsNormalRectWhenMaximised() {
    QMainWindow window;
    auto* area = new QMdiArea;
    window.setCentralWidget(area);
    window.resize(800, 600);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* frame = new fw::ChildFrame(nullptr, new QWidget);
    area->addSubWindow(frame);
    frame->show();
    frame->setGeometry(10, 20, 300, 200);
    archive::WindowPlacement normal = frame->placement();
    QCOMPARE(normal.showCommand, archive::kShowNormal);
    QCOMPARE(normal.left, 10);
    QCOMPARE(normal.top, 20);
    QCOMPARE(normal.right, 310);
    QCOMPARE(normal.bottom, 220);

    frame->showMaximized();
    QVERIFY(frame->isMaximized());
    archive::WindowPlacement maximised = frame->placement();
    QCOMPARE(maximised.showCommand, archive::kShowMaximized);
    QCOMPARE(maximised.left, 10);
    QCOMPARE(maximised.right, 310);

    // Applying the stored record to a new frame gives the same maximised
    // frame, which restores to the stored rectangle.
    auto* copy = new fw::ChildFrame(nullptr, new QWidget);
    area->addSubWindow(copy);
    copy->show();
    QVERIFY(copy->applyPlacement(maximised));
    QVERIFY(copy->isMaximized());
    QCOMPARE(copy->placement(), maximised);
    copy->showNormal();
    QCOMPARE(copy->geometry(), QRect(10, 20, 300, 200));

    frame->showMinimized();
    QCOMPARE(frame->placement().showCommand, archive::kShowMinimized);
    QCOMPARE(frame->placement().left, 10);
  }

  // A damaged record (wrong length field, empty, inverted or absurd
  // rectangle) is refused and leaves the window where it was.
  void damagedPlacementIsRefused() {
    QWidget window;
    window.setGeometry(50, 60, 200, 100);
    QRect before = window.geometry();
    archive::WindowPlacement bad;
    bad.left = 0;
    bad.top = 0;
    bad.right = 100;
    bad.bottom = 100;
    bad.length = 40;
    QVERIFY(!fw::ApplyPlacement(&window, bad));
    bad.length = 44;
    bad.right = 0;
    QVERIFY(!fw::ApplyPlacement(&window, bad));
    bad.right = 100;
    bad.bottom = -5;
    QVERIFY(!fw::ApplyPlacement(&window, bad));
    bad.bottom = 2000000000;
    QVERIFY(!fw::ApplyPlacement(&window, bad));
    bad.bottom = 100;
    bad.left = -2000000000;
    QVERIFY(!fw::ApplyPlacement(&window, bad));
    QCOMPARE(window.geometry(), before);
  }
};

QTEST_MAIN(ProfilePlacementTest)
#include "profile_placement_test.moc"
