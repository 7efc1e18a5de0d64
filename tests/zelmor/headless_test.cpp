// The headless program against a pymodbus server: lines per poll in the
// data-log layout, --count, documents and workspaces as input, signals, and
// the exit codes and messages of failures.
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <atomic>
#include <csignal>

#include "common/archive.h"
#include "common/recording.h"
#include "common/register_map.h"
#include "master/core/zelmor_files.h"
#include "tests/master_engine/fake_tcp_server.h"
#include "peer_server.h"
#include "pty_bridge.h"
#include "vantor_peer.h"

namespace {

struct Run {
  int exitCode = -1;
  QStringList lines;
  QString errors;
};

Run RunZelmor(const QStringList& args, int timeoutMs = 20000) {
  QProcess process;
  process.start(ZELMOR_BINARY, QStringList{"--headless"} + args);
  Run run;
  if (!process.waitForFinished(timeoutMs)) {
    process.kill();
    process.waitForFinished();
    run.errors = "timed out";
    return run;
  }
  run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
  run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  run.errors = QString::fromUtf8(process.readAllStandardError());
  return run;
}

}  // namespace

class HeadlessTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(peer_.start(), qPrintable(peer_.error())); }
  void pollsPrintDataLogLines();
  void formatsAndDelimiters();
  void errorsAreLoggedAsText();
  void documentsAndWorkspacesAsInput();
  void serialRtuAndAsciiOverPtys_data();
  void serialRtuAndAsciiOverPtys();
  void scanRateZeroPollsBackToBack();
  void networkTransports_data();
  void networkTransports();
  void signalEndsWithExitZero();
  void failuresExitNonZero();
  void helpPrintsUsage();
  void timingFollowsASlowSlave();
  void writesReachAnIndependentServer();
  void writesOnTheWireToVantor();
  void refusedWritesSendNothing();
  void aWriteAnsweredAfterStaleRepliesIsOk();
  void identifyReadsAnIndependentServer_data();
  void identifyReadsAnIndependentServer();
  void identifyStopsOnEndlessOrBadReplies();
  void recordsADeviceForReplay();

 private:
  QString tcp() const { return QString("127.0.0.1:%1").arg(peer_.port()); }
  PeerServer peer_;
  QTemporaryDir dir_;
};

void HeadlessTest::pollsPrintDataLogLines() {
  Run run = RunZelmor({"--tcp", tcp(), "--poll", "1:3:2:4:50", "--count", "3"});
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 3);
  QRegularExpression line("^\\d\\d:\\d\\d:\\d\\d,<40003>,-1,5,1004,1005$");
  for (const QString& l : run.lines) QVERIFY2(line.match(l).hasMatch(), qPrintable(l));
}

void HeadlessTest::formatsAndDelimiters() {
  Run fl = RunZelmor({"--tcp", tcp(), "--poll", "1:3:0:4", "--format", "float", "--count", "1"});
  QCOMPARE(fl.exitCode, 0);
  QCOMPARE(fl.lines.size(), 1);
  // Registers 2 and 3 (0xFFFF, 5) make a tiny denormal float.
  QVERIFY2(fl.lines[0].endsWith(",<40001>,1.000000,0.000000"), qPrintable(fl.lines[0]));
  Run tab = RunZelmor({"--tcp", tcp(), "--poll", "1:4:0:2", "--format", "hex", "--delimiter", "tab", "--count", "1"});
  QVERIFY2(tab.lines.value(0).endsWith("\t<30001>\t0x07D0\t0x07D1"), qPrintable(tab.lines.value(0)));
  Run fixed = RunZelmor({"--tcp", tcp(), "--poll", "1:3:2:2", "--delimiter", "fixed", "--count", "1"});
  QVERIFY2(fixed.lines.value(0).endsWith(" <40003>     -1      5"), qPrintable(fixed.lines.value(0)));
  Run coils = RunZelmor({"--tcp", tcp(), "--poll", "1:1:0:4", "--count", "1"});
  QVERIFY2(coils.lines.value(0).endsWith(",<00001>,1,0,0,1"), qPrintable(coils.lines.value(0)));
  Run longInverse = RunZelmor({"--tcp", tcp(), "--poll", "1:3:2:2", "--format", "long-inverse", "--count", "1"});
  QVERIFY2(longInverse.lines.value(0).endsWith(",<40003>,-65531"), qPrintable(longInverse.lines.value(0)));
}

void HeadlessTest::errorsAreLoggedAsText() {
  Run run = RunZelmor({"--tcp", tcp(), "--poll", "1:3:399:10", "--count", "2"});
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 2);
  QVERIFY2(run.lines[0].endsWith(",<40400>,Illigal Data Address"), qPrintable(run.lines[0]));
}

void HeadlessTest::documentsAndWorkspacesAsInput() {
  zelmor::PollDocumentData d;
  d.address = 3;
  d.length = 2;
  d.oneBased = 0;
  d.scanRate = 50;
  d.enable = 0;  // saved disabled: headless polls it anyway
  QString docPath = dir_.filePath("h.zmd");
  std::string error;
  QVERIFY(archive::WriteFileAtomically(docPath.toStdString(), zelmor::EncodePollDocument(d), &error));
  Run fromDoc = RunZelmor({"--tcp", tcp(), docPath, "--count", "2"});
  QCOMPARE(fromDoc.exitCode, 0);
  QCOMPARE(fromDoc.lines.size(), 2);
  QVERIFY2(fromDoc.lines[0].endsWith(",<00003>,5,1004"), qPrintable(fromDoc.lines[0]));

  zelmor::WorkspaceData w;
  w.settings.port = zelmor::kTcpPortChoice;
  w.settings.ipAddress = "127.0.0.1";
  w.settings.servicePort = peer_.port();
  w.documents.push_back({{}, "h.zmd", docPath.toStdString()});
  w.documents.push_back({{}, "h.zmd", docPath.toStdString()});
  QString wsPath = dir_.filePath("h.zmw");
  QVERIFY(archive::WriteFileAtomically(wsPath.toStdString(), zelmor::EncodeWorkspace(w), &error));
  Run fromWorkspace = RunZelmor({wsPath, "--count", "2"});
  QCOMPARE(fromWorkspace.exitCode, 0);
  QCOMPARE(fromWorkspace.lines.size(), 4);  // two documents, two polls each

  QFile bad(dir_.filePath("bad.zmw"));
  QVERIFY(bad.open(QIODevice::WriteOnly));
  bad.write(QByteArray("\xDE\x0D\x00\x00", 4) + QByteArray(200, '\0'));  // version 3550
  bad.close();
  Run refused = RunZelmor({bad.fileName()});
  QCOMPARE(refused.exitCode, 3);
  QVERIFY2(refused.errors.contains("File format error"), qPrintable(refused.errors));
}

void HeadlessTest::serialRtuAndAsciiOverPtys_data() {
  QTest::addColumn<QString>("framing");
  QTest::newRow("rtu") << "rtu";
  QTest::newRow("ascii") << "ascii";
}

void HeadlessTest::serialRtuAndAsciiOverPtys() {
  QFETCH(QString, framing);
  PtyBridge line;
  QVERIFY2(line.ok(), "no pseudo-terminals available");
  PeerServer peer;
  QVERIFY2(peer.startSerial(framing, QString::fromStdString(line.pathA())), qPrintable(peer.error()));
  QStringList args{"--serial", QString::fromStdString(line.pathB()), "--baud", "19200", "--parity", "none",
                   "--timeout", "1000", "--poll", "1:3:2:2:50", "--count", "2"};
  if (framing == "ascii") args << "--ascii";
  Run run = RunZelmor(args);
  peer.stop();
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 2);
  for (const QString& l : run.lines) QVERIFY2(l.endsWith(",<40003>,-1,5"), qPrintable(l + " " + run.errors));
}

// Scan rate 0 (headless only) with no pause between polls: every reply is
// followed by the next request, each one complete and correct.
void HeadlessTest::scanRateZeroPollsBackToBack() {
  PtyBridge line;
  QVERIFY2(line.ok(), "no pseudo-terminals available");
  PeerServer peer;
  QVERIFY2(peer.startSerial("rtu", QString::fromStdString(line.pathA())), qPrintable(peer.error()));
  Run run = RunZelmor({"--serial", QString::fromStdString(line.pathB()), "--baud", "19200", "--parity", "none",
                       "--delay-between-polls", "0", "--poll", "1:3:2:2:0", "--count", "20"});
  peer.stop();
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 20);
  for (const QString& l : run.lines) QVERIFY2(l.endsWith(",<40003>,-1,5"), qPrintable(l + " " + run.errors));
}

void HeadlessTest::networkTransports_data() {
  QTest::addColumn<QString>("option");
  QTest::addColumn<QString>("mode");
  QTest::addColumn<QString>("listen");
  QTest::addColumn<QString>("host");
  QTest::newRow("rtu over tcp") << "--rtu-over-tcp" << "rtu-over-tcp" << "127.0.0.1" << "127.0.0.1";
  QTest::newRow("udp") << "--udp" << "udp" << "127.0.0.1" << "127.0.0.1";
  QTest::newRow("udp ipv6") << "--udp" << "udp" << "::1" << "[::1]";
  QTest::newRow("host name") << "--rtu-over-tcp" << "rtu-over-tcp" << "127.0.0.1" << "localhost";
}

void HeadlessTest::networkTransports() {
  QFETCH(QString, option);
  QFETCH(QString, mode);
  QFETCH(QString, listen);
  QFETCH(QString, host);
  PeerServer peer;
  QVERIFY2(peer.startNetwork(mode, listen), qPrintable(peer.error()));
  Run run = RunZelmor({option, QString("%1:%2").arg(host).arg(peer.port()), "--write", "1:16:40:7,8", "--poll",
                       "1:3:40:2:50", "--poll", "1:4:2:1:50", "--count", "2"});
  peer.stop();
  QCOMPARE(run.exitCode, 0);
  QVERIFY2(run.lines.size() >= 5, qPrintable(run.lines.join('\n') + run.errors));
  QCOMPARE(run.lines.first(), QStringLiteral("write 1:16:40:7,8: Response ok"));
  QVERIFY2(run.lines.filter(QRegularExpression(",<40041>,7,8$")).size() == 2, qPrintable(run.lines.join('\n')));
  QVERIFY2(run.lines.filter(QRegularExpression(",<30003>,2002$")).size() == 2, qPrintable(run.lines.join('\n')));
}

void HeadlessTest::signalEndsWithExitZero() {
  QProcess process;
  process.start(ZELMOR_BINARY, {"--headless", "--tcp", tcp(), "--poll", "1:3:0:2:50"});
  QVERIFY(process.waitForStarted());
  // Wait for the first line: polling is under way.
  QElapsedTimer clock;
  clock.start();
  while (!process.canReadLine() && clock.elapsed() < 10000) process.waitForReadyRead(100);
  QVERIFY(process.canReadLine());
  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  QVERIFY(process.waitForFinished(10000));
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 0);
}

void HeadlessTest::failuresExitNonZero() {
  quint16 closed = FreeLoopbackPort();
  Run refused = RunZelmor({"--tcp", QString("127.0.0.1:%1").arg(closed), "--poll", "1:3:0:10", "--timeout", "300"});
  QCOMPARE(refused.exitCode, 4);
  QVERIFY2(refused.errors.contains("Modbus/TCP Connection Failed"), qPrintable(refused.errors));
  Run badIp = RunZelmor({"--tcp", "300.1.1.1:502", "--poll", "1:3:0:10"});
  QCOMPARE(badIp.exitCode, 4);
  QVERIFY2(badIp.errors.contains("Modbus/TCP Connection Failed. Invalid IP Address"), qPrintable(badIp.errors));
  Run unknown = RunZelmor({"--rtu-over-tcp", "no.such.host.invalid:502", "--poll", "1:3:0:10"});
  QCOMPARE(unknown.exitCode, 4);
  QVERIFY2(unknown.errors.contains("Modbus/TCP Connection Failed. Host not found"), qPrintable(unknown.errors));
  Run serial = RunZelmor({"--serial", dir_.filePath("no-such-tty"), "--poll", "1:3:0:10"});
  QCOMPARE(serial.exitCode, 4);
  QVERIFY2(serial.errors.contains("Port not available"), qPrintable(serial.errors));
  Run badOption = RunZelmor({"--poll", "1:3:0:200"});
  QCOMPARE(badOption.exitCode, 2);
  QVERIFY2(badOption.errors.contains("--poll length must be an integer between 1 and 127"), qPrintable(badOption.errors));
  Run missing = RunZelmor({"--tcp", tcp(), dir_.filePath("gone.zmd")});
  QCOMPARE(missing.exitCode, 3);
  QVERIFY2(missing.errors.contains("gone.zmd was not found"), qPrintable(missing.errors));
}

void HeadlessTest::helpPrintsUsage() {
  Run help = RunZelmor({"--help"});
  QCOMPARE(help.exitCode, 0);
  QVERIFY(help.lines.value(0).startsWith("Usage: zelmor --headless"));
  QVERIFY(help.lines.join('\n').contains("--poll SLAVE:FUNCTION:ADDRESS:LENGTH[:SCANRATE]"));
}

// A pymodbus server that answers 50 ms late: with --timing every line ends with
// the response times so far, and they show the delay.
void HeadlessTest::timingFollowsASlowSlave() {
  PeerServer slow;
  QVERIFY2(slow.start(50), qPrintable(slow.error()));
  Run run = RunZelmor({"--tcp", QString("127.0.0.1:%1").arg(slow.port()), "--poll", "1:3:2:2:20", "--count", "8",
                       "--timing"});
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 8);
  QRegularExpression line("^\\d\\d:\\d\\d:\\d\\d,<40003>,-1,5,last ([0-9.]+) ms,min ([0-9.]+) ms,"
                          "mean ([0-9.]+) ms,max ([0-9.]+) ms$");
  double previousMax = 0;
  for (const QString& l : run.lines) {
    auto m = line.match(l);
    QVERIFY2(m.hasMatch(), qPrintable(l));
    const double last = m.captured(1).toDouble(), min = m.captured(2).toDouble();
    const double mean = m.captured(3).toDouble(), max = m.captured(4).toDouble();
    QVERIFY2(min >= 45 && min <= last && last <= max && min <= mean && mean <= max, qPrintable(l));
    QVERIFY2(max >= previousMax, "the figures run since the start");
    previousMax = max;
  }
  const double mean = line.match(run.lines.last()).captured(3).toDouble();
  QVERIFY2(mean >= 45 && mean <= 80, qPrintable(run.lines.last()));
}

// pymodbus reads back what the writes left (addresses 100.. and coils 200..,
// which the other tests do not poll).
void HeadlessTest::writesReachAnIndependentServer() {
  Run floats = RunZelmor({"--tcp", tcp(), "--format", "float-inverse", "--write", "1:16:100:1.5,-2", "--poll",
                          "1:3:100:4", "--count", "1"});
  QCOMPARE(floats.exitCode, 0);
  QCOMPARE(floats.lines.value(0), QString("write 1:16:100:1.5,-2: Response ok"));
  QVERIFY2(floats.lines.value(1).endsWith(",<40101>,1.500000,-2.000000"), qPrintable(floats.lines.value(1)));
  Run raw = RunZelmor({"--tcp", tcp(), "--poll", "1:3:100:4", "--format", "hex", "--count", "1"});
  QVERIFY2(raw.lines.value(0).endsWith(",0x3FC0,0x0000,0xC000,0x0000"), qPrintable(raw.lines.value(0)));

  // 6, then 22 on the same register ((0x1234 AND 0xFF00) OR (0x0056 AND 0x00FF)), then
  // 23 writing the next one and reading both back; coils by 15 and 5.
  Run mixed = RunZelmor({"--tcp", tcp(), "--format", "hex", "--write", "1:6:104:1234", "--write",
                         "1:22:104:FF00,0056", "--write", "1:23:105:ABCD", "--read", "104:2", "--write",
                         "1:15:200:1,1,0,1", "--write", "1:5:204:on", "--poll", "1:1:200:5", "--count", "1"});
  QCOMPARE(mixed.exitCode, 0);
  QCOMPARE(mixed.lines.mid(0, 3), (QStringList{"write 1:6:104:1234: Response ok", "write 1:22:104:FF00,0056: Response ok",
                                               "write 1:23:105:ABCD: Response ok"}));
  QVERIFY2(mixed.lines.value(3).endsWith(",<40105>,0x1256,0xABCD"), qPrintable(mixed.lines.value(3)));
  QVERIFY2(mixed.lines.value(6).endsWith(",<00201>,1,1,0,1,1"), qPrintable(mixed.lines.join('\n')));

  // An exception answer is the write's result and makes the exit code 6.
  Run beyond = RunZelmor({"--tcp", tcp(), "--write", "1:6:5000:1", "--write", "1:6:106:7"});
  QCOMPARE(beyond.exitCode, 6);
  QCOMPARE(beyond.lines, (QStringList{"write 1:6:5000:1: Illigal Data Address", "write 1:6:106:7: Response ok"}));
}

void HeadlessTest::writesOnTheWireToVantor() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"1:3:0:10"}));
  QString link = QString("127.0.0.1:%1").arg(vantor.port());
  QCOMPARE(RunZelmor({"--tcp", link, "--format", "float", "--write", "1:16:0:1.5"}).exitCode, 0);
  QCOMPARE(RunZelmor({"--tcp", link, "--format", "double-inverse", "--write", "1:16:4:-2"}).exitCode, 0);
  // Read back high word first: registers 0000 3FC0 make 16320.
  Run rw = RunZelmor({"--tcp", link, "--format", "long-inverse", "--write", "1:23:2:-2", "--read", "0:4"});
  QCOMPARE(rw.exitCode, 0);
  QVERIFY2(rw.lines.value(1).endsWith(",<40001>,16320,-2"), qPrintable(rw.lines.join('\n')));
  QTRY_COMPARE_WITH_TIMEOUT(vantor.requests().size(), 3, 5000);
  QCOMPARE(vantor.requests(), (QStringList{"01 10 00 00 00 02 04 00 00 3F C0",
                                           "01 10 00 04 00 04 08 C0 00 00 00 00 00 00 00",
                                           "01 17 00 00 00 04 00 02 00 02 04 FF FF FF FE"}));
}

void HeadlessTest::refusedWritesSendNothing() {
  // Refused before connecting: a closed port would give exit code 4.
  QString closed = QString("127.0.0.1:%1").arg(FreeLoopbackPort());
  const std::pair<QStringList, QString> cases[] = {
      {{"--write", "1:6:0:70000"}, "Please enter an integer between 0 and 65535."},
      {{"--format", "signed", "--write", "1:16:0:5,x"}, "Please enter an integer."},
      {{"--format", "float", "--write", "1:6:0:1.5"}, "function 6 writes at most 1 register"},
      {{"--write", "1:5:0:1,0"}, "function 5 takes at most 1 value"},
      {{"--write", "1:22:0:FFFF"}, "function 22 takes two values"},
      {{"--format", "hex", "--write", "1:16:0:0x12"}, "Please enter a hex number"},
      {{"--write", "1:23:0:1"}, "function 23 needs --read"},
      {{"--write", "1:7:0:1"}, "--write function must be 5, 6, 15, 16, 22 or 23"},
  };
  for (const auto& [args, message] : cases) {
    Run run = RunZelmor(QStringList{"--tcp", closed} + args);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.errors.contains(message), qPrintable(run.errors));
  }
}

// The answer to a write comes after four replies to other transaction ids, each
// just inside the time-out: the exchange outlasts 2 x time-out + 2 s, yet the
// write is "Response ok", and the next write still goes out and is answered.
void HeadlessTest::aWriteAnsweredAfterStaleRepliesIsOk() {
  constexpr std::uint8_t kSlowAddress = 10;
  testpeer::FakeTcpServer server([](const testpeer::Bytes& request) {
    testpeer::Answer answer;
    if (request.size() < 12 || request[9] != kSlowAddress) {
      answer.segments = {request};  // a function 6 reply repeats the request
      return answer;
    }
    const testpeer::Bytes pdu(request.begin() + 7, request.end());
    const std::uint16_t id = testpeer::TransactionIdOf(request);
    answer.segments.push_back({});  // the first stale reply comes after a gap too
    for (std::uint16_t k = 1; k <= 4; ++k) answer.segments.push_back(testpeer::Adu(id + 100 + k, request[6], pdu));
    answer.segments.push_back(request);
    answer.gapMs = 900;
    return answer;
  });
  const QString link = QString("127.0.0.1:%1").arg(server.port());
  Run run = RunZelmor({"--tcp", link, "--timeout", "1000", "--write", "1:6:10:5", "--write", "1:6:11:6"}, 30000);
  QCOMPARE(run.lines, (QStringList{"write 1:6:10:5: Response ok", "write 1:6:11:6: Response ok"}));
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(server.requests().size(), std::size_t{2});
}

// --identify against pymodbus's device identification, over TCP and an RTU
// line: the extended objects come in two replies ("more follows").
void HeadlessTest::identifyReadsAnIndependentServer_data() {
  QTest::addColumn<QString>("link");
  QTest::newRow("tcp") << "tcp";
  QTest::newRow("rtu") << "rtu";
}

void HeadlessTest::identifyReadsAnIndependentServer() {
  QFETCH(QString, link);
  PtyBridge line;
  PeerServer serialPeer;
  QStringList args{"--identify", "7"};
  if (link == "tcp") {
    args << "--tcp" << tcp();
  } else {
    QVERIFY2(line.ok(), "no pseudo-terminals available");
    QVERIFY2(serialPeer.startSerial("rtu", QString::fromStdString(line.pathA())), qPrintable(serialPeer.error()));
    args << "--serial" << QString::fromStdString(line.pathB()) << "--baud" << "19200" << "--parity" << "none";
  }
  Run run = RunZelmor(args);
  QCOMPARE(run.exitCode, 0);
  const QString privateA = QString(200, 'a'), privateB = QString(200, 'b');
  QCOMPARE(run.lines, (QStringList{"VendorName: pymodbus peer", "ProductCode: PEER", "MajorMinorRevision: 3.0",
                                   "ProductName: Peer Server",
                                   "Object 0x80: " + privateA + " [" + QString("61 ").repeated(199) + "61]",
                                   "Object 0x81: " + privateB + " [" + QString("62 ").repeated(199) + "62]"}));
  Run basic = RunZelmor(args + QStringList{"--identify-code", "basic"});
  QCOMPARE(basic.lines.size(), 3);
}

// A server whose every reply says "more follows" with a new next object, one
// that sends the reader back to an object already read, one whose object is
// longer than its reply, and an exception: each ends with exit 7 and the
// reason, none hangs.
void HeadlessTest::identifyStopsOnEndlessOrBadReplies() {
  std::atomic<int> mode{0};
  testpeer::FakeTcpServer server([&mode](const testpeer::Bytes& request) {
    testpeer::Answer answer;
    const std::uint8_t asked = request.back();
    testpeer::Bytes pdu{0x2B, 0x0E, request[9], 0x83, 0xFF, static_cast<std::uint8_t>(asked + 1), 1, asked, 1, 'x'};
    if (mode == 1) pdu[5] = 0;                       // back to object 0
    if (mode == 2) pdu[8] = 50;                      // the object claims 50 bytes
    if (mode == 3) pdu = {0xAB, 0x02};               // exception 2
    answer.segments = {testpeer::Adu(testpeer::TransactionIdOf(request), request[6], pdu)};
    return answer;
  });
  const QStringList args{"--tcp", QString("127.0.0.1:%1").arg(server.port()), "--identify", "1"};
  const char* reasons[] = {"more than 32 continuations", "names object 0x00 again", "claims 50 bytes",
                           "exception 2 (Illigal Data Address)"};
  for (int m = 0; m < 4; ++m) {
    mode = m;
    Run run = RunZelmor(args);
    QCOMPARE(run.exitCode, 8);
    QVERIFY2(run.errors.contains(reasons[m]), qPrintable(run.errors));
    QVERIFY(run.lines.isEmpty());
  }
}

// vantor serves a register map (a float in BADC order, a register, coils);
// zelmor records two polls of it until SIGTERM. The file has the header, rows
// whose elapsed time grows, and the registers exactly as vantor holds them.
void HeadlessTest::recordsADeviceForReplay() {
  const QString mapPath = dir_.filePath("device.map.csv");
  QFile map(mapPath);
  QVERIFY(map.open(QIODevice::WriteOnly));
  map.write("table,address,type,order,name,unit,scale,value\n"
            "holding registers,400001,float32,BADC,Flow,l/s,1,1.5\n"
            "holding registers,400003,uint16,,Setpoint,,1,4660\n"
            "coils,000001,bit,,Pump,,,1\n"
            "coils,000003,bit,,Valve,,,1\n");
  map.close();
  VantorPeer vantor;
  QVERIFY(vantor.start({"1:3:0:10"}, {"--map", "1=" + mapPath}));
  // The registers from a document with the map attached, the coils from --poll.
  zelmor::PollDocumentData d;
  d.length = 4;
  d.scanRate = 20;
  d.registerMap = mapPath.toStdString();
  const QString docPath = dir_.filePath("device.zmd");
  std::string error;
  QVERIFY(archive::WriteFileAtomically(docPath.toStdString(), zelmor::EncodePollDocument(d), &error));
  const QString recordPath = dir_.filePath("device.csv");
  const QString exportPath = dir_.filePath("exported.map.csv");
  QProcess zelmor;
  zelmor.start(ZELMOR_BINARY, {"--headless", "--tcp", QString("127.0.0.1:%1").arg(vantor.port()), docPath, "--poll",
                               "1:1:0:3:20", "--record", recordPath, "--export-map", exportPath});
  QVERIFY(zelmor.waitForStarted());
  auto rows = [&recordPath] {
    QFile file(recordPath);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()).split('\n') : QStringList();
  };
  QTRY_VERIFY_WITH_TIMEOUT(rows().size() > 10, 10000);
  ::kill(static_cast<pid_t>(zelmor.processId()), SIGTERM);
  QVERIFY(zelmor.waitForFinished(10000));
  QCOMPARE(zelmor.exitStatus(), QProcess::NormalExit);
  QCOMPARE(zelmor.exitCode(), 0);

  QStringList lines = rows();
  QCOMPARE(lines.takeLast(), QString());  // the last row is whole
  QCOMPARE(lines.takeFirst(), QString(recording::kHeader));
  long long previous = -1;
  int holding = 0, coils = 0;
  for (const QString& line : lines) {
    const QStringList fields = line.split(',');
    QCOMPARE(fields.size(), 7);
    QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$").match(fields[0]).hasMatch(),
             qPrintable(line));
    QVERIFY2(fields[1].toLongLong() >= previous, qPrintable(line));
    previous = fields[1].toLongLong();
    const QString sample = fields.mid(2).join(',');
    if (sample == "1,holding registers,400001,4,C03F 0000 1234 0000")
      ++holding;
    else if (sample == "1,coils,000001,3,1 0 1")
      ++coils;
    else
      QFAIL(qPrintable("unexpected row " + line));
  }
  QVERIFY(holding >= 3 && coils >= 3);
  QVERIFY(previous > lines.first().split(',')[1].toLongLong());
  // --export-map: the document's map with the values read last, as vantor serves them.
  regmap::RegisterMap exported;
  QVERIFY2(regmap::LoadRegisterMap(exportPath.toStdString(), &exported, &error), error.c_str());
  QCOMPARE(int(exported.entries.size()), 3);  // and the unnamed register 400004
  QCOMPARE(exported.entries[0].name, std::string("Flow"));
  QCOMPARE(exported.entries[0].order, wordorder::Order::kBADC);
  QCOMPARE(exported.entries[0].value, 1.5);
  QCOMPARE(exported.entries[1].value, 4660.0);
  QCOMPARE(exported.entries[2].address, 3);

  // A recording that cannot be written ends the run with its own exit code.
  Run full = RunZelmor({"--tcp", QString("127.0.0.1:%1").arg(vantor.port()), "--poll", "1:3:0:4", "--record",
                        "/dev/full", "--count", "1"});
  QCOMPARE(full.exitCode, 9);
  QVERIFY2(full.errors.contains("zelmor: /dev/full: No space left on device"), qPrintable(full.errors));
}

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
