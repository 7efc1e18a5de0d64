#include "master/app/bus_scan_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <iterator>

#include "common/baud_table.h"
#include "framework/message_box.h"
#include "framework/window_messages.h"
#include "master/app/zelmor_connection.h"
#include "master/core/bus_scan_engine.h"
#include "master/core/engine_glue.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace rs = zelmor::res::scan;

namespace {
constexpr int kBusyRetryMs = 50;  // slot 0 still held by another window's request
static_assert(std::size(rs::kProbeKinds) == busscan::kProbeCount);
}

CBusScanDlg::CBusScanDlg(ZelmorConnection* connection, OpenPoll openPoll, QWidget* parent)
    : QDialog(parent), connection_(connection), openPoll_(std::move(openPoll)) {
  setWindowTitle(rs::kScanTitle);
  start_ = new QPushButton(rs::kStart, this);
  stop_ = new QPushButton(rs::kStop, this);
  export_ = new QPushButton(rs::kExport, this);
  use_ = new QPushButton(rs::kUseSettings, this);
  auto* close = new QPushButton(rs::kClose, this);
  stop_->setEnabled(false);
  progress_ = new QProgressBar(this);
  status_ = new QLabel(this);
  table_ = new QTableWidget(0, 5, this);
  QStringList headers;
  for (const char* c : rs::kColumns) headers << c;
  table_->setHorizontalHeaderLabels(headers);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  watchdog_ = new QTimer(this);
  watchdog_->setSingleShot(true);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {start_, stop_, export_, use_}) buttons->addWidget(b);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildChoices());
  layout->addLayout(buttons);
  layout->addWidget(progress_);
  layout->addWidget(status_);
  layout->addWidget(table_, 1);
  resize(640, 560);

  connect(start_, &QPushButton::clicked, this, &CBusScanDlg::startScan);
  connect(stop_, &QPushButton::clicked, this, &CBusScanDlg::stopScan);
  connect(export_, &QPushButton::clicked, this, &CBusScanDlg::exportCsv);
  connect(use_, &QPushButton::clicked, this, &CBusScanDlg::useSelected);
  connect(close, &QPushButton::clicked, this, &CBusScanDlg::reject);
  // No report within the bound: the link is down (a request served without a
  // link posts nothing); the probe counts as a link error and the scan ends.
  connect(watchdog_, &QTimer::timeout, this, [this] {
    me::UnregisterPoll(0);
    onProbeDone(me::RESULT_NO_CONNECTION);
  });
  target_ = std::make_unique<fw::MessageTarget>([this](std::uint32_t message, std::uintptr_t wParam,
                                                       std::intptr_t lParam) -> std::intptr_t {
    if (message == platform::WM_ENGINE_NOTIFY && lParam == 0) onProbeDone(static_cast<std::uint16_t>(wParam));
    return 0;
  });
}

CBusScanDlg::~CBusScanDlg() {
  target_->close();
  if (probePending_) me::UnregisterPoll(0);
  if (ownLink_) zelmor::DisconnectLink();
}

QWidget* CBusScanDlg::buildChoices() {
  auto* box = new QWidget(this);
  auto* form = new QFormLayout(box);
  const zelmor::CommSettings& s = connection_->settings();
  const bool tcp = s.port == zelmor::kTcpPortChoice;
  firstId_ = new QSpinBox(box);
  lastId_ = new QSpinBox(box);
  firstId_->setRange(tcp ? 0 : 1, tcp ? modbus::MAX_UNIT_ID : modbus::MAX_SLAVE_ID);
  lastId_->setRange(tcp ? 0 : 1, tcp ? modbus::MAX_UNIT_ID : modbus::MAX_SLAVE_ID);
  firstId_->setValue(1);
  lastId_->setValue(modbus::MAX_SLAVE_ID);
  auto* ids = new QHBoxLayout;
  ids->addWidget(firstId_);
  ids->addWidget(lastId_);
  form->addRow(rs::kIds, ids);
  bauds_ = new QListWidget(box);
  bauds_->setFlow(QListView::LeftToRight);
  bauds_->setWrapping(true);
  bauds_->setMaximumHeight(60);
  for (int position = 0; position < baudtable::kBaudCount; ++position) {
    auto* item = new QListWidgetItem(baudtable::ListText(position), bauds_);
    const int index = baudtable::IndexForListPosition(position);
    item->setData(Qt::UserRole, static_cast<uint>(baudtable::BaudRateForIndex(index)));
    item->setCheckState(index == s.baudIndex ? Qt::Checked : Qt::Unchecked);
  }
  auto* parities = new QHBoxLayout;
  for (int p = 0; p < 3; ++p) {
    parities_[p] = new QCheckBox(baudtable::ParityLetter(p), box);
    parities_[p]->setChecked(p == s.parity);
    parities->addWidget(parities_[p]);
  }
  rtu_ = new QCheckBox("RTU", box);
  ascii_ = new QCheckBox("ASCII", box);
  rtu_->setChecked(s.asciiMode == 0);
  ascii_->setChecked(s.asciiMode != 0);
  auto* framing = new QHBoxLayout;
  framing->addWidget(rtu_);
  framing->addWidget(ascii_);
  probe_ = new QComboBox(box);
  for (const char* kind : rs::kProbeKinds) probe_->addItem(kind);
  address_ = new QSpinBox(box);
  address_->setRange(0, modbus::MAX_ADDRESS);
  // The address belongs to the holding-register probe only.
  connect(probe_, &QComboBox::currentIndexChanged, address_,
          [this](int index) { address_->setEnabled(index == static_cast<int>(busscan::Probe::kHoldingRegister)); });
  timeout_ = new QSpinBox(box);
  timeout_->setRange(busscan::kMinProbeTimeoutMs, busscan::kMaxProbeTimeoutMs);
  timeout_->setValue(busscan::kDefaultTimeoutMs);
  if (!tcp) {
    form->addRow(rs::kBauds, bauds_);
    form->addRow(rs::kParities, parities);
    form->addRow(rs::kFraming, framing);
  } else {
    bauds_->hide();
    rtu_->hide();
    ascii_->hide();
    for (QCheckBox* c : parities_) c->hide();
  }
  form->addRow(rs::kProbeKind, probe_);
  form->addRow(rs::kProbe, address_);
  form->addRow(rs::kTimeout, timeout_);
  return box;
}

busscan::ScanPlan CBusScanDlg::planFromControls() const {
  busscan::ScanPlan plan;
  plan.tcp = connection_->settings().port == zelmor::kTcpPortChoice;
  plan.firstId = firstId_->value();
  plan.lastId = lastId_->value();
  plan.bauds.clear();
  for (int k = 0; k < bauds_->count(); ++k) {
    if (bauds_->item(k)->checkState() == Qt::Checked) plan.bauds.push_back(bauds_->item(k)->data(Qt::UserRole).toUInt());
  }
  plan.parities.clear();
  for (int p = 0; p < 3; ++p) {
    if (parities_[p]->isChecked()) plan.parities.push_back(p);
  }
  plan.framings.clear();
  if (rtu_->isChecked()) plan.framings.push_back(false);
  if (ascii_->isChecked()) plan.framings.push_back(true);
  plan.probe = static_cast<busscan::Probe>(probe_->currentIndex());
  plan.address = address_->value();
  plan.timeoutMs = timeout_->value();
  return plan;
}

void CBusScanDlg::startScan() {
  if (scanning_) return;
  const busscan::ScanPlan plan = planFromControls();
  const std::string problem = busscan::PlanProblem(plan);
  if (!problem.empty()) {
    status_->setText(QString::fromStdString(problem));
    return;
  }
  if (plan.tcp && !zelmor::LinkIsOpen()) {
    status_->setText(rs::kNeedTcp);
    return;
  }
  if (!plan.tcp) {
    // The scan owns the port from here on: the program's connection closes.
    if (connection_->isConnected() || connection_->isConnecting()) connection_->disconnectLink();
    ownLink_ = true;
  }
  busscan::StartScan(&state_, plan);
  table_->setRowCount(0);
  progress_->setRange(0, static_cast<int>(busscan::TotalProbes(plan)));
  progress_->setValue(0);
  startedMs_ = QDateTime::currentMSecsSinceEpoch();
  scanning_ = true;
  start_->setEnabled(false);
  stop_->setEnabled(true);
  use_->setEnabled(false);
  step();
}

void CBusScanDlg::stopScan() {
  if (!scanning_) return;
  busscan::StopScan(&state_);
  if (!probePending_) finish();  // else finish() follows the probe's report
}

void CBusScanDlg::step() {
  if (!scanning_ || probePending_) return;
  busscan::Combination c;
  const busscan::StepKind kind = busscan::NextStep(state_, &c);
  if (kind == busscan::StepKind::kDone) {
    finish();
    return;
  }
  if (kind == busscan::StepKind::kOpenLine) {
    const std::string failure =
        busscan::OpenScanLine(connection_->settings(), state_.plan, c.line, state_.plan.tcp && zelmor::LinkIsOpen());
    busscan::LineOpened(&state_, c.lineIndex, failure.empty(), failure);
    QTimer::singleShot(0, this, &CBusScanDlg::step);
    return;
  }
  if (busscan::SubmitProbe(target_->handle(), platform::WM_ENGINE_NOTIFY, state_.plan, c) != 1) {
    QTimer::singleShot(kBusyRetryMs, this, &CBusScanDlg::step);
    return;
  }
  probing_ = c;
  probePending_ = true;
  watchdog_->start(busscan::ProbeWaitBoundMs(state_.plan, connection_->settings()));
  showProgress();
}

void CBusScanDlg::onProbeDone(std::uint16_t result) {
  if (!probePending_) return;
  probePending_ = false;
  watchdog_->stop();
  const busscan::ProbeResult r = busscan::CollectProbe(state_.plan, probing_, result);
  busscan::RecordProbe(&state_, r);
  if (busscan::IsPresent(r.outcome)) addRow(r);
  progress_->setValue(static_cast<int>(state_.next));
  if (state_.stopped) {
    finish();
    return;
  }
  QTimer::singleShot(0, this, &CBusScanDlg::step);
}

void CBusScanDlg::showProgress() {
  const long elapsed = static_cast<long>(QDateTime::currentMSecsSinceEpoch() - startedMs_);
  const long leftMs = busscan::RemainingMs(state_, elapsed);
  status_->setText(QString(rs::kTrying)
                       .arg(probing_.id)
                       .arg(QString::fromStdString(busscan::LineText(probing_.line, state_.plan.tcp)))
                       .arg(state_.next + 1)
                       .arg(busscan::TotalProbes(state_.plan))
                       .arg(leftMs / 1000));
}

void CBusScanDlg::finish() {
  scanning_ = false;
  watchdog_->stop();
  const long total = busscan::TotalProbes(state_.plan);
  QString text = !state_.failure.empty() ? QString(rs::kFailed).arg(QString::fromStdString(state_.failure))
                 : state_.next < total  ? QString(rs::kStopped).arg(state_.found.size()).arg(state_.next).arg(total)
                                        : QString(rs::kDone).arg(state_.found.size()).arg(total);
  const std::string warning = busscan::GatewayWarning(state_);
  if (!warning.empty()) text += "\n" + QString::fromStdString(warning);
  status_->setText(text);
  if (ownLink_) {
    zelmor::DisconnectLink();
    ownLink_ = false;
  }
  start_->setEnabled(true);
  stop_->setEnabled(false);
  use_->setEnabled(true);
}

void CBusScanDlg::addRow(const busscan::ProbeResult& r) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  QStringList cells{QString::number(r.combination.id),
                    QString::fromStdString(busscan::LineText(r.combination.line, state_.plan.tcp)),
                    r.responseUs ? QString::number(r.responseUs / 1000.0, 'f', 1) : QString("-"),
                    QString::fromStdString(r.answer), QString()};
  for (const std::string& s : r.identification) cells[4] += (cells[4].isEmpty() ? "" : "; ") + QString::fromStdString(s);
  for (int c = 0; c < cells.size(); ++c) table_->setItem(row, c, new QTableWidgetItem(cells[c]));
  table_->item(row, 0)->setData(Qt::UserRole, static_cast<int>(state_.found.size() - 1));
}

void CBusScanDlg::exportCsv() {
  const QString path = QFileDialog::getSaveFileName(this, rs::kExport, QString(), rs::kCsvFilter);
  if (path.isEmpty()) return;
  QFile file(path);
  QByteArray bytes = QByteArray::fromStdString(busscan::CsvHeader() + "\n");
  for (const busscan::ProbeResult& r : state_.found) bytes += QByteArray::fromStdString(busscan::CsvLine(r, state_.plan.tcp) + "\n");
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
    status_->setText(QString(rs::kCannotWrite).arg(path));
}

void CBusScanDlg::useSelected() {
  if (scanning_ || table_->currentRow() < 0) return;
  const int index = table_->item(table_->currentRow(), 0)->data(Qt::UserRole).toInt();
  if (index < 0 || index >= static_cast<int>(state_.found.size())) return;
  const busscan::ProbeResult& r = state_.found[static_cast<std::size_t>(index)];
  zelmor::CommSettings s = busscan::SettingsForLine(connection_->settings(), state_.plan, r.combination.line);
  s.timeout = connection_->settings().timeout;  // the connection keeps its own response time-out
  if (!state_.plan.tcp) {
    connection_->setSettings(s);
    if (!connection_->isConnected()) connection_->connectLink(false, this);
  }
  if (openPoll_) openPoll_(r.combination.id, modbus::FC_READ_HOLDING_REGISTERS, state_.plan.address, 10);
}

void CBusScanDlg::reject() {
  if (scanning_) stopScan();
  QDialog::reject();
}
