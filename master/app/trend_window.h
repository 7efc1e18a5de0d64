#pragma once
// CTrendWindow: the trend of one poll window. Chosen cells are sampled at every
// good poll (in the window's display format) into a bounded ring and plotted
// over time; the plot is redrawn a few times a second from decimated points, so
// an hour of 20 ms samples costs no more to draw than a minute.
#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>
#include <cstdint>
#include <vector>

#include "master/core/trend_buffer.h"

class CZelmorDoc;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;
class QChart;
class QChartView;
class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

class CTrendWindow : public QWidget {
  Q_OBJECT

 public:
  // Each window is redrawn about every kRefreshMs (no more than 5 ms apart in turn).
  static constexpr int kRefreshMs = 250;

  // The document's trend window, opened (or raised) on demand. It closes with
  // the document.
  static CTrendWindow* openFor(CZelmorDoc* doc, QWidget* parent);
  static CTrendWindow* windowFor(const CZelmorDoc* doc);

  CTrendWindow(CZelmorDoc* doc, QWidget* parent);
  ~CTrendWindow() override;

  // The plotted cells (item indices); more than kMaxTrendSeries are refused.
  // Changing them starts the samples anew.
  bool setChosenCells(const QList<int>& cells);
  QList<int> chosenCells() const { return cells_; }
  const zelmor::TrendBuffer& buffer() const { return buffer_; }
  // Adds a sample of the chosen cells (what every good poll does; benchmarks
  // fill an hour of history through it).
  void appendSample(double timeMs, const double* values);
  bool paused() const { return paused_; }
  void setPaused(bool paused);
  // Writes the samples as CSV (atomically); false when the file cannot be written.
  bool exportCsv(const QString& path) const;
  // Redraws now (the timer does so while the window is visible).
  void refresh();
  // The plotted points of series k after the last refresh, for tests and benchmarks.
  int plottedPoints(int series) const;
  double axisMinimum() const;
  double axisMaximum() const;

  QListWidget* cellList() const { return cellList_; }
  QCheckBox* autoscaleBox() const { return autoscale_; }
  QComboBox* spanBox() const { return span_; }
  QPushButton* pauseButton() const { return pauseButton_; }
  QPushButton* exportButton() const { return exportButton_; }

 private:
  void onPollTaken(std::uint16_t result);
  void onCellItemChanged();
  void onExport();
  void rebuildCells();
  void rebuildSeries();
  bool definitionChanged() const;
  double spanMs() const;

  QPointer<CZelmorDoc> doc_;
  zelmor::TrendBuffer buffer_;
  QList<int> cells_;
  bool paused_ = false;
  bool dirty_ = true;
  double pausedAtMs_ = 0;
  // The definition the samples belong to: a change starts them anew.
  int function_ = 0, address_ = 0, length_ = 0, format_ = 0;
  bool oneBased_ = true;

  QListWidget* cellList_;
  QCheckBox* autoscale_;
  QDoubleSpinBox* minimum_;
  QDoubleSpinBox* maximum_;
  QComboBox* span_;
  QPushButton* pauseButton_;
  QPushButton* clearButton_;
  QPushButton* exportButton_;
  QLabel* status_;
  QChart* chart_;
  QChartView* chartView_;
  QDateTimeAxis* timeAxis_;
  QValueAxis* valueAxis_;
  QList<QLineSeries*> series_;
  int order_ = 0;  // opening order, for the redraw turns
  std::vector<zelmor::TrendBuffer::Point> points_;
  QList<int> plotted_;

  static QHash<const CZelmorDoc*, QPointer<CTrendWindow>>& windows();
  static void ScheduleRefreshes();
};
