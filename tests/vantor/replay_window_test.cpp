// File > Replay Recording... through the real windows: the recording's reads go
// into the open definition and a window added for the unit no definition holds,
// at their times, drawn as moving values, with the position in the status bar;
// Stop Replay keeps the values and the document unmodified; a bad recording is
// reported and changes nothing. The file is read on a worker thread: the window
// keeps serving its event loop while a large one is read, plans with the
// definitions open when it has arrived, and may close or stop meanwhile.
#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QSpinBox>
#include <QtTest>

#include "framework/window_messages.h"
#include "resources/vantor_resources.h"
#include "slave/app/replay_dialog.h"
#include "slave/app/replay_runner.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"
#include "vantor_test_support.h"

using namespace vantorres;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

int BluePixels(QWidget* view) {
  const QImage shot = view->grab().toImage();
  int count = 0;
  for (int y = 0; y < shot.height(); ++y)
    for (int x = 0; x < shot.width(); ++x) count += shot.pixelColor(x, y) == QColor(0x00, 0x60, 0xC0) ? 1 : 0;
  return count;
}

std::vector<std::uint16_t> SlotRegisters(CVantorDoc* d) {
  std::vector<std::uint16_t> words(static_cast<std::size_t>(d->length()));
  slaveengine::ReadSlotRegisters(d->slot(), words.data());
  return words;
}

const QByteArray kHeader = "time,elapsed ms,unit,table,address,count,values\n";

// A recording of about 40 MB (a blocking read takes a second or more): unit 2's
// coils and unit 1's first ten registers at 0 ms, then reads of those registers
// every 10 ms.
void WriteLargeRecording(const QString& path) {
  QByteArray bytes = kHeader + "t,0,2,coils,000005,3,1 0 1\n"
                               "t,0,1,holding registers,400001,10,0011 0022 0033 0044 0055 0066 0077 0088 0099 00AA\n";
  const QByteArray values = ",1,holding registers,400001,10,1234 5678 9ABC DEF0 1234 5678 9ABC DEF0 1234 5678\n";
  // The second row comes 3 s after the first, so the first row's values stay
  // long enough to be seen even on a loaded machine.
  for (int row = 1; bytes.size() < 40 * 1024 * 1024; ++row)
    bytes += "2026-12-08 12:00:00.000," + QByteArray::number(3000 + row * 10) + values;
  WriteFile(path, bytes);
}

}  // namespace

class ReplayWindowTest : public QObject {
  Q_OBJECT

 private:
  void chooseReplay(VantorFixture& f, const QString& path, bool loop) {
    f.files.script({path});
    WhenDialogOpens<ReplayDialog>([loop](ReplayDialog* d) {
      d->speedEdit()->setValue(1);
      d->loopCheck()->setChecked(loop);
      d->accept();
    });
    f.frame()->action(ID_REPLAY_RECORDING)->trigger();
  }
  // Chooses and waits until the file has been read.
  void replayRead(VantorFixture& f, const QString& path, bool loop) {
    chooseReplay(f, path, loop);
    QTRY_VERIFY_WITH_TIMEOUT(!f.frame()->replayRunner()->reading(), 30000);
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void replaysIntoTheWindowsAndStops() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(1, 3, 0, 10);
    f.doc()->setModified(false);
    CVantorDoc* regs = f.doc();
    auto* view = static_cast<CVantorView*>(regs->firstView());
    const QString path = f.dir.filePath(QStringLiteral("device.csv"));
    WriteFile(path, kHeader + "t,0,1,holding registers,400002,2,0011 0022\n"
                              "t,0,2,coils,000005,3,1 1 0\n"
                              "t,3000,1,holding registers,400002,2,0033 0044\n");
    QVERIFY(!f.frame()->action(ID_STOP_REPLAY)->isEnabled());
    replayRead(f, path, false);
    QCOMPARE(f.boxes.count(), 0);
    QVERIFY(f.frame()->replayRunner()->running());
    QVERIFY(f.frame()->action(ID_STOP_REPLAY)->isEnabled());
    QCOMPARE(f.frame()->documents().size(), 2);  // a window for unit 2's coils
    auto* coils = dynamic_cast<CVantorDoc*>(f.frame()->documents().value(1));
    QVERIFY(coils != nullptr);
    QCOMPARE(coils->slaveId(), 2);
    QCOMPARE(coils->table(), 1);
    QCOMPARE(coils->address(), 4);
    QCOMPARE(coils->length(), 3);
    QCOMPARE(std::vector<int>(coils->image(), coils->image() + 3), (std::vector<int>{1, 1, 0}));
    QCOMPARE(SlotRegisters(regs)[1], std::uint16_t(0x11));
    QCOMPARE(autochange::ImageRegister(regs->image(), 2), std::uint16_t(0x22));
    QVERIFY(f.frame()->replayPaneText().startsWith(QStringLiteral("Replaying device.csv, ")));
    QVERIFY(f.frame()->replayPaneText().endsWith(QStringLiteral(" s of 3.0 s")));
    QVERIFY(BluePixels(view) > 0);
    QTRY_COMPARE_WITH_TIMEOUT(SlotRegisters(regs)[2], std::uint16_t(0x44), 10000);
    QCOMPARE(autochange::ImageRegister(regs->image(), 1), std::uint16_t(0x33));
    QTRY_COMPARE(f.frame()->replayPaneText(), QStringLiteral("Replaying device.csv, 3.0 s of 3.0 s"));
    f.frame()->action(ID_STOP_REPLAY)->trigger();
    QVERIFY(!f.frame()->replayRunner()->running());
    QCOMPARE(f.frame()->replayPaneText(), QString());
    QVERIFY(!f.frame()->action(ID_STOP_REPLAY)->isEnabled());
    QCOMPARE(BluePixels(view), 0);
    QCOMPARE(SlotRegisters(regs)[1], std::uint16_t(0x33));
    QVERIFY(!regs->isModified());  // replayed values are not edits
  }

  void badRecordingIsReportedAndChangesNothing() {
    VantorFixture f;
    QVERIFY(f.start());
    const QString path = f.dir.filePath(QStringLiteral("bad.csv"));
    WriteFile(path, kHeader + "t,0,7,coils,000001,2,1\n");
    replayRead(f, path, true);
    QCOMPARE(f.boxes.texts(),
             QStringList{path + QStringLiteral(": line 2, column 7 (values): 2 values expected, the row has 1")});
    QVERIFY(!f.frame()->replayRunner()->running());
    QCOMPARE(f.frame()->documents().size(), 1);
    QCOMPARE(f.frame()->replayPaneText(), QString());
  }

  // The command returns to the event loop at once: a 20 ms timer started as
  // the dialog closes fires long before the file could have been read, while
  // the status bar says so and the command is off. A window opened during the
  // read is planned with, so no window is added for it.
  void largeRecordingIsReadWhileTheWindowRuns() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(1, 3, 0, 10);
    CVantorDoc* regs = f.doc();
    const QString path = f.dir.filePath(QStringLiteral("large.csv"));
    WriteLargeRecording(path);
    QElapsedTimer clock;
    qint64 firedAfter = -1;
    bool readingThen = false;
    QString paneThen;
    bool commandThen = true;
    f.files.script({path});
    WhenDialogOpens<ReplayDialog>([&](ReplayDialog* d) {
      d->speedEdit()->setValue(1);
      d->loopCheck()->setChecked(false);
      clock.start();
      QTimer::singleShot(20, [&] {
        firedAfter = clock.elapsed();
        readingThen = f.frame()->replayRunner()->reading();
        paneThen = f.frame()->replayPaneText();
        commandThen = f.frame()->action(ID_REPLAY_RECORDING)->isEnabled();
        if (readingThen) {
          auto* coils = dynamic_cast<CVantorDoc*>(f.frame()->newDocument());
          coils->applyDefinition(2, 1, 4, 3);
        }
      });
      d->accept();
    });
    f.frame()->action(ID_REPLAY_RECORDING)->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(firedAfter >= 0, 30000);
    QVERIFY2(firedAfter < 200, qPrintable(QString::number(firedAfter)));
    QVERIFY(readingThen);
    QCOMPARE(paneThen, QStringLiteral("Reading large.csv..."));
    QVERIFY(!commandThen);
    QVERIFY(f.frame()->action(ID_STOP_REPLAY)->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(f.frame()->replayRunner()->running(), 60000);
    QCOMPARE(f.boxes.count(), 0);
    QVERIFY(f.frame()->action(ID_REPLAY_RECORDING)->isEnabled());
    QCOMPARE(f.frame()->documents().size(), 2);  // the coils window opened during the read serves unit 2
    auto* coils = dynamic_cast<CVantorDoc*>(f.frame()->documents().value(1));
    QCOMPARE(std::vector<int>(coils->image(), coils->image() + 3), (std::vector<int>{1, 0, 1}));
    QCOMPARE(SlotRegisters(regs)[0], std::uint16_t(0x11));
    QCOMPARE(SlotRegisters(regs)[9], std::uint16_t(0xAA));
    QTRY_COMPARE_WITH_TIMEOUT(SlotRegisters(regs)[0], std::uint16_t(0x1234), 10000);
    QVERIFY(f.frame()->replayPaneText().startsWith(QStringLiteral("Replaying large.csv, ")));
    f.frame()->action(ID_STOP_REPLAY)->trigger();
  }

  // Stop Replay drops a read in progress; closing the program during a read
  // neither waits for it nor lets its late result touch the gone window.
  void readStopsAndOutlivesTheWindow() {
    VantorFixture f;
    QVERIFY(f.start());
    const QString path = f.dir.filePath(QStringLiteral("large.csv"));
    WriteLargeRecording(path);
    chooseReplay(f, path, true);
    QVERIFY(f.frame()->replayRunner()->reading());
    f.frame()->action(ID_STOP_REPLAY)->trigger();
    QVERIFY(!f.frame()->replayRunner()->reading());
    QVERIFY(!f.frame()->action(ID_STOP_REPLAY)->isEnabled());
    QCOMPARE(f.frame()->replayPaneText(), QString());
    QTRY_COMPARE_WITH_TIMEOUT(RecordingReader::workersRunning(), 0, 60000);
    QTest::qWait(50);  // a late post would arrive now
    QVERIFY(!f.frame()->replayRunner()->running());
    QCOMPARE(f.frame()->documents().size(), 1);
    QCOMPARE(f.boxes.count(), 0);

    chooseReplay(f, path, true);
    QVERIFY(f.frame()->replayRunner()->reading());
    f.frame()->close();
    f.program.reset();
    QVERIFY(RecordingReader::workersRunning() > 0);  // gone without waiting for the read
    QTRY_COMPARE_WITH_TIMEOUT(RecordingReader::workersRunning(), 0, 60000);
    QTest::qWait(50);
    QCOMPARE(f.boxes.count(), 0);
  }
};

QTEST_MAIN(ReplayWindowTest)
#include "replay_window_test.moc"
