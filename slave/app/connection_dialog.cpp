#include "slave/app/connection_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <arpa/inet.h>

#include "common/baud_table.h"
#include "framework/validation.h"
#include "resources/network_transport_texts.h"
#include "resources/vantor_resources.h"

namespace {
QString Text(const char* text) { return QString::fromLatin1(text); }
}  // namespace

ConnectionDialog::ConnectionDialog(const ConnectionChoice& choice, QWidget* parent)
    : QDialog(parent), choice_(choice) {
  using namespace vantorres;
  setWindowTitle(Text(kConnectionTitle));
  port_ = new QComboBox(this);
  for (const char* t : kPortTexts) port_->addItem(Text(t));
  baud_ = new QComboBox(this);
  for (int i = 0; i < baudtable::kBaudCount; ++i) baud_->addItem(Text(baudtable::ListText(i)));
  dataBits_ = new QComboBox(this);
  for (const char* t : kDataBitsTexts) dataBits_->addItem(Text(t));
  parity_ = new QComboBox(this);
  for (const char* t : kParityTexts) parity_->addItem(Text(t));
  stopBits_ = new QComboBox(this);
  for (const char* t : kStopBitsTexts) stopBits_->addItem(Text(t));
  devicePath_ = new QLineEdit(this);

  auto* lineGroup = new QGroupBox(this);
  auto* lineForm = new QFormLayout(lineGroup);
  lineForm->addRow(port_);
  lineForm->addRow(Text(kDevicePath), devicePath_);
  lineForm->addRow(baud_);
  lineForm->addRow(dataBits_);
  lineForm->addRow(parity_);
  lineForm->addRow(stopBits_);

  auto* modeGroup = new QGroupBox(Text(kModeGroup), this);
  auto* modeLayout = new QHBoxLayout(modeGroup);
  rtu_ = new QRadioButton(Text(kRtu), modeGroup);
  ascii_ = new QRadioButton(Text(kAscii), modeGroup);
  modeLayout->addWidget(rtu_);
  modeLayout->addWidget(ascii_);

  auto* flowGroup = new QGroupBox(Text(kFlowControlGroup), this);
  auto* flowLayout = new QVBoxLayout(flowGroup);
  dsr_ = new QCheckBox(Text(kDsr), flowGroup);
  cts_ = new QCheckBox(Text(kCts), flowGroup);
  rtsToggle_ = new QCheckBox(Text(kRtsToggle), flowGroup);
  rtsDelay_ = new QLineEdit(flowGroup);
  auto* delayRow = new QHBoxLayout;
  delayRow->addWidget(rtsDelay_);
  delayRow->addWidget(new QLabel(Text(kRtsDelay), flowGroup));
  flowLayout->addWidget(dsr_);
  flowLayout->addWidget(cts_);
  flowLayout->addWidget(rtsToggle_);
  flowLayout->addLayout(delayRow);

  ignoreUnitId_ = new QCheckBox(Text(kIgnoreUnitId), this);
  auto* tcpGroup = new QGroupBox(Text(kListenGroup), this);
  auto* tcpForm = new QFormLayout(tcpGroup);
  listenAddress_ = new QLineEdit(tcpGroup);
  listenPort_ = new QLineEdit(tcpGroup);
  tcpForm->addRow(Text(kListenAddress), listenAddress_);
  tcpForm->addRow(Text(kListenPort), listenPort_);
  transport_ = new QComboBox(tcpGroup);
  for (const char* name : transporttexts::kNames) transport_->addItem(Text(name));
  tcpForm->addRow(Text(kTransportLabel), transport_);
  tcpForm->addRow(ignoreUnitId_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lineGroup);
  layout->addWidget(modeGroup);
  layout->addWidget(flowGroup);
  layout->addWidget(tcpGroup);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &ConnectionDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ConnectionDialog::reject);

  // DSR or CTS handshake and RTS toggling exclude each other.
  connect(dsr_, &QCheckBox::clicked, this, [this](bool on) {
    if (on) rtsToggle_->setChecked(false);
  });
  connect(cts_, &QCheckBox::clicked, this, [this](bool on) {
    if (on) rtsToggle_->setChecked(false);
  });
  connect(rtsToggle_, &QCheckBox::clicked, this, [this](bool on) {
    if (on) {
      dsr_->setChecked(false);
      cts_->setChecked(false);
    }
  });

  showFields();
  enableForPort();
  connect(port_, &QComboBox::currentIndexChanged, this, &ConnectionDialog::portChosen);
}

void ConnectionDialog::showFields() {
  const slavesettings::SlaveSettings& s = choice_.settings;
  QSignalBlocker block(port_);
  shownPort_ = s.port;
  port_->setCurrentIndex(s.port);
  baud_->setCurrentIndex(std::max(0, baudtable::ListPositionForIndex(s.baudRate)));
  dataBits_->setCurrentIndex(s.dataBits);
  parity_->setCurrentIndex(s.parity);
  stopBits_->setCurrentIndex(s.stopBits);
  (s.rtuAscii ? ascii_ : rtu_)->setChecked(true);
  dsr_->setChecked(s.dtrDsr != 0);
  cts_->setChecked(s.rtsCts != 0);
  rtsToggle_->setChecked(s.rts != 0);
  rtsDelay_->setText(QString::number(s.clrRtsDelay));
  ignoreUnitId_->setChecked(s.uid != 0);
  devicePath_->setText(s.port < 8 ? choice_.devicePaths[s.port] : QString());
  listenAddress_->setText(choice_.listenAddress);
  listenPort_->setText(QString::number(choice_.listenPort));
  transport_->setCurrentIndex(
      choice_.transport >= 0 && choice_.transport < slavesettings::kTransportCount ? choice_.transport : 0);
}

void ConnectionDialog::enableForPort() {
  const bool tcp = port_->currentIndex() == slavesettings::kTcpPort;
  for (QWidget* w : std::initializer_list<QWidget*>{baud_, dataBits_, parity_, stopBits_, dsr_, cts_, rtsToggle_,
                                                    rtsDelay_, rtu_, ascii_, devicePath_})
    w->setEnabled(!tcp);
  for (QWidget* w : std::initializer_list<QWidget*>{ignoreUnitId_, listenAddress_, listenPort_, transport_})
    w->setEnabled(tcp);
}

void ConnectionDialog::portChosen(int index) {
  // Take over the fields of the port shown so far, then switch.
  {
    QSignalBlocker block(port_);
    port_->setCurrentIndex(shownPort_);
  }
  if (!takeFields()) return;  // stays on the old port with the bad field focused
  choice_.settings.port = index;
  shownPort_ = index;
  {
    QSignalBlocker block(port_);
    port_->setCurrentIndex(index);
  }
  devicePath_->setText(index < 8 ? choice_.devicePaths[index] : QString());
  enableForPort();
}

bool ConnectionDialog::takeFields() {
  fw::DataExchange dx(this);
  int delay = 0, listenPort = 0;
  if (!dx.intField(rtsDelay_, 0, slavesettings::kMaxRtsDelay, &delay)) return false;
  if (!dx.intField(listenPort_, 1, 65535, &listenPort)) return false;
  const QString address = listenAddress_->text().trimmed();
  // IPv4 or IPv6, the latter with or without brackets.
  QString bare = address;
  if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']'))) bare = bare.mid(1, bare.size() - 2);
  in_addr parsed{};
  in6_addr parsed6{};
  if (!address.isEmpty() && inet_pton(AF_INET, address.toLatin1().constData(), &parsed) != 1 &&
      inet_pton(AF_INET6, bare.toLatin1().constData(), &parsed6) != 1) {
    dx.fail(listenAddress_, Text(vantorres::kBadListenAddress));
    return false;
  }
  slavesettings::SlaveSettings& s = choice_.settings;
  s.port = port_->currentIndex();
  s.baudRate = baudtable::IndexForListPosition(baud_->currentIndex());
  s.dataBits = dataBits_->currentIndex();
  s.parity = parity_->currentIndex();
  s.stopBits = stopBits_->currentIndex();
  s.rtuAscii = ascii_->isChecked() ? 1 : 0;
  s.dtrDsr = dsr_->isChecked() ? 1 : 0;
  s.rtsCts = cts_->isChecked() ? 1 : 0;
  s.rts = rtsToggle_->isChecked() ? 1 : 0;
  s.clrRtsDelay = delay;
  s.uid = ignoreUnitId_->isChecked() ? 1 : 0;
  if (s.port < 8) choice_.devicePaths[s.port] = devicePath_->text().trimmed();
  choice_.listenAddress = address;
  choice_.listenPort = listenPort;
  choice_.transport = transport_->currentIndex();
  return true;
}

void ConnectionDialog::accept() {
  if (takeFields()) QDialog::accept();
}
