// Response times and the trend window against a pymodbus server that answers
// 50 ms late: the Statistics line and the error counters window show the
// delay, and the trend window samples, pauses, follows a format change and
// exports what it plotted. Also the trend ring's bound and its decimation.
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <cmath>

#include "gui_test_support.h"
#include "master/core/trend_buffer.h"
#include "master/app/error_counters_dialog.h"
#include "master/app/trend_window.h"
#include "peer_server.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

class TrendAndStatisticsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QVERIFY2(peer_.start(50), qPrintable(peer_.error())); }
  void cleanupTestCase() { peer_.stop(); }
  void ringKeepsTheNewestHourAndDecimationKeepsPeaks();
  void statisticsAgainstASlowSlave();
  void trendSamplesPausesAndExports();

 private:
  PeerServer peer_;
};

void TrendAndStatisticsTest::ringKeepsTheNewestHourAndDecimationKeepsPeaks() {
  zelmor::TrendBuffer ring(2);
  QCOMPARE(ring.capacity(), std::size_t(3600 * 1000 / 20));
  const std::size_t extra = 1234;
  for (std::size_t i = 0; i < ring.capacity() + extra; ++i) {
    const double values[2] = {double(i), i == ring.capacity() + 500 ? 1e6 : -double(i)};
    ring.append(20.0 * i, values);
  }
  QCOMPARE(ring.size(), ring.capacity());
  QCOMPARE(ring.time(0), 20.0 * extra);  // the oldest samples went
  QCOMPARE(ring.value(0, 0), double(extra));
  QCOMPARE(ring.value(ring.size() - 1, 0), double(ring.capacity() + extra - 1));
  QCOMPARE(ring.lowerBound(20.0 * (extra + 10) - 1), std::size_t(10));

  // The whole hour on a plot 800 wide: at most two points a bucket, the one
  // sample spike among 180 000 still among them, and the range reaches it.
  std::vector<zelmor::TrendBuffer::Point> points;
  double lo = INFINITY, hi = -INFINITY;
  ring.decimate(1, ring.time(0), ring.time(ring.size() - 1), 800, &points, &lo, &hi);
  QVERIFY2(points.size() <= 1602, qPrintable(QString::number(points.size())));
  QCOMPARE(hi, 1e6);
  QCOMPARE(lo, -double(ring.capacity() + extra - 1));
  for (std::size_t i = 1; i < points.size(); ++i) QVERIFY(points[i].timeMs >= points[i - 1].timeMs);
  // A short span has fewer samples than buckets: every sample, unchanged.
  ring.decimate(0, ring.time(100), ring.time(109), 800, &points, &lo, &hi);
  QCOMPARE(points.size(), std::size_t(10));
  QCOMPARE(points[0].value, double(extra + 100));
}

void TrendAndStatisticsTest::statisticsAgainstASlowSlave() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  CZelmorView* view = fx.view();
  doc->takeDefinition({1, 2, 4, 20, 1, 1});
  const QString headerBefore = view->headerLine();
  const int firstCellRow = view->itemAt(QPoint(1, 2 * view->layout().rowHeight + 1));
  QCOMPARE(firstCellRow, 0);
  QAction* statistics = fx.frame()->action(res::ID_VIEW_STATISTICS);
  QVERIFY(statistics->isCheckable());
  QVERIFY(!statistics->isChecked());  // off unless the profile says otherwise
  QVERIFY(fx.connectTcp(peer_.port()));
  QTRY_VERIFY_WITH_TIMEOUT(doc->responseTimes().count >= 5, 10000);

  // The header keeps its layout; the statistics line pushes the cells down one row.
  QCOMPARE(view->headerRows(), 2);
  view->onEngineNotify(1, doc->pollSlot());  // a time-out on the error line
  statistics->trigger();
  QCOMPARE(view->headerRows(), 3);
  QCOMPARE(view->errorText(), QString("Timeout Error"));  // switching keeps the error line
  QCOMPARE(fx.profile().readInt("View", "Statistics", 0), 1);
  QCOMPARE(view->itemAt(QPoint(1, 2 * view->layout().rowHeight + 1)), -1);
  QCOMPARE(view->itemAt(QPoint(1, 3 * view->layout().rowHeight + 1)), 0);
  QVERIFY(view->headerLine().startsWith("Tx = "));
  QVERIFY(headerBefore.endsWith("SR = 20ms" + QString(26, ' ')));
  const masterengine::ResponseTimes t = doc->responseTimes();
  const double meanMs = double(t.totalUs) / t.count / 1000.0;
  QVERIFY2(meanMs >= 45 && meanMs <= 80, qPrintable(view->statisticsLine()));
  QVERIFY2(t.minUs >= 45000, qPrintable(view->statisticsLine()));
  QVERIFY2(view->statisticsLine().startsWith("Last = "), qPrintable(view->statisticsLine()));

  // The error counters window's section, and its reset with the counters.
  QStringList times;
  WhenModal<CErrorCountersDlg>([&times](CErrorCountersDlg* d) {
    times = d->responseTimeTexts();
    d->okButton()->click();
  });
  fx.frame()->action(res::ID_DISPLAY_ERROR_COUNTERS)->trigger();
  QCOMPARE(times.size(), 5);
  QVERIFY2(times[1].endsWith(" ms") && times[1].chopped(3).toDouble() >= 45, qPrintable(times.join('|')));
  QVERIFY(times[4].toInt() >= 5);
  fx.frame()->action(res::ID_SETUP_RESET_COUNTERS)->trigger();
  QCOMPARE(view->statisticsLine(), QString(res::text::kStatisticsNone));
  QTRY_VERIFY_WITH_TIMEOUT(doc->responseTimes().count >= 1, 5000);
  QVERIFY(doc->responseTimes().count <= doc->txCount());
  statistics->trigger();
  QCOMPARE(view->headerRows(), 2);
}

void TrendAndStatisticsTest::trendSamplesPausesAndExports() {
  ZelmorFixture fx;
  QVERIFY(fx.start());
  CZelmorDoc* doc = fx.doc();
  doc->takeDefinition({1, 2, 4, 20, 1, 1});  // 40001..40004: 0, 16256, -1, 5
  QAction* trend = fx.frame()->action(res::ID_DISPLAY_TREND);
  QVERIFY(trend->isEnabled());
  trend->trigger();
  CTrendWindow* window = CTrendWindow::windowFor(doc);
  QVERIFY(window != nullptr);
  trend->trigger();  // one window per poll window
  QCOMPARE(CTrendWindow::windowFor(doc), window);
  QCOMPARE(window->cellList()->count(), 4);
  QCOMPARE(window->chosenCells(), QList<int>{0});
  QVERIFY(!window->setChosenCells({0, 1, 2, 3, 4, 5, 6, 7, 8}));
  // Checking cells in the list chooses them.
  window->cellList()->item(2)->setCheckState(Qt::Checked);
  window->cellList()->item(3)->setCheckState(Qt::Checked);
  QCOMPARE(window->chosenCells(), (QList<int>{0, 2, 3}));

  QVERIFY(fx.connectTcp(peer_.port()));
  QTRY_VERIFY_WITH_TIMEOUT(window->buffer().size() >= 5, 10000);
  window->refresh();
  QVERIFY(window->plottedPoints(1) >= 5);
  QVERIFY2(window->axisMinimum() < -1 && window->axisMaximum() > 5, "autoscale spans -1..5");

  window->pauseButton()->click();
  QVERIFY(window->paused());
  const std::size_t frozen = window->buffer().size();
  QTest::qWait(300);
  QCOMPARE(window->buffer().size(), frozen);

  const QString path = fx.path("trend.csv");
  fx.files->script({path});
  window->exportButton()->click();
  QCOMPARE(fx.files->requests().last().initialName, QString("trend.csv"));
  QFile file(path);
  QVERIFY(file.open(QIODevice::ReadOnly));
  const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), int(frozen) + 1);
  QCOMPARE(lines[0], QString("Time,40001,40003,40004"));
  QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3},0,-1,5$").match(lines[1]).hasMatch(),
           qPrintable(lines[1]));

  // Another display format starts the samples anew, in that format: the float
  // at 40001 (0x0000, 0x3F80, low word first) is 1.
  window->pauseButton()->click();
  fx.frame()->action(res::ID_DISPLAY_FLOAT)->trigger();
  QTRY_VERIFY_WITH_TIMEOUT(window->cellList()->count() == 2 && window->buffer().size() >= 3, 10000);
  QCOMPARE(window->chosenCells(), (QList<int>{0, 2}));
  QCOMPARE(window->buffer().value(window->buffer().size() - 1, 0), 1.0);
  QVERIFY(std::isnan(window->buffer().value(0, 1)) || std::abs(window->buffer().value(0, 1)) < 1e-30);

  // The trend window closes with its poll window.
  QPointer<CTrendWindow> guard(window);
  doc->setModified(false);
  fx.frame()->action(res::ID_FILE_CLOSE)->trigger();
  QTRY_VERIFY(guard.isNull());
}

QTEST_MAIN(TrendAndStatisticsTest)
#include "trend_and_statistics_test.moc"
