#include "master/app/trend_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/value_format.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "master/app/zelmor_doc.h"
#include "master/core/engine_glue.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {

constexpr double kSpansMs[4] = {60e3, 600e3, 3600e3, 0};  // 0: everything kept
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// "40001 = " -> "40001"
QString CellName(const CZelmorDoc* doc, int index) {
  std::string label =
      valuefmt::AddressLabel(doc->function(), doc->oneBased(), doc->address(), doc->length(), index);
  while (!label.empty() && (label.back() == ' ' || label.back() == '=')) label.pop_back();
  return QString::fromStdString(label);
}

}  // namespace

// One timer redraws the open trend windows in turn, one per tick, so that 32
// windows never redraw in the same pass of the event loop.
void CTrendWindow::ScheduleRefreshes() {
  static QPointer<QTimer> timer;
  static int next = 0;
  if (timer.isNull()) {
    timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
      QList<QPointer<CTrendWindow>> open = windows().values();
      open.removeAll(nullptr);
      if (open.isEmpty()) {
        timer->stop();
        return;
      }
      std::sort(open.begin(), open.end(),
                [](const QPointer<CTrendWindow>& a, const QPointer<CTrendWindow>& b) { return a->order_ < b->order_; });
      next = next % open.size();
      CTrendWindow* w = open[next++];
      if (w->isVisible() && !w->isMinimized() && (w->dirty_ || !w->paused_)) w->refresh();
      timer->setInterval(std::max(5, kRefreshMs / static_cast<int>(open.size())));
    });
  }
  if (!timer->isActive()) timer->start(kRefreshMs);
}

QHash<const CZelmorDoc*, QPointer<CTrendWindow>>& CTrendWindow::windows() {
  static QHash<const CZelmorDoc*, QPointer<CTrendWindow>> open;
  return open;
}

CTrendWindow* CTrendWindow::windowFor(const CZelmorDoc* doc) { return windows().value(doc); }

CTrendWindow* CTrendWindow::openFor(CZelmorDoc* doc, QWidget* parent) {
  if (doc == nullptr) return nullptr;
  CTrendWindow* window = windowFor(doc);
  if (window == nullptr) window = new CTrendWindow(doc, parent);
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

CTrendWindow::CTrendWindow(CZelmorDoc* doc, QWidget* parent) : QWidget(parent, Qt::Window), doc_(doc) {
  setAttribute(Qt::WA_DeleteOnClose);
  static int opened = 0;
  order_ = ++opened;
  windows().insert(doc, this);
  setWindowTitle(QString(text::kTrendTitleFormat).arg(doc->title()));

  cellList_ = new QListWidget(this);
  cellList_->setMaximumWidth(140);
  autoscale_ = new QCheckBox(text::kTrendAutoscale, this);
  autoscale_->setChecked(true);
  minimum_ = new QDoubleSpinBox(this);
  maximum_ = new QDoubleSpinBox(this);
  for (QDoubleSpinBox* box : {minimum_, maximum_}) {
    box->setRange(-1e12, 1e12);
    box->setDecimals(3);
    box->setEnabled(false);
  }
  maximum_->setValue(100);
  span_ = new QComboBox(this);
  for (const char* span : text::kTrendSpans) span_->addItem(span);
  pauseButton_ = new QPushButton(text::kTrendPause, this);
  pauseButton_->setCheckable(true);
  clearButton_ = new QPushButton(text::kTrendClear, this);
  exportButton_ = new QPushButton(text::kTrendExport, this);
  auto* closeButton = new QPushButton(text::kTrendClose, this);
  status_ = new QLabel(this);

  chart_ = new QChart;
  chart_->setAnimationOptions(QChart::NoAnimation);
  chart_->legend()->setAlignment(Qt::AlignBottom);
  timeAxis_ = new QDateTimeAxis;
  timeAxis_->setFormat("HH:mm:ss");
  timeAxis_->setTickCount(6);
  valueAxis_ = new QValueAxis;
  chart_->addAxis(timeAxis_, Qt::AlignBottom);
  chart_->addAxis(valueAxis_, Qt::AlignLeft);
  chartView_ = new QChartView(chart_, this);
  chartView_->setMinimumSize(420, 260);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel(text::kTrendSpan, this));
  controls->addWidget(span_);
  controls->addWidget(autoscale_);
  controls->addWidget(new QLabel(text::kTrendMinimum, this));
  controls->addWidget(minimum_);
  controls->addWidget(new QLabel(text::kTrendMaximum, this));
  controls->addWidget(maximum_);
  controls->addStretch(1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  for (QPushButton* b : {pauseButton_, clearButton_, exportButton_, closeButton}) buttons->addWidget(b);
  auto* cells = new QVBoxLayout;
  cells->addWidget(new QLabel(text::kTrendCells, this));
  cells->addWidget(cellList_, 1);
  auto* body = new QHBoxLayout;
  body->addLayout(cells);
  body->addWidget(chartView_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);

  connect(autoscale_, &QCheckBox::toggled, this, [this](bool on) {
    minimum_->setEnabled(!on);
    maximum_->setEnabled(!on);
    // Manual limits start from what autoscale showed.
    if (!on) {
      minimum_->setValue(valueAxis_->min());
      maximum_->setValue(valueAxis_->max());
    }
    dirty_ = true;
  });
  for (QDoubleSpinBox* box : {minimum_, maximum_})
    connect(box, &QDoubleSpinBox::valueChanged, this, [this] { dirty_ = true; });
  connect(span_, &QComboBox::currentIndexChanged, this, [this] { dirty_ = true; });
  connect(pauseButton_, &QPushButton::toggled, this, &CTrendWindow::setPaused);
  connect(clearButton_, &QPushButton::clicked, this, [this] {
    buffer_.clear();
    dirty_ = true;
    refresh();
  });
  connect(exportButton_, &QPushButton::clicked, this, &CTrendWindow::onExport);
  connect(closeButton, &QPushButton::clicked, this, &QWidget::close);
  connect(cellList_, &QListWidget::itemChanged, this, &CTrendWindow::onCellItemChanged);
  connect(doc, &CZelmorDoc::pollTaken, this, &CTrendWindow::onPollTaken);
  connect(doc, &QObject::destroyed, this, &QWidget::close);
  connect(doc, &fw::Document::titleChanged, this,
          [this](const QString& title) { setWindowTitle(QString(text::kTrendTitleFormat).arg(title)); });

  ScheduleRefreshes();

  rebuildCells();
  resize(720, 420);
}

CTrendWindow::~CTrendWindow() {
  auto& open = windows();
  for (auto it = open.begin(); it != open.end();) {
    if (it.value() == this || it.value().isNull())
      it = open.erase(it);
    else
      ++it;
  }
}

bool CTrendWindow::definitionChanged() const {
  return doc_ && (doc_->function() != function_ || doc_->address() != address_ || doc_->length() != length_ ||
                  doc_->displayFormat() != format_ || doc_->oneBased() != oneBased_);
}

// The list of cells that carry a value in the current definition and format;
// keeps the chosen cells that still exist (the first cell when none does).
void CTrendWindow::rebuildCells() {
  if (!doc_) return;
  function_ = doc_->function();
  address_ = doc_->address();
  length_ = doc_->length();
  format_ = doc_->displayFormat();
  oneBased_ = doc_->oneBased();
  QList<int> kept;
  QSignalBlocker block(cellList_);
  cellList_->clear();
  for (int i = 0; i < length_; ++i) {
    if (!valuefmt::CellHasValue(function_, format_, i, length_)) continue;
    auto* item = new QListWidgetItem(CellName(doc_, i), cellList_);
    item->setData(Qt::UserRole, i);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    bool chosen = cells_.contains(i);
    if (chosen) kept << i;
    item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
  }
  if (kept.isEmpty() && cellList_->count() > 0) {
    cellList_->item(0)->setCheckState(Qt::Checked);
    kept << cellList_->item(0)->data(Qt::UserRole).toInt();
  }
  cells_ = kept;
  buffer_.reset(static_cast<int>(cells_.size()));
  rebuildSeries();
}

void CTrendWindow::rebuildSeries() {
  for (QLineSeries* s : series_) {
    chart_->removeSeries(s);
    delete s;
  }
  series_.clear();
  for (int cell : cells_) {
    auto* s = new QLineSeries;
    s->setName(CellName(doc_, cell));
    chart_->addSeries(s);
    s->attachAxis(timeAxis_);
    s->attachAxis(valueAxis_);
    series_ << s;
  }
  plotted_ = QList<int>(series_.size(), 0);
  dirty_ = true;
}

bool CTrendWindow::setChosenCells(const QList<int>& cells) {
  if (cells.size() > zelmor::kMaxTrendSeries) return false;
  if (definitionChanged()) rebuildCells();
  QList<int> valid;
  {
    QSignalBlocker block(cellList_);
    for (int row = 0; row < cellList_->count(); ++row) {
      QListWidgetItem* item = cellList_->item(row);
      bool chosen = cells.contains(item->data(Qt::UserRole).toInt());
      item->setCheckState(chosen ? Qt::Checked : Qt::Unchecked);
      if (chosen) valid << item->data(Qt::UserRole).toInt();
    }
  }
  cells_ = valid;
  buffer_.reset(static_cast<int>(cells_.size()));
  rebuildSeries();
  return true;
}

void CTrendWindow::onCellItemChanged() {
  QList<int> chosen;
  for (int row = 0; row < cellList_->count(); ++row)
    if (cellList_->item(row)->checkState() == Qt::Checked) chosen << cellList_->item(row)->data(Qt::UserRole).toInt();
  if (chosen.size() > zelmor::kMaxTrendSeries) {
    status_->setText(QString(text::kTrendTooManyCells).arg(zelmor::kMaxTrendSeries));
    setChosenCells(cells_);  // undo the last check
    return;
  }
  setChosenCells(chosen);
}

void CTrendWindow::setPaused(bool paused) {
  if (pauseButton_->isChecked() != paused) pauseButton_->setChecked(paused);
  if (paused_ == paused) return;
  paused_ = paused;
  pausedAtMs_ = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
  dirty_ = true;
}

void CTrendWindow::onPollTaken(std::uint16_t result) {
  if (!doc_ || result != 0) return;
  if (definitionChanged()) rebuildCells();
  if (paused_ || cells_.isEmpty()) return;
  double values[zelmor::kMaxTrendSeries];
  for (int k = 0; k < cells_.size(); ++k) {
    if (!valuefmt::CellNumber(doc_->values(), zelmor::kValueBytes, function_, format_, cells_[k], length_, false,
                              &values[k]))
      values[k] = kNaN;
  }
  appendSample(static_cast<double>(QDateTime::currentMSecsSinceEpoch()), values);
}

void CTrendWindow::appendSample(double timeMs, const double* values) {
  buffer_.append(timeMs, values);
  dirty_ = true;
}

double CTrendWindow::spanMs() const {
  int index = std::clamp(span_->currentIndex(), 0, 3);
  return kSpansMs[index];
}

void CTrendWindow::refresh() {
  dirty_ = false;
  const double now = paused_ ? pausedAtMs_ : static_cast<double>(QDateTime::currentMSecsSinceEpoch());
  double t1 = now;
  double t0 = spanMs() > 0 ? t1 - spanMs() : (buffer_.empty() ? t1 - kSpansMs[0] : buffer_.time(0));
  if (t1 - t0 < 1000) t0 = t1 - 1000;
  const int buckets = std::max(chartView_->width(), 100);
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (int k = 0; k < series_.size(); ++k) {
    buffer_.decimate(k, t0, t1, buckets, &points_, &lo, &hi);
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points_.size()));
    for (const auto& p : points_)
      if (std::isfinite(p.value)) list.append(QPointF(p.timeMs, p.value));
    plotted_[k] = static_cast<int>(list.size());
    series_[k]->replace(list);
  }
  timeAxis_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t0)),
                      QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(t1)));
  if (autoscale_->isChecked()) {
    if (!(lo <= hi)) lo = 0, hi = 1;
    double margin = (hi - lo) * 0.05;
    if (margin == 0) margin = std::max(std::abs(hi) * 0.05, 1.0);
    valueAxis_->setRange(lo - margin, hi + margin);
  } else {
    valueAxis_->setRange(std::min(minimum_->value(), maximum_->value()),
                         std::max(minimum_->value(), maximum_->value()));
  }
  status_->setText(QString(text::kTrendSamples).arg(buffer_.size()));
}

int CTrendWindow::plottedPoints(int series) const {
  return series >= 0 && series < plotted_.size() ? plotted_[series] : 0;
}

double CTrendWindow::axisMinimum() const { return valueAxis_->min(); }
double CTrendWindow::axisMaximum() const { return valueAxis_->max(); }

bool CTrendWindow::exportCsv(const QString& path) const {
  std::vector<std::string> headers;
  for (QLineSeries* s : series_) headers.push_back(s->name().toStdString());
  const std::string csv = zelmor::TrendCsv(buffer_, headers, zelmor::TrendPrecision(function_, format_));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(csv.data(), static_cast<qint64>(csv.size()));
  return file.commit();
}

void CTrendWindow::onExport() {
  QString path = fw::GetSaveFilePath(this, text::kTrendExportTitle, text::kTrendFilter, text::kTrendExtension,
                                     text::kTrendFileName, true);
  if (path.isEmpty()) return;
  if (!exportCsv(path)) fw::ShowMessage(QString(text::kTrendExportFailed).arg(path), fw::MsgIcon::Exclamation);
}
