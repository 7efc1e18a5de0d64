#include "terminal/port_config_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/validation.h"
#include "platform/port_map.h"
#include "resources/kestrin_texts.h"
#include "terminal/event_serial_port.h"

namespace kestrin {

namespace {

struct EventBoxDefinition {
  const char* caption;
  std::uint32_t event;  // 0: always checked
};

constexpr EventBoxDefinition kEventBoxes[kEventBoxCount] = {
    {text::kEventBreak, EV_BREAK}, {text::kEventCts, EV_CTS},   {text::kEventDsr, EV_DSR},
    {text::kEventErr, EV_ERR},     {text::kEventRing, EV_RING}, {text::kEventRlsd, EV_RLSD},
    {text::kEventRxChar, 0},       {text::kEventRxFlag, EV_RXFLAG}, {text::kEventTxEmpty, EV_TXEMPTY},
};

QComboBox* DropDownList(const QStringList& entries, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems(entries);
  return list;
}

// Selects the first entry that begins with text, as a list's select-by-prefix
// search does; no match leaves the selection as it was.
void SelectByPrefix(QComboBox* list, const QString& text) {
  const int index = list->findText(text, Qt::MatchStartsWith);
  if (index >= 0) list->setCurrentIndex(index);
}

}  // namespace

PortOpenArguments OpenArgumentsFromChoices(const PortChoices& choices) {
  PortOpenArguments arguments;
  arguments.portNumber = choices.port.toInt();
  arguments.baudRate = choices.baudRate.toInt();
  arguments.parity = choices.parity.isEmpty() ? 'N' : choices.parity.at(0).toLatin1();
  arguments.dataBits = choices.dataBits.toInt();
  arguments.stopBits = choices.stopBits == QLatin1String("2") ? 2 : 1;
  arguments.sendBufferSize = choices.sendBuffer.trimmed().toInt();
  return arguments;
}

PortConfigDialog::PortConfigDialog(const EventSerialPort& port, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(text::kConfigTitle));

  QStringList portEntries;
  for (int number = 1; number <= 30; ++number) portEntries << QString::number(number);
  portList_ = DropDownList(portEntries, this);
  // Port numbers stand for device paths (profile section "Ports"); show which.
  for (int index = 0; index < portList_->count(); ++index) {
    portList_->setItemData(index, QString::fromStdString(platform::SerialPortPath(index + 1)), Qt::ToolTipRole);
  }
  baudList_ = DropDownList({"19200", "9600", "2400", "1200", "300"}, this);
  parityList_ = DropDownList({"None", "Odd", "Even", "Mark", "Space"}, this);
  dataBitsList_ = DropDownList({"8", "7", "6"}, this);
  stopBitsList_ = DropDownList({"1", "1.5", "2"}, this);
  sendBufferBox_ = DropDownList({"255", "512", "1024", "2048", "4096"}, this);
  sendBufferBox_->setEditable(true);
  sendBufferBox_->setInsertPolicy(QComboBox::NoInsert);

  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kPortLabel), portList_);
  form->addRow(QString::fromUtf8(text::kBaudLabel), baudList_);
  form->addRow(QString::fromUtf8(text::kParityLabel), parityList_);
  form->addRow(QString::fromUtf8(text::kDataBitsLabel), dataBitsList_);
  form->addRow(QString::fromUtf8(text::kStopBitsLabel), stopBitsList_);
  form->addRow(QString::fromUtf8(text::kSendBufferLabel), sendBufferBox_);

  auto* events = new QGroupBox(QString::fromUtf8(text::kEventsLabel), this);
  auto* eventLayout = new QVBoxLayout(events);
  const std::uint32_t mask = port.CurrentEventMask();
  for (int box = 0; box < kEventBoxCount; ++box) {
    auto* check = new QCheckBox(QString::fromUtf8(kEventBoxes[box].caption), events);
    const std::uint32_t event = kEventBoxes[box].event;
    check->setChecked(event == 0 || (mask & event) != 0);
    // The port always reports received characters; the box only shows it.
    if (event == 0) check->setEnabled(false);
    eventLayout->addWidget(check);
    eventBoxes_[box] = check;
  }

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QString::fromUtf8(text::kOk), QDialogButtonBox::AcceptRole);
  buttons->addButton(QString::fromUtf8(text::kCancel), QDialogButtonBox::RejectRole);
  ok->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &PortConfigDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PortConfigDialog::reject);

  auto* columns = new QHBoxLayout;
  columns->addLayout(form);
  columns->addWidget(events);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addWidget(buttons);

  // Start from the port's settings; the port list always starts at "1".
  const platform::SerialLineSettings settings = port.CurrentLineSettings();
  portList_->setCurrentIndex(0);
  SelectByPrefix(baudList_, QString::number(settings.baudRate));
  const int parity = static_cast<int>(settings.parity);
  if (parity >= 0 && parity < parityList_->count()) parityList_->setCurrentIndex(parity);
  const int stopBits = static_cast<int>(settings.stopBits);
  if (stopBits >= 0 && stopBits < stopBitsList_->count()) stopBitsList_->setCurrentIndex(stopBits);
  SelectByPrefix(dataBitsList_, QString::number(settings.dataBits));
  sendBufferBox_->setEditText(QString::number(port.SendBufferSize()));
}

void PortConfigDialog::accept() {
  // A typed send-buffer size becomes the port's write buffer: it must be a
  // sensible positive size.
  fw::DataExchange exchange(this);
  int sendBuffer = 0;
  if (!exchange.intField(sendBufferBox_->lineEdit(), kMinSendBuffer, kMaxSendBuffer, &sendBuffer)) return;

  choices_.port = portList_->currentText();
  choices_.baudRate = baudList_->currentText();
  choices_.dataBits = dataBitsList_->currentText();
  choices_.parity = parityList_->currentText();
  choices_.stopBits = stopBitsList_->currentText();
  choices_.sendBuffer = sendBufferBox_->currentText();
  for (int box = 0; box < kEventBoxCount; ++box) choices_.events[box] = eventBoxes_[box]->isChecked() ? 1 : 0;
  QDialog::accept();
}

}  // namespace kestrin
