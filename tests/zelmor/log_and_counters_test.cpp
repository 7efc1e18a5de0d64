// A poll window's data log (against a pymodbus server, and its failures) and
// the error counters window.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include "gui_test_support.h"
#include "common/recording.h"
#include "master/app/data_log_dialog.h"
#include "master/app/device_recorder.h"
#include "master/app/poll_map_commands.h"
#include "master/app/error_counters_dialog.h"
#include "peer_server.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

namespace {

QStringList FileLines(const QString& path, QByteArray* bytes = nullptr) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray all = file.readAll();
  if (bytes) *bytes = all;
  QStringList lines = QString::fromLatin1(all).split('\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

// Whether this process holds a descriptor open on path.
bool HoldsOpen(const QString& path) {
  const QString target = QFileInfo(path).canonicalFilePath();
  for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System))
    if (fd.symLinkTarget() == target) return true;
  return false;
}

// Starts a log of the active window through "&Log..." with the given choices in "Set Log Rate".
void StartLog(ZelmorFixture& fx, const QString& path, int delimiter, bool logErrors) {
  fx.files->script({path});
  WhenModal<LogRateDialog>([delimiter, logErrors](LogRateDialog* d) {
    d->delimiterButton(delimiter)->setChecked(true);
    d->logErrorsBox()->setChecked(logErrors);
    d->okButton()->click();
  });
  fx.frame()->action(res::ID_SETUP_LOG)->trigger();
}

// Starts a comma log through "&Log..."; the long form's box as `dated`, after
// checking that it comes up as `datedBefore`.
void StartCommaLog(ZelmorFixture& fx, const QString& path, bool datedBefore, bool dated) {
  fx.files->script({path});
  WhenModal<LogRateDialog>([=](LogRateDialog* d) {
    QCOMPARE(d->datedBox()->isChecked(), datedBefore);
    d->delimiterButton(zelmor::kLogComma)->setChecked(true);
    d->datedBox()->setChecked(dated);
    d->okButton()->click();
  });
  fx.frame()->action(res::ID_SETUP_LOG)->trigger();
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QByteArray& value)
      : name_(name), old_(qgetenv(name)), had_(qEnvironmentVariableIsSet(name)) {
    value.isNull() ? qunsetenv(name) : qputenv(name, value);
  }
  ~ScopedEnv() { had_ ? qputenv(name_, old_) : qunsetenv(name_); }

 private:
  const char* name_;
  QByteArray old_;
  bool had_;
};

QStringList CountersWindowLines(ZelmorFixture& fx) {
  QStringList lines;
  WhenModal<CErrorCountersDlg>([&lines](CErrorCountersDlg* d) {
    lines = d->lines();
    QCOMPARE(d->list()->selectionMode(), QAbstractItemView::NoSelection);
    d->okButton()->click();
  });
  fx.frame()->action(res::ID_DISPLAY_ERROR_COUNTERS)->trigger();
  return lines;
}

}  // namespace

class LogAndCountersTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(peer_.start(), qPrintable(peer_.error())); }
  void cleanupTestCase() { peer_.stop(); }
  void logRateDialogRules();
  void eachPollIsLoggedWhilePolling();
  void logFailuresAndErrorLines();
  void errorCountersWindow();
  void notificationOfAnEarlierRegistrationIsDropped();
  void startFolderAndLongForm();
  void recordDeviceTakesEveryWindow();

 private:
  PeerServer peer_;
};

void LogAndCountersTest::logRateDialogRules() {
  ZelmorFixture fx;
  zelmor::LogSettings settings;
  LogRateDialog dialog(settings);
  QVERIFY(dialog.eachPollButton()->isChecked());
  QVERIFY(!dialog.rateEdit()->isEnabled());
  QCOMPARE(dialog.rateEdit()->text(), QString("1"));
  QVERIFY(dialog.delimiterButton(zelmor::kLogFixed)->isChecked());
  QVERIFY(!dialog.logErrorsBox()->isChecked());
  dialog.selectButton()->click();
  QVERIFY(dialog.rateEdit()->isEnabled());
  for (const char* bad : {"0", "3601"}) {
    dialog.rateEdit()->setText(bad);
    dialog.okButton()->click();
    QCOMPARE(fx.boxes->lastText(), QString("Please enter an integer between 1 and 3600."));
    QCOMPARE(dialog.result(), 0);  // stays open
  }
  dialog.rateEdit()->setText("3600");
  dialog.delimiterButton(zelmor::kLogTab)->setChecked(true);
  dialog.okButton()->click();
  QCOMPARE(dialog.result(), int(QDialog::Accepted));
  QVERIFY(dialog.settings().timed);
  QCOMPARE(dialog.settings().rate, 3600);
  QCOMPARE(dialog.settings().delimiter, int(zelmor::kLogTab));
}

void LogAndCountersTest::eachPollIsLoggedWhilePolling() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->takeDefinition({1, 2, 4, 50, 1, 1});  // 40001.. every 50 ms: 0, 16256, -1, 5
  QVERIFY2(fx.connectTcp(peer_.port()), qPrintable(fx.boxes->lastText()));
  QVERIFY(!fx.app->isConnecting());

  const QString path = fx.path("logfile.txt");
  StartLog(fx, path, zelmor::kLogComma, false);
  const fw::FileDialogRequest request = fx.files->requests().last();
  QCOMPARE(request.filter, QString("modbus log data (*.txt)|*.txt||"));
  QCOMPARE(request.initialName, QString("logfile.txt"));
  QVERIFY(request.confirmOverwrite);
  QVERIFY(doc->dataLog().active());
  fx.frame()->updateCommandUI();
  QVERIFY(!fx.frame()->action(res::ID_SETUP_LOG)->isEnabled());
  QVERIFY(fx.frame()->action(res::ID_SETUP_LOGGING_OFF)->isEnabled());
  const std::uint32_t goodBefore = doc->goodCount();
  QTRY_VERIFY_WITH_TIMEOUT(FileLines(path).size() >= 5, 10000);
  fx.frame()->action(res::ID_SETUP_LOGGING_OFF)->trigger();
  const std::uint32_t goodAfter = doc->goodCount();
  QVERIFY(!doc->dataLog().active());
  QVERIFY(!HoldsOpen(path));

  QByteArray bytes;
  const QStringList lines = FileLines(path, &bytes);
  QVERIFY(bytes.endsWith("\n") && !bytes.contains('\r'));
  const QRegularExpression layout("^\\d\\d:\\d\\d:\\d\\d,<40001>,0,16256,-1,5$");
  for (const QString& line : lines) QVERIFY2(layout.match(line).hasMatch(), qPrintable(line));
  // One line per good poll while the log was on (a poll or two may straddle the ends).
  QVERIFY2(std::abs(int(lines.size()) - int(goodAfter - goodBefore)) <= 2,
           qPrintable(QString("%1 lines, %2 polls").arg(lines.size()).arg(goodAfter - goodBefore)));
  QTest::qWait(200);  // polling goes on; the closed log does not grow
  QCOMPARE(FileLines(path).size(), lines.size());
  fx.frame()->action(res::ID_DISCONNECT)->trigger();
}

void LogAndCountersTest::logFailuresAndErrorLines() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  CZelmorView* view = fx.view();
  const int slot = doc->pollSlot();
  // A file that cannot be created.
  StartLog(fx, fx.path("no/such/dir/log.txt"), zelmor::kLogComma, false);
  QCOMPARE(fx.boxes->lastText(), QString("File open error"));
  QVERIFY(!doc->dataLog().active());
  // Cancel in the file dialog or in "Set Log Rate" starts nothing.
  fx.files->script({QString()});
  fx.frame()->action(res::ID_SETUP_LOG)->trigger();
  fx.files->script({fx.path("cancelled.txt")});
  WhenModal<LogRateDialog>([](LogRateDialog* d) { d->reject(); });
  fx.frame()->action(res::ID_SETUP_LOG)->trigger();
  QVERIFY(!doc->dataLog().active());
  QVERIFY(!QFile::exists(fx.path("cancelled.txt")));

  // With "Log errors", a time-out is a line ending in its error text (fixed width).
  const QString path = fx.path("errors.txt");
  StartLog(fx, path, zelmor::kLogFixed, true);
  view->onEngineNotify(1, slot);
  view->onEngineNotify(0, slot);
  QStringList lines = FileLines(path);
  QCOMPARE(lines.size(), 2);
  QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d <40001> Timeout Error$").match(lines[0]).hasMatch(),
           qPrintable(lines[0]));
  QVERIFY2(lines[1].endsWith("<40001>      0      0      0      0      0      0      0      0      0      0"),
           qPrintable(lines[1]));
  // Closing the document closes its log.
  QVERIFY(HoldsOpen(path));
  fx.frame()->frameOf(doc)->closeWithoutAsking();
  QTRY_COMPARE(fx.frame()->documents().size(), 0);
  QVERIFY(!HoldsOpen(path));

  // A full disk: the message, the file closed, logging off.
  auto* next = qobject_cast<CZelmorDoc*>(fx.frame()->newDocument());
  QVERIFY(next);
  const QString full = fx.path("full.txt");
  QVERIFY(QFile::link("/dev/full", full));
  StartLog(fx, full, zelmor::kLogComma, false);
  QVERIFY(next->dataLog().active());
  fx.boxes->clear();
  qobject_cast<CZelmorView*>(next->firstView())->onEngineNotify(0, next->pollSlot());
  QCOMPARE(fx.boxes->texts(), QStringList{"Disk full or disk error"});
  QVERIFY(!next->dataLog().active());
  QVERIFY(!HoldsOpen(full));
}

void LogAndCountersTest::errorCountersWindow() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  const int slot = fx.doc()->pollSlot();
  QAction* command = fx.frame()->action(res::ID_DISPLAY_ERROR_COUNTERS);
  QCOMPARE(command->shortcut(), QKeySequence("F11"));
  QVERIFY(command->isEnabled());  // without a link too
  QCOMPARE(CountersWindowLines(fx), QStringList{"NO ERRORS!"});
  for (int i = 0; i < 3; ++i) view->onEngineNotify(1, slot);
  view->onEngineNotify(130, slot);
  QCOMPARE(CountersWindowLines(fx), (QStringList{"1\tILLEGAL DATA ADDRESS", "3\tTimeout Error"}));
  // Text order, not counter order: a count of 10 comes before a count of 9.
  fx.frame()->action(res::ID_SETUP_RESET_COUNTERS)->trigger();
  for (int i = 0; i < 9; ++i) view->onEngineNotify(1, slot);
  for (int i = 0; i < 10; ++i) view->onEngineNotify(2, slot);
  view->onEngineNotify(128 + 11, slot);  // exception 11
  view->onEngineNotify(11, slot);        // reply too short
  QCOMPARE(CountersWindowLines(fx), (QStringList{"1\tBytes Missing Error", "1\tUnknown Exception Error",
                                                 "10\tCRC Error", "9\tTimeout Error"}));
  fx.frame()->action(res::ID_SETUP_RESET_COUNTERS)->trigger();
  QCOMPARE(CountersWindowLines(fx), QStringList{"NO ERRORS!"});
}

void LogAndCountersTest::notificationOfAnEarlierRegistrationIsDropped() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  // A new definition registers the poll again (here on the same slot); a
  // result the old registration had already posted then arrives.
  doc->takeRequest(1, 3, 0, 10, 1000, true);
  const int slot = doc->pollSlot();
  fx.view()->onEngineNotify(0, slot);
  fx.view()->onEngineNotify(1, slot);
  QCOMPARE(doc->lastResult(), 10);  // still waiting for the new registration's first reply
  QCOMPARE(CountersWindowLines(fx), QStringList{"NO ERRORS!"});
}

// The file dialog never starts in the working directory (here /proc, where
// Qt's dialog can hang) but in the documents folder, then in the last log's
// folder. The long form: date, milliseconds and a header row, kept in the profile.
void LogAndCountersTest::startFolderAndLongForm() {
  ZelmorFixture fx;
  QVERIFY(QDir().mkpath(fx.path("home/Documents")));
  const QString documents = QFileInfo(fx.path("home/Documents")).canonicalFilePath();
  ScopedEnv home("HOME", QFile::encodeName(fx.path("home")));
  ScopedEnv config("XDG_CONFIG_HOME", QByteArray());
  QCOMPARE(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), fx.path("home/Documents"));
  const QString workingDirectory = QDir::currentPath();
  struct BackHome {
    QString directory;
    ~BackHome() { QDir::setCurrent(directory); }
  } backHome{workingDirectory};
  QVERIFY(QDir::setCurrent("/proc"));
  QVERIFY(fx.start());
  CZelmorView* view = fx.view();
  const int slot = fx.doc()->pollSlot();

  const QString dated = fx.path("logs/dated.txt");
  QVERIFY(QDir().mkpath(fx.path("logs")));
  StartCommaLog(fx, dated, false, true);
  QCOMPARE(QFileInfo(fx.files->requests().last().directory).canonicalFilePath(), documents);
  view->onEngineNotify(0, slot);
  view->onEngineNotify(0, slot);
  fx.frame()->action(res::ID_SETUP_LOGGING_OFF)->trigger();
  QStringList lines = FileLines(dated);
  QCOMPARE(lines.size(), 3);
  QCOMPARE(lines[0], QString("Date Time,Address,40001,40002,40003,40004,40005,40006,40007,40008,40009,40010"));
  const QRegularExpression longForm("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},<40001>,0,0,0,0,0,0,0,0,0,0$");
  for (int i = 1; i < 3; ++i) QVERIFY2(longForm.match(lines[i]).hasMatch(), qPrintable(lines[i]));
  QCOMPARE(fx.profile().readInt("DataLog", "DateAndHeader", 0), 1);

  // The next log starts in the folder of this one, with the box as it was left;
  // without it the lines are as they always were.
  const QString plain = fx.path("plain.txt");
  StartCommaLog(fx, plain, true, false);
  QCOMPARE(fx.files->requests().last().directory, fx.path("logs"));
  view->onEngineNotify(0, slot);
  fx.frame()->action(res::ID_SETUP_LOGGING_OFF)->trigger();
  lines = FileLines(plain);
  QCOMPARE(lines.size(), 1);
  QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d,<40001>,0,0,0,0,0,0,0,0,0,0$").match(lines[0]).hasMatch(),
           qPrintable(lines[0]));
  QCOMPARE(fx.profile().readInt("DataLog", "DateAndHeader", -1), 0);

  // A remembered folder that is gone, or on a pseudo file system: the documents folder.
  for (const char* remembered : {"/proc/self", "/sys", "/dev/shm", "/no/such/folder"}) {
    fx.profile().writeString("DataLog", "Folder", remembered);
    fx.files->script({QString()});
    fx.frame()->action(res::ID_SETUP_LOG)->trigger();
    QCOMPARE(QFileInfo(fx.files->requests().last().directory).canonicalFilePath(), documents);
  }
  // No documents folder: home, never the working directory.
  QVERIFY(QDir(fx.path("home/Documents")).removeRecursively());
  fx.files->script({QString()});
  fx.frame()->action(res::ID_SETUP_LOG)->trigger();
  QCOMPARE(fx.files->requests().last().directory, fx.path("home"));
}

// Setup > Record Device with two poll windows: both polls' good reads go into
// one recording; the command stops it, and so does closing the connection.
void LogAndCountersTest::recordDeviceTakesEveryWindow() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CMainFrame* frame = fx.frame();
  QAction* record = frame->action(res::ID_SETUP_RECORD_DEVICE);
  CZelmorDoc* holding = fx.doc();
  holding->takeDefinition({11, 2, 2, 50, 1, 1});  // 40011..40012: 1010, 1011
  const QString mapPath = fx.path("boiler.map.csv");
  QFile mapFile(mapPath);
  QVERIFY(mapFile.open(QIODevice::WriteOnly));
  mapFile.write("table,address,type,order,name,unit,scale,value\nholding registers,400012,int16,,Boiler,bar,1,\n");
  mapFile.close();
  QString mapError;
  QVERIFY2(pollmap::AttachRegisterMapFile(holding, mapPath, &mapError), qPrintable(mapError));
  auto* coils = qobject_cast<CZelmorDoc*>(frame->newDocument());
  QVERIFY(coils != nullptr);
  coils->takeDefinition({1, 0, 6, 50, 1, 1});  // 00001..00006: on when i % 3 == 0
  frame->updateCommandUI();
  QVERIFY(!record->isEnabled());  // a recording is of a connection
  QVERIFY2(fx.connectTcp(peer_.port()), qPrintable(fx.boxes->lastText()));
  QVERIFY(record->isEnabled() && !record->isChecked());

  const QString path = fx.path("device.csv");
  fx.files->script({path});
  record->trigger();
  const fw::FileDialogRequest request = fx.files->requests().last();
  QCOMPARE(request.filter, QString("Recordings (*.csv)"));
  QCOMPARE(request.initialName, QString("recording.csv"));
  QVERIFY(request.save && request.confirmOverwrite);
  QVERIFY(frame->recorder()->active());
  QVERIFY(record->isChecked());
  // The map of the window that has one goes beside the recording, with the window's values.
  regmap::RegisterMap written;
  std::string why;
  QVERIFY2(regmap::LoadRegisterMap((path + ".map.csv").toStdString(), &written, &why), why.c_str());
  QCOMPARE(int(written.entries.size()), 2);
  QCOMPARE(written.entries[1].name, std::string("Boiler"));
  QCOMPARE(written.entries[1].address, 11);
  const QString holdingRow = "1,holding registers,400011,2,03F2 03F3";
  const QString coilRow = "1,coils,000001,6,1 0 0 1 0 0";
  auto rowsOf = [&path](const QString& sample) {
    return FileLines(path).filter(QRegularExpression("^[^,]+,\\d+," + QRegularExpression::escape(sample) + "$")).size();
  };
  QTRY_VERIFY_WITH_TIMEOUT(rowsOf(holdingRow) >= 3 && rowsOf(coilRow) >= 3, 10000);
  QTRY_VERIFY(frame->recordPane()->isVisibleTo(frame) &&
              frame->recordPane()->text() == QString("Recording: %1 rows").arg(frame->recorder()->rows()));
  record->trigger();
  QVERIFY(!frame->recorder()->active());
  QVERIFY(!record->isChecked() && !frame->recordPane()->isVisibleTo(frame));
  QVERIFY(!HoldsOpen(path));
  QByteArray bytes;
  const QStringList lines = FileLines(path, &bytes);
  QVERIFY(bytes.endsWith("\n"));
  QCOMPARE(lines.first(), QString(recording::kHeader));
  QCOMPARE(rowsOf(holdingRow) + rowsOf(coilRow), lines.size() - 1);
  QCOMPARE(quint64(lines.size() - 1), frame->recorder()->rows());

  // Disconnecting ends a recording and closes its file.
  fx.files->script({fx.path("second.csv")});
  record->trigger();
  QVERIFY(frame->recorder()->active());
  frame->action(res::ID_DISCONNECT)->trigger();
  QTRY_VERIFY(!frame->recorder()->active());
  QVERIFY(!HoldsOpen(fx.path("second.csv")));
  QVERIFY(!record->isEnabled() && !record->isChecked());

  // Closing the last recorded window ends it too: its menu goes with it.
  QVERIFY2(fx.connectTcp(peer_.port()), qPrintable(fx.boxes->lastText()));
  fx.files->script({fx.path("third.csv")});
  record->trigger();
  QVERIFY(frame->recorder()->active());
  frame->frameOf(coils)->closeWithoutAsking();
  QVERIFY(frame->recorder()->active());
  frame->frameOf(holding)->closeWithoutAsking();
  QTRY_VERIFY(!frame->recorder()->active());
  QVERIFY(!HoldsOpen(fx.path("third.csv")));
}

QTEST_MAIN(LogAndCountersTest)
#include "log_and_counters_test.moc"
