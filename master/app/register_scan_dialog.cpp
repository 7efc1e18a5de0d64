#include "master/app/register_scan_dialog.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

#include "common/modbus_protocol.h"
#include "framework/window_messages.h"
#include "master/core/bus_scan.h"
#include "master/core/bus_scan_engine.h"
#include "master/core/engine_glue.h"
#include "master/core/poll_definition.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace rs = zelmor::res::scan;

namespace {
constexpr int kBusyRetryMs = 50;
}

CRegisterScanDlg::CRegisterScanDlg(int slave, int responseTimeoutMs, OpenPoll openPoll, QWidget* parent)
    : QDialog(parent), openPoll_(std::move(openPoll)), responseTimeoutMs_(responseTimeoutMs) {
  setWindowTitle(rs::kRegisterScanTitle);
  slave_ = new QSpinBox(this);
  slave_->setRange(0, modbus::MAX_UNIT_ID);
  slave_->setValue(slave);
  function_ = new QComboBox(this);
  for (const char* entry : zelmor::res::text::kFunctionEntries) function_->addItem(entry);
  function_->setCurrentIndex(2);
  first_ = new QSpinBox(this);
  last_ = new QSpinBox(this);
  first_->setRange(0, modbus::MAX_ADDRESS);
  last_->setRange(0, modbus::MAX_ADDRESS);
  last_->setValue(999);
  block_ = new QSpinBox(this);
  block_->setRange(1, modbus::MAX_READ_BITS);
  block_->setValue(100);
  auto* form = new QFormLayout;
  form->addRow(rs::kSlave, slave_);
  form->addRow(rs::kFunction, function_);
  auto* range = new QHBoxLayout;
  range->addWidget(first_);
  range->addWidget(last_);
  form->addRow(rs::kAddresses, range);
  form->addRow(rs::kBlock, block_);

  start_ = new QPushButton(rs::kStart, this);
  stop_ = new QPushButton(rs::kStop, this);
  export_ = new QPushButton(rs::kExport, this);
  open_ = new QPushButton(rs::kOpenPoll, this);
  auto* close = new QPushButton(rs::kClose, this);
  stop_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {start_, stop_, export_, open_}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(close);
  progress_ = new QProgressBar(this);
  status_ = new QLabel(this);
  table_ = new QTableWidget(0, 3, this);
  table_->setHorizontalHeaderLabels({rs::kBlockColumns[0], rs::kBlockColumns[1], rs::kBlockColumns[2]});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addWidget(table_, 1);
  resize(600, 480);
  watchdog_ = new QTimer(this);
  watchdog_->setSingleShot(true);

  connect(start_, &QPushButton::clicked, this, &CRegisterScanDlg::startScan);
  connect(stop_, &QPushButton::clicked, this, &CRegisterScanDlg::stopScan);
  connect(export_, &QPushButton::clicked, this, &CRegisterScanDlg::exportCsv);
  connect(open_, &QPushButton::clicked, this, &CRegisterScanDlg::openPollOnBlock);
  connect(close, &QPushButton::clicked, this, &CRegisterScanDlg::reject);
  connect(watchdog_, &QTimer::timeout, this, [this] {
    me::UnregisterPoll(0);
    onReadDone(me::RESULT_NO_CONNECTION);
  });
  target_ = std::make_unique<fw::MessageTarget>([this](std::uint32_t message, std::uintptr_t wParam,
                                                       std::intptr_t lParam) -> std::intptr_t {
    if (message == platform::WM_ENGINE_NOTIFY && lParam == 0) onReadDone(static_cast<std::uint16_t>(wParam));
    return 0;
  });
}

CRegisterScanDlg::~CRegisterScanDlg() {
  target_->close();
  if (readPending_) me::UnregisterPoll(0);
}

void CRegisterScanDlg::startScan() {
  if (scanning_) return;
  regscan::RegisterScanPlan plan;
  plan.slave = slave_->value();
  plan.function = function_->currentIndex() + 1;
  plan.first = first_->value();
  plan.last = last_->value();
  plan.blockSize = block_->value();
  const std::string problem = regscan::PlanProblem(plan);
  if (!problem.empty() || !zelmor::LinkIsOpen()) {
    status_->setText(problem.empty() ? QString(zelmor::res::text::kTestCenterNoLink) : QString::fromStdString(problem));
    return;
  }
  regscan::StartRegisterScan(&state_, plan);
  table_->setRowCount(0);
  progress_->setRange(0, static_cast<int>(regscan::TotalItems(plan)));
  progress_->setValue(0);
  scanning_ = true;
  start_->setEnabled(false);
  stop_->setEnabled(true);
  step();
}

void CRegisterScanDlg::stopScan() {
  if (!scanning_) return;
  regscan::StopRegisterScan(&state_);
  if (!readPending_) finish();
}

void CRegisterScanDlg::step() {
  if (!scanning_ || readPending_) return;
  int address = 0;
  if (!regscan::NextRead(state_, &address, &readCount_)) {
    finish();
    return;
  }
  if (busscan::SubmitRegisterRead(target_->handle(), platform::WM_ENGINE_NOTIFY, state_.plan, address, readCount_) != 1) {
    QTimer::singleShot(kBusyRetryMs, this, &CRegisterScanDlg::step);
    return;
  }
  readPending_ = true;
  busscan::ScanPlan bound;
  bound.timeoutMs = responseTimeoutMs_;
  zelmor::CommSettings settings;
  settings.timeout = responseTimeoutMs_;
  watchdog_->start(busscan::ProbeWaitBoundMs(bound, settings));
  status_->setText(QString(rs::kReading).arg(address).arg(readCount_));
}

void CRegisterScanDlg::onReadDone(std::uint16_t result) {
  if (!readPending_) return;
  readPending_ = false;
  watchdog_->stop();
  std::vector<std::uint16_t> values(modbus::MAX_READ_BITS);
  if (result == me::RESULT_OK) busscan::CollectRegisterRead(state_.plan, readCount_, values.data());
  regscan::RecordRead(&state_, result, values.data());
  progress_->setValue(static_cast<int>(state_.itemsDone));
  if (state_.stopped) {
    finish();
    return;
  }
  QTimer::singleShot(0, this, &CRegisterScanDlg::step);
}

void CRegisterScanDlg::finish() {
  scanning_ = false;
  watchdog_->stop();
  table_->setRowCount(0);
  for (const regscan::Block& block : state_.readable) {
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QStringList fields = QString::fromStdString(regscan::CsvLine(block)).split(',');
    for (int c = 0; c < 3; ++c) table_->setItem(row, c, new QTableWidgetItem(fields.value(c)));
  }
  status_->setText(!state_.failure.empty() ? QString(rs::kFailed).arg(QString::fromStdString(state_.failure))
                                           : QString(rs::kBlocksFound).arg(state_.readable.size()).arg(state_.requests));
  start_->setEnabled(true);
  stop_->setEnabled(false);
}

void CRegisterScanDlg::exportCsv() {
  const QString path = QFileDialog::getSaveFileName(this, rs::kExport, QString(), rs::kCsvFilter);
  if (path.isEmpty()) return;
  QByteArray bytes = QByteArray::fromStdString(regscan::CsvHeader() + "\n");
  for (const regscan::Block& block : state_.readable) bytes += QByteArray::fromStdString(regscan::CsvLine(block) + "\n");
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
    status_->setText(QString(rs::kCannotWrite).arg(path));
}

void CRegisterScanDlg::openPollOnBlock() {
  const int row = table_->currentRow();
  if (scanning_ || row < 0 || row >= static_cast<int>(state_.readable.size()) || !openPoll_) return;
  const regscan::Block& block = state_.readable[static_cast<std::size_t>(row)];
  const int longest = zelmor::PollFieldRange(zelmor::PollField::kLength, state_.plan.function).max;
  openPoll_(state_.plan.slave, state_.plan.function, block.address, std::min(block.count(), longest));
}

void CRegisterScanDlg::reject() {
  if (scanning_) stopScan();
  QDialog::reject();
}
