// zelmor's files through the windows: poll documents saved and opened (both
// layouts), workspaces saved with their prompts and loaded in both layouts
// with the version rules, failed saves that keep the previous file, and the
// command-line start with a workspace.
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include "common/archive.h"
#include "framework/mdi.h"
#include "framework/recent_files.h"
#include "framework/testing/layout_checks.h"
#include "gui_test_support.h"
#include "master/core/zelmor_files.h"
#include "master/app/workspace_io.h"
#include "master/engine/comm_interface.h"
#include "peer_server.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

void WriteAll(const QString& path, const std::vector<std::uint8_t>& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

std::int32_t Int32At(const QByteArray& bytes, int offset) {
  std::uint32_t v = 0;
  for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[offset + k])) << (8 * k);
  return static_cast<std::int32_t>(v);
}

}  // namespace

class WorkspaceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(peer_.start(), qPrintable(peer_.error())); }
  void documentRoundTripWithPlacement();
  void olderDocumentLayouts();
  void workspaceSavePromptsAndLayout();
  void workspaceWithAnotherExtensionIsRefusedAloud();
  void failedWorkspaceSaveKeepsThePreviousFile();
  void olderWorkspaceKeepsDelayAndEcho();
  void workspaceVersionRulesAndMissingFile();
  void entriesThatAreNoDocumentsAreRefused();
  void workspaceSavedConnectedReconnects();
  void commandLineWorkspace();
  void commandLineDocument();
  void demoWorkspaceFitsTheScreen();

 private:
  PeerServer peer_;
};

void WorkspaceTest::documentRoundTripWithPlacement() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->takeDefinition({201, 3, 20, 750, 33, 0});
  doc->setDisplayFormat(7);
  doc->setOneBased(false);
  doc->setTextColor(0x00112233);
  fw::ChildFrame* child = fx.frame()->frameOf(doc);
  child->setGeometry(13, 17, 333, 222);
  archive::WindowPlacement saved = child->placement();
  QString path = fx.path("poll.zmd");
  QVERIFY(doc->saveTo(path));
  QByteArray bytes = ReadAll(path);
  QCOMPARE(Int32At(bytes, 0), 3500);
  QCOMPARE(Int32At(bytes, 4), 200);  // protocol address: shown 201 in PLC form minus 1
  QCOMPARE(Int32At(bytes, 8), 4);
  QCOMPARE(Int32At(bytes, 16), 750);
  QCOMPARE(Int32At(bytes, 24), 7);  // display format
  QCOMPARE(Int32At(bytes, 28), 0);  // polling disabled
  QCOMPARE(Int32At(bytes, 32), 0);  // protocol addresses
  QCOMPARE(Int32At(bytes, 36), 0x00112233);
  QCOMPARE(Int32At(bytes, 40), 0x00FFFFFF);
  QCOMPARE(bytes.size(), 44 + 28 + 1 + 11 + 44);
  child->closeWithoutAsking();
  QTRY_COMPARE(fx.frame()->documents().size(), 0);

  auto* back = qobject_cast<CZelmorDoc*>(fx.frame()->openDocument(path));
  QVERIFY(back);
  QCOMPARE(back->address(), 200);
  QCOMPARE(back->function(), 4);
  QCOMPARE(back->length(), 20);
  QCOMPARE(back->scanRate(), 750);
  QCOMPARE(back->slaveId(), 33);
  QCOMPARE(back->enable(), 0);
  QCOMPARE(back->displayFormat(), 7);
  QVERIFY(!back->oneBased());
  QCOMPARE(back->textColor(), 0x00112233u);
  QCOMPARE(QString::fromStdString(back->font().faceName), QString("Courier New"));
  QCOMPARE(back->font().height, -10);
  QCOMPARE(fx.frame()->frameOf(back)->placement().left, saved.left);
  QCOMPARE(fx.frame()->frameOf(back)->placement().bottom, saved.bottom);
  QCOMPARE(back->pollSlot(), 1);
  QVERIFY(!back->isModified());
}

void WorkspaceTest::olderDocumentLayouts() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  auto image = [](std::int32_t address, std::int32_t function) {
    archive::Writer w;
    for (std::int32_t v : {address, function, 16, 400, 5, 2, 1, 1, 9, 0xFFFFFF}) w.int32(v);
    archive::LogFont font;
    font.height = -9;
    font.weight = 700;
    w.logFontMetrics(font);
    w.prefixedString("Monospace");
    return w.bytes();
  };
  WriteAll(fx.path("old.zmd"), image(50, 0));
  auto* old = qobject_cast<CZelmorDoc*>(fx.frame()->openDocument(fx.path("old.zmd")));
  QVERIFY(old);
  QCOMPARE(old->address(), 50);
  QCOMPARE(old->function(), 1);  // the older layout's 0..3 becomes 1..4
  QCOMPARE(old->length(), 16);
  QCOMPARE(old->font().weight, 700);
  QCOMPARE(old->pollSlot(), 2);
  QCOMPARE(fx.boxes->count(), 0);

  WriteAll(fx.path("bad.zmd"), image(50, 4));
  auto* bad = qobject_cast<CZelmorDoc*>(fx.frame()->openDocument(fx.path("bad.zmd")));
  QCOMPARE(fx.boxes->lastText(), QString("File format error"));
  QVERIFY(bad);  // opens with the defaults
  QCOMPARE(bad->function(), 3);
  QCOMPARE(bad->length(), 10);

  // A marked file with an impossible display format opens as Signed.
  zelmor::PollDocumentData odd;
  odd.displayFormat = 20;
  odd.enable = 5;
  WriteAll(fx.path("odd.zmd"), zelmor::EncodePollDocument(odd));
  auto* oddDoc = qobject_cast<CZelmorDoc*>(fx.frame()->openDocument(fx.path("odd.zmd")));
  QVERIFY(oddDoc);
  QCOMPARE(oddDoc->displayFormat(), 0);
  QCOMPARE(oddDoc->enable(), 1);
  fx.frame()->updateCommandUI();
  QVERIFY(fx.frame()->action(res::ID_DISPLAY_SIGNED)->isChecked());

  auto truncated = image(50, 1);
  truncated.resize(30);
  WriteAll(fx.path("short.zmd"), truncated);
  int before = fx.frame()->documents().size();
  QVERIFY(!fx.frame()->openDocument(fx.path("short.zmd")));
  QVERIFY(fx.boxes->lastText().contains("Unexpected file format."));
  QCOMPARE(fx.frame()->documents().size(), before);
}

void WorkspaceTest::workspaceSavePromptsAndLayout() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* first = fx.doc();
  QVERIFY(first->saveTo(fx.path("first.zmd")));
  auto* second = qobject_cast<CZelmorDoc*>(fx.frame()->newDocument());
  QCOMPARE(second->title(), QString("Zelmor2"));
  zelmor::CommSettings s;
  s.port = 8;
  s.ipAddress = "10.1.2.3";
  s.delayBetweenPolls = 40;
  fx.app->setSettings(s);
  fx.boxes->script({fw::MsgResult::No});
  fx.files->script({fx.path("mine.zmw")});
  fx.frame()->action(res::ID_FILE_SAVE_WORKSPACE)->trigger();
  QCOMPARE(fx.files->count(), 1);
  QCOMPARE(fx.files->requests().last().title, QString("Save workspace"));
  QCOMPARE(fx.files->requests().last().initialName, QString("resume"));
  QCOMPARE(fx.boxes->texts(), QStringList{"Save changes to Zelmor2?"});
  QByteArray bytes = ReadAll(fx.path("mine.zmw"));
  QCOMPARE(bytes.size(), 4 + 92 + 44 + 560);
  QCOMPARE(Int32At(bytes, 0), 3600);
  QCOMPARE(Int32At(bytes, 4), 8);
  QCOMPARE(Int32At(bytes, 4 + 48), 0);  // not connected
  QCOMPARE(QByteArray(bytes.constData() + 4 + 52), QByteArray("10.1.2.3"));
  QCOMPARE(Int32At(bytes, 4 + 72), 40);
  QCOMPARE(QByteArray(bytes.constData() + 140 + 44), QByteArray("first.zmd"));
  QCOMPARE(QString(bytes.constData() + 140 + 300), fx.path("first.zmd"));
  // The next dialog proposes the name chosen last.
  fx.files->script({QString()});
  fx.frame()->action(res::ID_FILE_SAVE_WORKSPACE)->trigger();
  QCOMPARE(fx.files->requests().last().initialName, fx.path("mine.zmw"));
  QVERIFY(fx.frame()->recentFiles()->files().contains(fx.path("mine.zmw")));
}

void WorkspaceTest::workspaceWithAnotherExtensionIsRefusedAloud() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(!SaveWorkspace(*fx.frame(), fx.app->settings(), fx.path("mine.txt")));
  QVERIFY(!QFile::exists(fx.path("mine.txt")));
  QCOMPARE(fx.boxes->count(), 1);
  QVERIFY(fx.boxes->lastText().contains(".zmw"));
  QCOMPARE(fx.boxes->calls().last().icon, fw::MsgIcon::Exclamation);
  QVERIFY(SaveWorkspace(*fx.frame(), fx.app->settings(), fx.path("UPPER.ZMW")));  // the extension is compared without case
}

void WorkspaceTest::failedWorkspaceSaveKeepsThePreviousFile() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.doc()->saveTo(fx.path("a.zmd")));
  QByteArray previousDocument = ReadAll(fx.path("a.zmd"));
  QString path = fx.path("keep.zmw");
  QVERIFY(SaveWorkspace(*fx.frame(), fx.app->settings(), path));
  QByteArray previous = ReadAll(path);
  QCOMPARE(previous.size(), 700);
  // Make every write beyond 100 bytes fail, as a full disk would.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit tight = old;
  tight.rlim_cur = 100;
  QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
  bool saved = SaveWorkspace(*fx.frame(), fx.app->settings(), path);
  fx.doc()->takeDefinition({1, 2, 20, 1000, 1, 1});
  bool documentSaved = fx.doc()->saveTo(fx.path("a.zmd"));
  setrlimit(RLIMIT_FSIZE, &old);
  QVERIFY(!saved);
  QVERIFY(fx.boxes->texts().contains("Disk full or disk error"));
  QCOMPARE(ReadAll(path), previous);
  // The same holds for a poll document.
  QVERIFY(!documentSaved);
  QCOMPARE(ReadAll(fx.path("a.zmd")), previousDocument);
}

void WorkspaceTest::olderWorkspaceKeepsDelayAndEcho() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.doc()->saveTo(fx.path("w1.zmd")));
  zelmor::CommSettings current;
  current.delayBetweenPolls = 77;
  current.echo = 1;
  fx.app->setSettings(current);
  archive::Writer w;
  w.int32(3501);
  for (std::int32_t v : {3, 7, 0, 1, 1, 500, 1, 0, 0, 1, 4, 1502, 0}) w.int32(v);
  w.fixedString("192.168.7.7", 20);
  w.placement({44, 0, 1, -1, -1, -1, -1, 20, 30, 820, 630});
  w.placement({44, 0, 1, -1, -1, -1, -1, 5, 6, 305, 206});
  w.fixedString("w1.zmd", 256);
  w.fixedString(fx.path("w1.zmd").toStdString(), 260);
  WriteAll(fx.path("old.zmw"), w.bytes());
  WorkspaceLoadResult result = LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("old.zmw"), true);
  QVERIFY(result.loaded);
  QVERIFY(!result.savedConnected);
  const zelmor::CommSettings& s = fx.app->settings();
  QCOMPARE(s.port, 3);
  QCOMPARE(s.baudIndex, 7);
  QCOMPARE(s.dataBits, 0);
  QCOMPARE(s.timeout, 500);
  QCOMPARE(s.asciiMode, 1);
  QCOMPARE(s.clrRtsDelay, 4);
  QCOMPARE(s.servicePort, 1502);
  QCOMPARE(s.ipAddress, std::string("192.168.7.7"));
  QCOMPARE(s.delayBetweenPolls, 77);
  QCOMPARE(s.echo, 1);
  QVERIFY(!fx.app->isConnected());
  QCOMPARE(fx.frame()->documents().size(), 1);
  fw::ChildFrame* child = fx.frame()->frameOf(fx.frame()->documents().first());
  QCOMPARE(child->placement().left, 5);
  QCOMPARE(child->placement().right, 305);
  fx.frame()->updateCommandUI();
  QCOMPARE(fx.frame()->commPane()->text(), QString("Port 4: 57600-7-O-2"));
}

void WorkspaceTest::entriesThatAreNoDocumentsAreRefused() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  // A document whose address the labels would overflow is refused as unreadable.
  zelmor::PollDocumentData far;
  far.address = 0x7FFFFFFF;
  WriteAll(fx.path("far.zmd"), zelmor::EncodePollDocument(far));
  QVERIFY(!fx.frame()->openDocument(fx.path("far.zmd")));
  QCOMPARE(fx.boxes->lastText(), QString("Unexpected file format."));
  QCOMPARE(fx.frame()->documents().size(), 1);

  // A workspace naming a device and a FIFO: each is reported and skipped, the
  // good document opens, and nothing blocks.
  QVERIFY(::mkfifo(fx.path("pipe.zmd").toLocal8Bit().constData(), 0600) == 0);
  WriteAll(fx.path("good.zmd"), zelmor::EncodePollDocument(zelmor::PollDocumentData{}));
  zelmor::WorkspaceData w;
  w.mainPlacement = {44, 0, 1, -1, -1, -1, -1, 20, 30, 820, 630};
  w.documents.push_back({{}, "zero", "/dev/zero"});
  w.documents.push_back({{}, "pipe", fx.path("pipe.zmd").toStdString()});
  w.documents.push_back({{}, "good", fx.path("good.zmd").toStdString()});
  WriteAll(fx.path("odd.zmw"), zelmor::EncodeWorkspace(w));
  const int before = fx.boxes->count();
  QVERIFY(LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("odd.zmw"), false).loaded);
  QCOMPARE(fx.boxes->texts().mid(before),
           (QStringList{"Cannot open /dev/zero.\nnot a regular file",
                        "Cannot open " + fx.path("pipe.zmd") + ".\nnot a regular file"}));
  QCOMPARE(fx.frame()->documents().size(), 1);
  QCOMPARE(fx.frame()->documents().at(0)->path(), fx.path("good.zmd"));
}

void WorkspaceTest::workspaceVersionRulesAndMissingFile() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  archive::Writer w;
  w.int32(3550);
  w.zeros(200);
  WriteAll(fx.path("future.zmw"), w.bytes());
  QVERIFY(!LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("future.zmw"), true).loaded);
  QCOMPARE(fx.boxes->lastText(), QString("File format error"));
  QCOMPARE(fx.frame()->documents().size(), 1);  // nothing closed
  QVERIFY(!LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("absent.zmw"), true).loaded);
  QCOMPARE(fx.boxes->lastText(), fx.path("absent.zmw") + " was not found");
  // A truncated placement changes nothing, silently.
  archive::Writer cut;
  cut.int32(3600);
  zelmor::WriteCommSettings(cut, zelmor::CommSettings{});
  cut.zeros(20);
  WriteAll(fx.path("cut.zmw"), cut.bytes());
  int boxes = fx.boxes->count();
  QVERIFY(!LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("cut.zmw"), true).loaded);
  QCOMPARE(fx.boxes->count(), boxes);
  QCOMPARE(fx.frame()->documents().size(), 1);
  // Opening through File Open routes a ".zmw" path to the workspace loader.
  fx.files->script({fx.path("future.zmw")});
  fx.frame()->action(res::ID_FILE_OPEN)->trigger();
  QCOMPARE(fx.boxes->lastText(), QString("File format error"));
}

void WorkspaceTest::workspaceSavedConnectedReconnects() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  QVERIFY(fx.doc()->saveTo(fx.path("c.zmd")));
  fx.app->setSettings(LoopbackTcpSettings(peer_.port()));
  QVERIFY(fx.app->connectLink(false, nullptr));
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
  QVERIFY(SaveWorkspace(*fx.frame(), fx.app->settings(), fx.path("connected.zmw")));
  QCOMPARE(Int32At(ReadAll(fx.path("connected.zmw")), 4 + 48), 1);
  fx.app->disconnectLink();
  QVERIFY(SaveWorkspace(*fx.frame(), fx.app->settings(), fx.path("offline.zmw")));

  fx.files->script({fx.path("connected.zmw")});
  fx.frame()->action(res::ID_FILE_OPEN_WORKSPACE)->trigger();
  QCOMPARE(fx.files->requests().last().title, QString("Open workspace"));
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
  QCOMPARE(fx.frame()->documents().size(), 1);
  QTRY_VERIFY_WITH_TIMEOUT(fx.doc()->goodCount() >= 1, 5000);

  QVERIFY(LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("offline.zmw"), true).loaded);
  QVERIFY(!fx.app->isConnected());
  QVERIFY(!masterengine::IsConnected());
}

void WorkspaceTest::commandLineWorkspace() {
  ZelmorFixture fx;
  {
    ZelmorFixture writer;
    QVERIFY(writer.start());
    writer.doc()->takeDefinition({11, 2, 3, 100, 1, 1});
    QVERIFY(writer.doc()->saveTo(fx.path("cmd.zmd")));
    zelmor::CommSettings s = LoopbackTcpSettings(peer_.port());
    s.connected = 1;  // saved while connected
    writer.app->setSettings(s);
    QVERIFY(SaveWorkspace(*writer.frame(), writer.app->settings(), fx.path("start.zmw")));
    writer.app->setSettings(zelmor::CommSettings{});
  }
  // AutoEnable is 0: the workspace's own connected flag connects after the window shows.
  QVERIFY(fx.start({fx.path("start.zmw")}));
  QVERIFY(fx.frame()->isVisible());
  QCOMPARE(fx.frame()->documents().size(), 1);
  QCOMPARE(fx.doc()->address(), 10);
  QVERIFY(WaitForConnect(fx.app.get()));
  QVERIFY2(fx.app->isConnected(), qPrintable(fx.boxes->lastText()));
}

void WorkspaceTest::commandLineDocument() {
  ZelmorFixture fx;
  {
    ZelmorFixture writer;
    QVERIFY(writer.start());
    writer.doc()->takeDefinition({21, 0, 30, 100, 4, 1});
    QVERIFY(writer.doc()->saveTo(fx.path("given.zmd")));
  }
  QVERIFY(fx.start({fx.path("given.zmd")}));
  QCOMPARE(fx.frame()->documents().size(), 1);
  QCOMPARE(fx.doc()->function(), 1);
  QCOMPARE(fx.doc()->slaveId(), 4);
  QVERIFY(!fx.app->isConnected());
  ZelmorFixture missing;
  QVERIFY(!missing.start({missing.path("none.zmd")}));
  // Several files, as a file manager hands them over: each opens, and an
  // unreadable one among them is skipped.
  ZelmorFixture several;
  QVERIFY(QFile::copy(fx.path("given.zmd"), fx.path("other.zmd")));
  QVERIFY(several.start({fx.path("given.zmd"), several.path("none.zmd"), fx.path("other.zmd")}));
  QCOMPARE(several.frame()->documents().size(), 2);
}

// The demo workspace of ./run.sh puts zelmor's main window and its four poll
// windows fully on a 1280 x 800 screen, with room for the desktop's frame.
void WorkspaceTest::demoWorkspaceFitsTheScreen() {
  ZelmorFixture fx;
  QProcess maker;
  maker.start(QStringLiteral(DEMO_MAKER), {fx.dir.path(), QStringLiteral("127.0.0.1"), QStringLiteral("1502")});
  QVERIFY(maker.waitForFinished(20000));
  QCOMPARE(maker.exitCode(), 0);
  QVERIFY(fx.start());
  QVERIFY(LoadWorkspace(*fx.frame(), fx.app->connection(), fx.path("demo.zmw"), false).loaded);
  QCoreApplication::processEvents();
  QCOMPARE(fx.frame()->documents().size(), 4);
  const QStringList problems = fw::testing::OffScreenParts(*fx.frame(), QRect(0, 0, 1280, 800), 40);
  QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

QTEST_MAIN(WorkspaceTest)
#include "workspace_test.moc"
