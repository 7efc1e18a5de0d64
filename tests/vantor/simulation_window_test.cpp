// Simulated values through the real windows: Setup > Simulation... refuses a
// rule the definition does not hold and keeps the dialog open, a master reads
// the values move once connected and are drawn in blue, the rules go beside the saved file (whose
// bytes do not change) and come back on open, and a broken rules file is
// reported and left alone; From Recording... puts a recording's values into
// the definition.
#include <QAction>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <cstring>

#include "framework/window_messages.h"
#include "resources/vantor_resources.h"
#include "slave/app/simulation_dialog.h"
#include "slave/engine/autochange.h"
#include "vantor_test_support.h"

using namespace vantorres;

namespace {

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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

}  // namespace

class SimulationWindowTest : public QObject {
  Q_OBJECT

 private:
  // Enters rules in the dialog and presses OK; true when it closed.
  bool enterRules(VantorFixture& f, const QString& rules) {
    bool closed = false;
    WhenDialogOpens<SimulationDialog>([&](SimulationDialog* d) {
      d->rulesEdit()->setPlainText(rules);
      d->accept();
      closed = !d->isVisible();
      if (!closed) d->reject();
    });
    f.frame()->action(ID_SIMULATION)->trigger();
    return closed;
  }

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void dialogRulesMoveTheServedValues() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(1, 3, 0, 10);
    f.doc()->setModified(false);
    QVERIFY(!enterRules(f, QStringLiteral("1:3:0-1:sine:100:50:4000:float\n1:3:9-10:toggle:300\n")));
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("line 2: the definition does not hold 1:3:9-10:toggle:300")});
    QVERIFY(!f.doc()->isModified());
    QVERIFY(enterRules(f, QStringLiteral("# values\n1:3:0-1:sine:100:50:4000:float\n 1:3:9:toggle:300\n")));
    QVERIFY(f.doc()->isModified());
    QCOMPARE(QString::fromStdString(f.doc()->simulation().text()),
             QStringLiteral("1:3:0-1:sine:100:50:4000:float\n1:3:9:toggle:300\n"));
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.connected());
    bool seen[2] = {false, false};
    for (int k = 0; k < 60 && !(seen[0] && seen[1]); ++k) {
      QTest::qWait(100);
      const std::vector<std::uint16_t> r = master.registers(0, 10);
      QCOMPARE(r.size(), 10u);
      const std::uint32_t bits = r[0] | (std::uint32_t(r[1]) << 16);  // float: low word first
      float value;
      std::memcpy(&value, &bits, 4);
      if (k > 10) QVERIFY2(value >= 50.0f && value <= 150.0f, qPrintable(QString::number(value)));
      QVERIFY(r[9] <= 1);
      seen[r[9]] = true;
      for (int i = 2; i < 9; ++i) QCOMPARE(r[i], std::uint16_t(0));
    }
    QVERIFY(seen[0] && seen[1]);
    // The moving values are drawn in blue, and only while rules move them.
    QVERIFY(BluePixels(f.view()) > 0);
    QString error;
    QVERIFY(f.doc()->setSimulationText(QString(), &error));
    QCOMPARE(BluePixels(f.view()), 0);
  }

  // Right click on a float cell: the dialog starts with a rule for that value.
  void contextMenuOffersTheValueUnderThePointer() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(3, 4, 100, 10);
    f.frame()->action(kFormatCommandIds[autochange::kFloat])->trigger();
    f.view()->resize(400, 300);
    QString shown;
    WhenDialogOpens<SimulationDialog>([&](SimulationDialog* d) {
      shown = d->rulesEdit()->toPlainText();
      d->accept();
    });
    auto* popup = new QTimer;
    popup->setInterval(5);
    QObject::connect(popup, &QTimer::timeout, [popup] {
      if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        popup->stop();
        popup->deleteLater();
        menu->setActiveAction(menu->actions().value(0));
        QTest::keyClick(menu, Qt::Key_Return);
      }
    });
    popup->start();
    const CellLayout& l = f.view()->layout();
    const QPoint cell(l.columnWidth / 2, l.rowHeight * 5 + l.rowHeight / 2);  // element 3 (header rows 2)
    QCOMPARE(f.view()->indexAt(cell + f.view()->scrollPosition()), 3);
    QContextMenuEvent event(QContextMenuEvent::Mouse, cell, f.view()->viewport()->mapToGlobal(cell));
    QApplication::sendEvent(f.view()->viewport(), &event);
    QCOMPARE(shown, QStringLiteral("3:4:102-103:ramp:0:100:10000\n"));
    QCOMPARE(QString::fromStdString(f.doc()->simulation().text()), shown);
  }

  void rulesAreKeptBesideTheFile() {
    VantorFixture f;
    QVERIFY(f.start());
    const QString plain = f.dir.filePath(QStringLiteral("plain.vnd"));
    const QString ruled = f.dir.filePath(QStringLiteral("ruled.vnd"));
    QVERIFY(f.doc()->saveTo(plain));
    QString error;
    QVERIFY(f.doc()->setSimulationText(QStringLiteral("1:3:2:ramp:0:10:1000:unsigned\n"), &error));
    QVERIFY(f.doc()->saveTo(ruled));
    QCOMPARE(FileBytes(ruled), FileBytes(plain));  // not connected: no refresh, same values
    QVERIFY(!QFile::exists(plain + QStringLiteral(".sim")));
    QVERIFY(FileBytes(ruled + QStringLiteral(".sim")).endsWith("\n1:3:2:ramp:0:10:1000:unsigned\n"));

    VantorCommandLine commandLine;
    commandLine.paths = {ruled};
    QVERIFY(f.restart(commandLine));
    QCOMPARE(QString::fromStdString(f.doc()->simulation().text()), QStringLiteral("1:3:2:ramp:0:10:1000:unsigned\n"));
    QVERIFY(f.doc()->setSimulationText(QString(), &error));
    QVERIFY(f.doc()->save());
    QVERIFY(!QFile::exists(ruled + QStringLiteral(".sim")));
    QCOMPARE(f.boxes.count(), 0);
  }

  void brokenRulesFileIsReportedAndLeftAlone() {
    VantorFixture f;
    QVERIFY(f.start());
    const QString path = f.dir.filePath(QStringLiteral("broken.vnd"));
    QVERIFY(f.doc()->saveTo(path));
    WriteFile(path + QStringLiteral(".sim"), "1:3:0:toggle:100\n1:3:0:wobble:5\n");
    VantorCommandLine commandLine;
    commandLine.paths = {path};
    QVERIFY(f.restart(commandLine));
    QCOMPARE(f.boxes.texts(), QStringList{QStringLiteral("Cannot read the simulation rules %1.\nline 2: KIND is "
                                                         "random, ramp, sine, toggle or recording")
                                              .arg(path + QStringLiteral(".sim"))});
    QVERIFY(f.doc()->simulation().empty());
    QVERIFY(f.doc()->saveTo(path));
    QCOMPARE(FileBytes(path + QStringLiteral(".sim")), QByteArray("1:3:0:toggle:100\n1:3:0:wobble:5\n"));
  }

  // The dialog's From Recording... replaces the example with a rule for the
  // whole definition; a master reads the recorded words (of unit 9, the
  // recording's only unit) at slave id 1, and the rule is kept beside the file.
  void fromRecordingServesTheRecordedValues() {
    VantorFixture f;
    QVERIFY(f.start());
    f.doc()->applyDefinition(1, 3, 0, 6);
    const QString recording = f.dir.filePath(QStringLiteral("device.csv"));
    WriteFile(recording, "time,elapsed ms,unit,table,address,count,values\n"
                         "t,0,9,holding registers,400002,3,BEEF 0001 8000\n"
                         "t,60000,9,holding registers,400002,3,0000 0000 0000\n");
    f.files.script({recording});
    WhenDialogOpens<SimulationDialog>([&](SimulationDialog* d) {
      d->recordingButton()->click();
      d->accept();
    });
    f.frame()->action(ID_SIMULATION)->trigger();
    QCOMPARE(f.boxes.count(), 0);
    QCOMPARE(QString::fromStdString(f.doc()->simulation().text()),
             QStringLiteral("1:3:0-5:recording:") + recording + QLatin1Char('\n'));
    const int port = f.connectTcp();
    QVERIFY(port > 0);
    LibModbusMaster master(port);
    QVERIFY(master.connected());
    QTRY_COMPARE_WITH_TIMEOUT(master.registers(0, 6), (std::vector<std::uint16_t>{0, 0xBEEF, 1, 0x8000, 0, 0}), 3000);
    const QString path = f.dir.filePath(QStringLiteral("recorded.vnd"));
    QVERIFY(f.doc()->saveTo(path));
    QVERIFY(FileBytes(path + QStringLiteral(".sim")).endsWith(("recording:" + recording + "\n").toUtf8()));
  }
};

QTEST_MAIN(SimulationWindowTest)
#include "simulation_window_test.moc"
