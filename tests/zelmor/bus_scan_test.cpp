// zelmor --headless --scan against headless vantor: the slave ids it finds over
// Modbus/TCP and on an RTU pty line, the baud rate and parity of a line that
// carries bytes only at its own settings, a gateway answering every id, and a
// link that cannot be opened.
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include "child_output.h"
#include "pty_bridge.h"
#include "vantor_peer.h"

namespace {

struct Run {
  int exitCode = -1;
  QStringList lines;
  QString errors;
};

// zelmor --headless with the arguments; --scan first unless a --register-scan or --identify is asked for.
Run RunScan(const QStringList& args, int timeoutMs = 60000) {
  QProcess process;
  const bool other = args.contains("--register-scan") || args.contains("--identify");
  process.start(ZELMOR_BINARY, QStringList{"--headless"} + (other ? QStringList{} : QStringList{"--scan"}) + args);
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

// The slave ids of the found lines ("slave 5 ...").
QList<int> FoundIds(const Run& run) {
  QList<int> ids;
  for (const QString& line : run.lines) ids << line.section(' ', 1, 1).toInt();
  return ids;
}

// Headless vantor as a serial slave on a pty device.
class SerialVantor {
 public:
  ~SerialVantor() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  bool start(const QString& device, const QStringList& definitions, const QStringList& extra = {}) {
    QStringList args{"--headless", "--serial", device};
    for (const QString& d : definitions) args << "--slave" << d;
    process_.start(VANTOR_BINARY, args + extra);
    if (!process_.waitForStarted(10000)) return false;
    return ReadUntil(process_, QProcess::StandardError, "serving", 10000).contains("serving");
  }

 private:
  QProcess process_;
};

}  // namespace

class BusScanTest : public QObject {
  Q_OBJECT

 private slots:
  void findsTheUnitIdsServedOverTcp();
  void identificationProbesShowWhatEachIdSent();
  void identificationOverRtuOverTcp();
  void identificationOnRtuAndAsciiLines();
  void findsTheSlavesOnAnRtuLine();
  void findsTheBaudRateOfTheLine();
  void aGatewayAnsweringEveryIdIsReported();
  void aLinkThatCannotOpenEndsTheScan();
  void registerScanFindsTheBlocksBetweenGaps();
};

void BusScanTest::findsTheUnitIdsServedOverTcp() {
  VantorPeer vantor;
  // Unit 9 serves input registers only: its exception to the holding-register
  // probe still shows a device.
  QVERIFY(vantor.start({"3:3:0:10", "7:3:0:10", "9:4:0:5", "12:3:100:10"}));
  Run run = RunScan({"--tcp", QString("127.0.0.1:%1").arg(vantor.port()), "--scan-ids", "1-14"});
  QCOMPARE(run.exitCode, 0);
  // 12 has no register 0: its exception 2 shows a device too.
  QCOMPARE(FoundIds(run), (QList<int>{3, 7, 9, 12}));
  QVERIFY2(run.lines[2].contains("exception 1"), qPrintable(run.lines.join('\n')));
  Run at100 = RunScan({"--tcp", QString("127.0.0.1:%1").arg(vantor.port()), "--scan-ids", "10-14",
                       "--scan-probe", "register:100"});
  QCOMPARE(FoundIds(at100), (QList<int>{12}));
  QVERIFY2(at100.lines[0].contains("value 0"), qPrintable(at100.lines.join('\n')));
  // Nothing there: exit code 7, and the summary says how many probes ran.
  Run none = RunScan({"--tcp", QString("127.0.0.1:%1").arg(vantor.port()), "--scan-ids", "20-22"});
  QCOMPARE(none.exitCode, 7);
  QVERIFY2(none.errors.contains("0 found in 3 of 3 probes"), qPrintable(none.errors));
}

void BusScanTest::identificationProbesShowWhatEachIdSent() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"3:3:0:10", "7:4:0:5", "12:3:100:10"},
                       {"--identity", "7:VendorName=Acme, Pumps", "--identity", "7:ProductCode=PX-1"}));
  const QString tcp = QString("127.0.0.1:%1").arg(vantor.port());
  Run identify = RunScan({"--tcp", tcp, "--scan-ids", "1-14", "--scan-probe", "identify"});
  QCOMPARE(identify.exitCode, 0);
  QCOMPARE(FoundIds(identify), (QList<int>{3, 7, 12}));
  const QString all = identify.lines.join('\n') + identify.errors;
  // The answer joins the basic objects; the named fields follow.
  QVERIFY2(identify.lines[1].contains(" ms Acme, Pumps PX-1 "), qPrintable(all));
  QVERIFY2(identify.lines[1].contains("VendorName=Acme, Pumps; ProductCode=PX-1; MajorMinorRevision="), qPrintable(all));
  QVERIFY2(identify.lines[0].contains(" ms vantor vantor ") && identify.lines[0].contains("VendorName=vantor"),
           qPrintable(all));
  // 43/14 basic from object 0 went to every id, MBAP-framed.
  QTRY_COMPARE_WITH_TIMEOUT(vantor.requests().filter(QRegularExpression("^.. 2B 0E 01 00$")).size(), 14, 5000);

  Run report = RunScan({"--tcp", tcp, "--scan-ids", "1-14", "--scan-probe", "report-slave-id"});
  QCOMPARE(report.exitCode, 0);
  QCOMPARE(FoundIds(report), (QList<int>{3, 7, 12}));
  QVERIFY2(report.lines[0].contains("SlaveId=") && report.lines[0].contains("Data="),
           qPrintable(report.lines.join('\n') + report.errors));

  // Id 2 answers after the probe's time-out: its late reply comes to the probe
  // of id 3, which is sent again rather than missed.
  VantorPeer late;
  QVERIFY(late.start({"1:3:0:10", "2:3:0:10", "3:3:0:10", "4:3:0:10"}, {"--delay", "2=150"}));
  Run behind = RunScan({"--tcp", QString("127.0.0.1:%1").arg(late.port()), "--scan-ids", "1-4", "--scan-probe",
                        "identify", "--scan-timeout", "100"});
  QCOMPARE(FoundIds(behind), (QList<int>{1, 3, 4}));
  QVERIFY2(behind.errors.contains("3 found in 4 of 4 probes"), qPrintable(behind.errors));

  // A bad probe name is refused before anything is sent.
  Run bad = RunScan({"--tcp", tcp, "--scan-probe", "identify:1"});
  QVERIFY(bad.exitCode != 0 && bad.errors.contains("--scan-probe expects"));
}

// A serial gateway on TCP: the identification requests go out as RTU frames
// with their CRC, both from the scan and from --identify.
void BusScanTest::identificationOverRtuOverTcp() {
  QProcess gateway;
  gateway.start(VANTOR_BINARY, {"--headless", "--slave", "2:3:0:10", "--slave", "4:3:0:10", "--rtu-over-tcp",
                                "127.0.0.1:0", "--identity", "4:VendorName=Gate"});
  QVERIFY(gateway.waitForStarted());
  const QByteArray said = ReadUntil(gateway, QProcess::StandardError, "\n", 10000);
  const QString link = "127.0.0.1:" + QString::fromLatin1(said.mid(said.lastIndexOf(':') + 1).trimmed());
  Run scan = RunScan({"--rtu-over-tcp", link, "--scan-ids", "1-5", "--scan-probe", "identify"});
  Run identify = RunScan({"--rtu-over-tcp", link, "--identify", "4"});
  gateway.kill();
  gateway.waitForFinished();
  QCOMPARE(FoundIds(scan), (QList<int>{2, 4}));
  QVERIFY2(scan.lines[1].contains("VendorName=Gate;"), qPrintable(scan.lines.join('\n') + scan.errors));
  QCOMPARE(identify.exitCode, 0);
  QVERIFY2(identify.lines.value(0) == "VendorName: Gate", qPrintable(identify.lines.join('\n') + identify.errors));
}

// The identification probes on serial lines: raw RTU and ASCII frames, the
// reply read until the line falls silent, silent ids at their time-out.
void BusScanTest::identificationOnRtuAndAsciiLines() {
  for (const bool ascii : {false, true}) {
    PtyBridge line;
    QVERIFY2(line.ok(), "no pseudo-terminals available");
    SerialVantor vantor;
    QVERIFY(vantor.start(QString::fromStdString(line.pathA()), {"2:3:0:10", "5:3:0:10"},
                         QStringList{"--identity", "5:VendorName=Line"} + (ascii ? QStringList{"--ascii"} : QStringList{})));
    Run run = RunScan({"--serial", QString::fromStdString(line.pathB()), "--baud", "9600", "--parity", "none",
                       "--scan-framing", ascii ? "ascii" : "rtu", "--scan-ids", "1-6", "--scan-probe", "identify",
                       "--scan-timeout", "300"});
    const QString all = run.lines.join('\n') + run.errors;
    QCOMPARE(FoundIds(run), (QList<int>{2, 5}));
    QVERIFY2(run.lines[1].contains(ascii ? "9600 8N1 ASCII" : "9600 8N1 RTU"), qPrintable(all));
    QVERIFY2(run.lines[1].contains(" ms Line vantor ") && run.lines[1].contains("VendorName=Line;"), qPrintable(all));
  }
}

void BusScanTest::findsTheSlavesOnAnRtuLine() {
  PtyBridge line;
  QVERIFY2(line.ok(), "no pseudo-terminals available");
  SerialVantor vantor;
  QVERIFY(vantor.start(QString::fromStdString(line.pathA()), {"2:3:0:10", "5:3:0:10", "6:3:10:4"}));
  Run run = RunScan({"--serial", QString::fromStdString(line.pathB()), "--baud", "9600", "--parity", "none",
                     "--scan-ids", "1-8"});
  QCOMPARE(run.exitCode, 0);
  // 6 answers exception 2 for register 0: present all the same.
  QCOMPARE(FoundIds(run), (QList<int>{2, 5, 6}));
  QVERIFY2(run.lines[0].contains("9600 8N1 RTU"), qPrintable(run.lines.join('\n')));
  QVERIFY2(run.lines[2].contains("exception 2"), qPrintable(run.lines.join('\n')));
}

// A pty shows the baud rate its far side set but not the parity (the pty
// driver drops it); parities are tried on the fake serial port of
// bus_scan_parity_test.cpp.
void BusScanTest::findsTheBaudRateOfTheLine() {
  LineSettingsBridge line(B19200);
  QVERIFY2(line.ok(), "no pseudo-terminals available");
  SerialVantor vantor;
  QVERIFY(vantor.start(QString::fromStdString(line.pathA()), {"4:3:0:10"}));
  Run run = RunScan({"--serial", QString::fromStdString(line.pathB()), "--scan-ids", "3-5", "--scan-bauds",
                     "9600,19200,38400", "--scan-parities", "none", "--scan-framing", "both"});
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines.size(), 1);
  QVERIFY2(run.lines[0].startsWith("slave 4 19200 8N1 RTU"), qPrintable(run.lines.join('\n') + run.errors));
  QVERIFY2(run.errors.contains("1 found in 18 of 18 probes"), qPrintable(run.errors));
}

void BusScanTest::aGatewayAnsweringEveryIdIsReported() {
  QProcess ignoring;
  ignoring.start(VANTOR_BINARY, {"--headless", "--slave", "1:3:0:10", "--tcp", "127.0.0.1:0", "--ignore-unit-id"});
  QVERIFY(ignoring.waitForStarted());
  const QByteArray said = ReadUntil(ignoring, QProcess::StandardError, "\n", 10000);
  const QString port = QString::fromLatin1(said.mid(said.lastIndexOf(':') + 1).trimmed());
  Run run = RunScan({"--tcp", "127.0.0.1:" + port, "--scan-ids", "1-5"});
  ignoring.kill();
  ignoring.waitForFinished();
  QCOMPARE(FoundIds(run), (QList<int>{1, 2, 3, 4, 5}));
  QVERIFY2(run.errors.contains("every slave id answered on TCP"), qPrintable(run.errors));

  // A gateway whose targets are all silent answers exception 11 for every id.
  QProcess gateway;
  gateway.start(VANTOR_BINARY, {"--headless", "--slave", "1:3:0:10", "--tcp", "127.0.0.1:0", "--ignore-unit-id",
                                "--exception", "11"});
  QVERIFY(gateway.waitForStarted());
  const QByteArray said11 = ReadUntil(gateway, QProcess::StandardError, "\n", 10000);
  Run silent = RunScan({"--tcp", "127.0.0.1:" + QString::fromLatin1(said11.mid(said11.lastIndexOf(':') + 1).trimmed()),
                        "--scan-ids", "1-4"});
  gateway.kill();
  gateway.waitForFinished();
  // Exception 11: the gateway's target did not answer, so no device there.
  QCOMPARE(silent.exitCode, 7);
  QVERIFY(silent.lines.isEmpty());
}

void BusScanTest::aLinkThatCannotOpenEndsTheScan() {
  Run run = RunScan({"--serial", "/nonexistent/tty", "--scan-ids", "1-3"});
  QCOMPARE(run.exitCode, 4);
  QVERIFY2(run.errors.contains("Port not available"), qPrintable(run.errors));
  QVERIFY2(run.errors.contains("scan failed: 0 found in 0 of 3 probes"), qPrintable(run.errors));
  Run bad = RunScan({"--tcp", "127.0.0.1:1", "--scan-ids", "1-300"});
  QCOMPARE(bad.exitCode, 2);
  Run serialRange = RunScan({"--serial", "/dev/null", "--scan-ids", "0-3"});
  QCOMPARE(serialRange.exitCode, 2);
  QVERIFY2(serialRange.errors.contains("broadcast"), qPrintable(serialRange.errors));
}

void BusScanTest::registerScanFindsTheBlocksBetweenGaps() {
  VantorPeer vantor;
  QVERIFY(vantor.start({"1:3:0:10", "1:3:20:5", "1:3:26:1", "1:1:5:3"}));
  const QString tcp = QString("127.0.0.1:%1").arg(vantor.port());
  QProcess write;
  write.start(ZELMOR_BINARY, {"--headless", "--tcp", tcp, "--write", "1:16:7:70,80,90", "--write", "1:6:26:260",
                              "--write", "1:15:6:1,1"});
  QVERIFY(write.waitForFinished(20000));
  QCOMPARE(write.exitCode(), 0);
  Run run = RunScan({"--tcp", tcp, "--register-scan", "1:3:0-49:16"});
  QCOMPARE(run.exitCode, 0);
  QCOMPARE(run.lines, (QStringList{"address,count,values", "0,10,0 0 0 0 0 0 0 70 80 90", "20,5,0 0 0 0 0",
                                   "26,1,260"}));
  Run coils = RunScan({"--tcp", tcp, "--register-scan", "1:1:0-20"});
  QCOMPARE(coils.lines, (QStringList{"address,count,values", "5,3,0 1 1"}));
  // Input registers: the slave has none, and its exception ends the scan with its name.
  Run none = RunScan({"--tcp", tcp, "--register-scan", "1:4:0-9"});
  QCOMPARE(none.exitCode, 4);
  QVERIFY2(none.errors.contains("address 0: Illigal Function"), qPrintable(none.errors));
  // A slave that is not there: the scan ends at the first time-out and says so.
  Run absent = RunScan({"--tcp", tcp, "--timeout", "100", "--register-scan", "5:3:0-999"});
  QCOMPARE(absent.exitCode, 4);
  QVERIFY2(absent.errors.contains("address 0: Timeout Error"), qPrintable(absent.errors));
}

QTEST_GUILESS_MAIN(BusScanTest)
#include "bus_scan_test.moc"
