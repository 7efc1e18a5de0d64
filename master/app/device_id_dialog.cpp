#include "master/app/device_id_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "framework/window_messages.h"
#include "master/core/engine_glue.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace text = zelmor::res::text;

namespace {

constexpr int kOneObject = 3;  // the "One object" choice of the read box

QString Hex2(int value) { return QString("0x%1").arg(value, 2, 16, QLatin1Char('0')).toUpper().replace("0X", "0x"); }

// Text as it came, and for private objects the bytes in hex too.
QString ValueText(std::uint8_t id, const std::string& value) {
  QString shown = QString::fromStdString(devid::ObjectText(value));
  if (id >= modbus::DEVICE_OBJECT_FIRST_PRIVATE) shown += " [" + QString::fromStdString(devid::ObjectHex(value)) + "]";
  return shown;
}

}  // namespace

CDeviceIdDlg::CDeviceIdDlg(zelmor::PduLink link, QWidget* parent) : QDialog(parent), link_(link) {
  setWindowTitle(text::kDeviceIdTitle);
  slave_ = new QSpinBox;
  slave_->setRange(1, modbus::MAX_UNIT_ID);
  read_ = new QComboBox;
  for (const char* choice : text::kDeviceIdReads) read_->addItem(choice);
  read_->setCurrentIndex(modbus::READ_DEVICE_ID_REGULAR - 1);
  object_ = new QSpinBox;
  object_->setRange(0, modbus::DEVICE_OBJECT_COUNT - 1);
  object_->setDisplayIntegerBase(16);
  object_->setPrefix("0x");
  object_->setEnabled(false);
  readButton_ = new QPushButton(text::kDeviceIdReadButton);
  readButton_->setDefault(true);
  reportButton_ = new QPushButton(text::kDeviceIdReportButton);
  close_ = new QPushButton(text::kDeviceIdClose);
  table_ = new QTableWidget(0, 3);
  table_->setHorizontalHeaderLabels({text::kDeviceIdColumns[0], text::kDeviceIdColumns[1], text::kDeviceIdColumns[2]});
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->hide();
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  status_ = new QLabel;
  status_->setWordWrap(true);

  auto* form = new QGridLayout;
  form->addWidget(new QLabel(text::kDeviceIdSlave), 0, 0);
  form->addWidget(slave_, 0, 1);
  form->addWidget(new QLabel(text::kDeviceIdRead), 1, 0);
  form->addWidget(read_, 1, 1);
  form->addWidget(new QLabel(text::kDeviceIdObject), 2, 0);
  form->addWidget(object_, 2, 1);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {readButton_, reportButton_, close_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* top = new QHBoxLayout;
  top->addLayout(form, 1);
  top->addLayout(buttons);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  layout->addWidget(status_);
  resize(560, 380);

  connect(read_, &QComboBox::currentIndexChanged, this, [this](int index) { object_->setEnabled(index == kOneObject); });
  connect(readButton_, &QPushButton::clicked, this, &CDeviceIdDlg::readIdentification);
  connect(reportButton_, &QPushButton::clicked, this, &CDeviceIdDlg::reportSlaveId);
  connect(close_, &QPushButton::clicked, this, &QDialog::reject);
  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        if (message == platform::WM_ENGINE_NOTIFY && lParam == 0)
          onCompletion(static_cast<std::uint16_t>(wParam));
        else if (message == platform::WM_ENGINE_STATE)
          onLinkStateChange();
        return 0;
      });
}

CDeviceIdDlg::~CDeviceIdDlg() {
  // A request still waiting must not outlive the dialog in the one-shot slot.
  if (pending_) me::UnregisterPoll(0);
}

void CDeviceIdDlg::reject() {
  if (pending_) me::UnregisterPoll(0);
  setPending(false);
  reading_.reset();
  QDialog::reject();
}

void CDeviceIdDlg::readIdentification() {
  const int choice = read_->currentIndex();
  const bool single = choice == kOneObject;
  const auto code = static_cast<std::uint8_t>(single ? modbus::READ_DEVICE_ID_INDIVIDUAL : choice + 1);
  reading_.emplace(code, static_cast<std::uint8_t>(single ? object_->value() : 0));
  table_->setRowCount(0);
  std::uint8_t pdu[devid::kMaxRequestPdu];
  if (!submit(pdu, reading_->NextRequest(pdu))) reading_.reset();
}

void CDeviceIdDlg::reportSlaveId() {
  reading_.reset();
  table_->setRowCount(0);
  std::uint8_t pdu[devid::kMaxRequestPdu];
  submit(pdu, devid::BuildReportSlaveIdRequest(pdu));
}

// Hands one request to the one-shot slot as a raw frame of the link.
bool CDeviceIdDlg::submit(const std::uint8_t* pdu, int length) {
  if (pending_) return false;
  if (!zelmor::LinkIsOpen()) {
    status_->setText(text::kTestCenterNoLink);
    return false;
  }
  slaveId_ = static_cast<std::uint8_t>(slave_->value());
  const std::vector<std::uint8_t> frame = zelmor::FramePdu(link_, slaveId_, pdu, length, ++transaction_);
  if (!me::SubmitOneShot(target_->handle(), platform::WM_ENGINE_NOTIFY, 0, modbus::FC_RAW_FRAME, 0, 0, 0, 0)) {
    status_->setText(text::kTestCenterBusy);
    return false;
  }
  if (!me::SetWriteBytes(0, static_cast<int>(frame.size()), frame.data())) {
    me::UnregisterPoll(0);
    status_->setText(text::kTestCenterBusy);
    return false;
  }
  setPending(true);
  status_->setText(QString(text::kDeviceIdReading).arg(reading_ ? reading_->requests() : 1));
  return true;
}

void CDeviceIdDlg::onCompletion(std::uint16_t result) {
  if (!pending_) return;
  setPending(false);
  if (result != me::RESULT_OK) return fail(me::ResultText(result));
  std::uint8_t received[me::kSlotReceivedCapacity];
  const std::uint16_t count = me::CopySlotReceived(0, received);
  std::vector<std::uint8_t> pdu;
  const std::string fault = zelmor::UnframePdu(link_, slaveId_, received, count, transaction_, &pdu);
  if (!fault.empty()) return fail(fault);
  if (reading_) takeIdentification(pdu);
  else takeSlaveId(pdu);
}

void CDeviceIdDlg::takeIdentification(const std::vector<std::uint8_t>& pdu) {
  const std::string fault = reading_->TakeReply(pdu.data(), static_cast<int>(pdu.size()));
  if (!fault.empty()) return fail(fault, pdu);
  if (!reading_->done()) {
    std::uint8_t next[devid::kMaxRequestPdu];
    if (!submit(next, reading_->NextRequest(next))) reading_.reset();
    return;
  }
  for (const devid::DeviceObject& object : reading_->objects())
    addRow(Hex2(object.id), QString::fromStdString(devid::ObjectName(object.id)), ValueText(object.id, object.value));
  status_->setText(QString(text::kDeviceIdDone)
                       .arg(reading_->objects().size())
                       .arg(reading_->conformity(), 2, 16, QLatin1Char('0'))
                       .arg(reading_->requests()));
  reading_.reset();
}

void CDeviceIdDlg::takeSlaveId(const std::vector<std::uint8_t>& pdu) {
  devid::SlaveIdReply reply;
  const std::string fault = devid::ParseReportSlaveIdReply(pdu.data(), static_cast<int>(pdu.size()), &reply);
  if (!fault.empty()) return fail(fault, pdu);
  addRow(QString(), text::kDeviceIdSlaveIdRows[0], Hex2(reply.slaveId));
  if (reply.hasRunIndicator) {
    const bool on = reply.runIndicator == modbus::RUN_INDICATOR_ON;
    const bool off = reply.runIndicator == modbus::RUN_INDICATOR_OFF;
    addRow(QString(), text::kDeviceIdSlaveIdRows[1], on || off ? text::kDeviceIdRunStates[on] : Hex2(reply.runIndicator));
    addRow(QString(), text::kDeviceIdSlaveIdRows[2],
           QString::fromStdString(devid::ObjectText(reply.additional) + " [" + devid::ObjectHex(reply.additional) + "]"));
  }
  status_->setText(QString(text::kDeviceIdReported).arg(reply.data.size()));
}

void CDeviceIdDlg::fail(const std::string& reason, const std::vector<std::uint8_t>& pdu) {
  reading_.reset();
  QString why = QString::fromStdString(reason);
  if (pdu.size() >= 2 && (pdu[0] & modbus::EXCEPTION_FLAG))
    why += QString(" (%1)").arg(me::ResultText(me::ExceptionResult(pdu[1])));
  status_->setText(QString(text::kDeviceIdFailed).arg(why));
}

void CDeviceIdDlg::onLinkStateChange() {
  if (!pending_ || zelmor::LinkIsOpen()) return;
  me::UnregisterPoll(0);
  setPending(false);
  reading_.reset();
  status_->setText(text::kTestCenterLinkClosed);
}

void CDeviceIdDlg::setPending(bool pending) {
  pending_ = pending;
  readButton_->setEnabled(!pending);
  reportButton_->setEnabled(!pending);
}

void CDeviceIdDlg::addRow(const QString& object, const QString& name, const QString& value) {
  const int row = table_->rowCount();
  table_->insertRow(row);
  table_->setItem(row, 0, new QTableWidgetItem(object));
  table_->setItem(row, 1, new QTableWidgetItem(name));
  table_->setItem(row, 2, new QTableWidgetItem(value));
}

void RunDeviceIdentification(zelmor::PduLink link, QWidget* parent) {
  CDeviceIdDlg dialog(link, parent);
  dialog.exec();
}
