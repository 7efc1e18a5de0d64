#include "master/app/connection_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include "common/baud_table.h"
#include "framework/profile.h"
#include "framework/serial_ports.h"
#include "framework/validation.h"
#include "platform/port_map.h"
#include "resources/network_transport_texts.h"
#include "resources/zelmor_resources.h"

namespace {

constexpr int kDialogPorts = 8;

QString DeviceText(int portChoice) {
  if (portChoice >= zelmor::kTcpPortChoice) return QString();
  return QObject::tr("Device: %1").arg(QString::fromStdString(platform::SerialPortPath(portChoice + 1)));
}

}  // namespace

// ---- Advanced ---------------------------------------------------------------------

AdvancedDialog::AdvancedDialog(const zelmor::CommSettings& s, QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Advanced"));
  auto* group = new QGroupBox(tr("Flow Control"), this);
  dsrBox_ = new QCheckBox(tr("DSR"), group);
  ctsBox_ = new QCheckBox(tr("CTS"), group);
  rtsToggleBox_ = new QCheckBox(tr("RTS Toggle"), group);
  delayEdit_ = new QLineEdit(group);
  echoBox_ = new QCheckBox(tr("Remove Echo (If applicable)"), this);
  auto* grid = new QGridLayout(group);
  grid->addWidget(dsrBox_, 0, 0);
  grid->addWidget(ctsBox_, 1, 0);
  grid->addWidget(rtsToggleBox_, 2, 0);
  grid->addWidget(delayEdit_, 3, 0);
  grid->addWidget(new QLabel(tr("[ms] RTS disable delay"), group), 3, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* top = new QVBoxLayout(this);
  top->addWidget(group);
  top->addWidget(echoBox_);
  top->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &AdvancedDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AdvancedDialog::reject);
  connect(rtsToggleBox_, &QCheckBox::clicked, this, &AdvancedDialog::updateEnabling);

  dsrBox_->setChecked(s.dtrDsr != 0);
  ctsBox_->setChecked(s.rtsCts != 0);
  rtsToggleBox_->setChecked(s.rtsToggle != 0);
  delayEdit_->setText(QString::number(s.clrRtsDelay));
  echoBox_->setChecked(s.echo != 0);
  delay_ = s.clrRtsDelay;
  updateEnabling();
}

void AdvancedDialog::updateEnabling() { delayEdit_->setEnabled(rtsToggleBox_->isChecked()); }

void AdvancedDialog::accept() {
  fw::DataExchange dx(this);
  if (!dx.intField(delayEdit_, 0, 10, &delay_)) return;
  QDialog::accept();
}

void AdvancedDialog::takeInto(zelmor::CommSettings* s) const {
  s->dtrDsr = dsrBox_->isChecked() ? 1 : 0;
  s->rtsCts = ctsBox_->isChecked() ? 1 : 0;
  s->rtsToggle = rtsToggleBox_->isChecked() ? 1 : 0;
  s->clrRtsDelay = delay_;
  s->echo = echoBox_->isChecked() ? 1 : 0;
}

// ---- Connection -------------------------------------------------------------------

ConnectionDialog::ConnectionDialog(const zelmor::CommSettings& s, QWidget* parent)
    : QDialog(parent), settings_(s) {
  setWindowTitle(tr("Connection"));
  portList_ = new QComboBox(this);
  for (int n = 1; n <= kDialogPorts; ++n) portList_->addItem(tr("Port %1").arg(n));
  portList_->addItem(tr("TCP/IP"));
  deviceLabel_ = new QLabel(this);
  baudList_ = new QComboBox(this);
  for (int position = 0; position < baudtable::kBaudCount; ++position) baudList_->addItem(baudtable::ListText(position));
  dataBitsList_ = new QComboBox(this);
  dataBitsList_->addItems({tr("7 Data bits"), tr("8 Data bits")});
  parityList_ = new QComboBox(this);
  parityList_->addItems({tr("None Parity"), tr("Odd Parity"), tr("Even Parity")});
  stopBitsList_ = new QComboBox(this);
  stopBitsList_->addItems({tr("1 Stop Bit"), tr("2 Stop Bits")});

  auto* modeGroup = new QGroupBox(tr("Mode"), this);
  rtuButton_ = new QRadioButton(tr("RTU"), modeGroup);
  asciiButton_ = new QRadioButton(tr("ASCII"), modeGroup);
  auto* modeLayout = new QHBoxLayout(modeGroup);
  modeLayout->addWidget(rtuButton_);
  modeLayout->addWidget(asciiButton_);

  auto* timeoutGroup = new QGroupBox(tr("Response Timeout"), this);
  timeoutEdit_ = new QLineEdit(timeoutGroup);
  auto* timeoutLayout = new QHBoxLayout(timeoutGroup);
  timeoutLayout->addWidget(timeoutEdit_);
  timeoutLayout->addWidget(new QLabel(tr("[ms]"), timeoutGroup));

  auto* delayGroup = new QGroupBox(tr("Delay Between Polls"), this);
  delayEdit_ = new QLineEdit(delayGroup);
  auto* delayLayout = new QHBoxLayout(delayGroup);
  delayLayout->addWidget(delayEdit_);
  delayLayout->addWidget(new QLabel(tr("[ms]"), delayGroup));

  auto* serverGroup = new QGroupBox(tr("Remote Server"), this);
  ipEdit_ = new QLineEdit(serverGroup);
  servicePortEdit_ = new QLineEdit(serverGroup);
  transportList_ = new QComboBox(serverGroup);
  for (const char* name : transporttexts::kNames) transportList_->addItem(QString::fromLatin1(name));
  auto* serverLayout = new QFormLayout(serverGroup);
  serverLayout->addRow(tr("IP Address"), ipEdit_);
  serverLayout->addRow(tr("Port"), servicePortEdit_);
  serverLayout->addRow(QString::fromLatin1(zelmor::res::text::kTransportLabel), transportList_);

  auto* okButton = new QPushButton(tr("OK"), this);
  okButton->setDefault(true);
  auto* cancelButton = new QPushButton(tr("Cancel"), this);
  advancedButton_ = new QPushButton(tr("&Advanced..."), this);

  auto* left = new QVBoxLayout;
  for (QWidget* w : {static_cast<QWidget*>(portList_), static_cast<QWidget*>(deviceLabel_),
                     static_cast<QWidget*>(baudList_), static_cast<QWidget*>(dataBitsList_),
                     static_cast<QWidget*>(parityList_), static_cast<QWidget*>(stopBitsList_),
                     static_cast<QWidget*>(modeGroup)})
    left->addWidget(w);
  auto* middle = new QVBoxLayout;
  middle->addWidget(timeoutGroup);
  middle->addWidget(delayGroup);
  middle->addWidget(serverGroup);
  auto* right = new QVBoxLayout;
  right->addWidget(okButton);
  right->addWidget(cancelButton);
  right->addWidget(advancedButton_);
  right->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(left);
  top->addLayout(middle);
  top->addLayout(right);

  // Fill from the record (baud index -> list position).
  shownPort_ = s.port >= 0 && s.port <= zelmor::kTcpPortChoice ? s.port : 0;
  portList_->setCurrentIndex(shownPort_);
  int position = baudtable::ListPositionForIndex(s.baudIndex);
  baudList_->setCurrentIndex(position >= 0 ? position : baudtable::ListPositionForIndex(baudtable::kDefaultBaudIndex));
  dataBitsList_->setCurrentIndex(s.dataBits == 0 ? 0 : 1);
  parityList_->setCurrentIndex(s.parity >= 0 && s.parity <= 2 ? s.parity : 2);
  stopBitsList_->setCurrentIndex(s.stopBits == 1 ? 1 : 0);
  (s.asciiMode ? asciiButton_ : rtuButton_)->setChecked(true);
  timeoutEdit_->setText(QString::number(s.timeout));
  delayEdit_->setText(QString::number(s.delayBetweenPolls));
  ipEdit_->setText(QString::fromStdString(zelmor::RemoteHost(s)));
  transportList_->setCurrentIndex(s.transport >= 0 && s.transport < zelmor::kTransportCount ? s.transport : 0);
  servicePortEdit_->setText(QString::number(s.servicePort));

  connect(okButton, &QPushButton::clicked, this, &ConnectionDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &ConnectionDialog::reject);
  connect(advancedButton_, &QPushButton::clicked, this, &ConnectionDialog::openAdvanced);
  connect(portList_, qOverload<int>(&QComboBox::activated), this, &ConnectionDialog::portChanged);
  updateEnabling();
}

void ConnectionDialog::updateEnabling() {
  bool tcp = portList_->currentIndex() == zelmor::kTcpPortChoice;
  for (QWidget* w : {static_cast<QWidget*>(advancedButton_), static_cast<QWidget*>(baudList_),
                     static_cast<QWidget*>(parityList_), static_cast<QWidget*>(dataBitsList_),
                     static_cast<QWidget*>(stopBitsList_), static_cast<QWidget*>(rtuButton_),
                     static_cast<QWidget*>(asciiButton_)})
    w->setEnabled(!tcp);
  ipEdit_->setEnabled(tcp);
  servicePortEdit_->setEnabled(tcp);
  transportList_->setEnabled(tcp);
  deviceLabel_->setText(DeviceText(portList_->currentIndex()));
}

void ConnectionDialog::portChanged(int index) {
  // The fields are taken over (and checked) before the enabling changes.
  if (!takeFields()) {
    portList_->setCurrentIndex(shownPort_);
    return;
  }
  shownPort_ = index;
  settings_.port = index;
  updateEnabling();
}

bool ConnectionDialog::takeFields() {
  fw::DataExchange dx(this);
  zelmor::CommSettings s = settings_;
  QString ip;
  // A dotted address keeps its 15 characters; a host name or an IPv6 address
  // may be longer.
  const QString typed = ipEdit_->text().trimmed();
  const bool dotted = !typed.isEmpty() && QRegularExpression(QStringLiteral("^[0-9.]+$")).match(typed).hasMatch();
  const int ipLimit = dotted ? zelmor::kIpAddressMaxLength : zelmor::kHostMaxLength;
  if (!dx.intField(timeoutEdit_, 50, 100000, &s.timeout) || !dx.textField(ipEdit_, ipLimit, &ip) ||
      !dx.intField(servicePortEdit_, 1, 32767, &s.servicePort) ||
      !dx.intField(delayEdit_, 0, 1000, &s.delayBetweenPolls))
    return false;
  zelmor::SetRemoteHost(&s, ip.trimmed().toStdString());
  s.transport = transportList_->currentIndex();
  s.port = portList_->currentIndex();
  s.baudIndex = baudtable::IndexForListPosition(baudList_->currentIndex());
  s.dataBits = dataBitsList_->currentIndex();
  s.parity = parityList_->currentIndex();
  s.stopBits = stopBitsList_->currentIndex();
  s.asciiMode = asciiButton_->isChecked() ? 1 : 0;
  settings_ = s;
  return true;
}

void ConnectionDialog::openAdvanced() {
  AdvancedDialog dialog(settings_, this);
  if (dialog.exec() == QDialog::Accepted) dialog.takeInto(&settings_);
}

void ConnectionDialog::accept() {
  if (!takeFields()) return;
  QDialog::accept();
}

// ---- Serial ports -----------------------------------------------------------------

SerialPortsDialog::SerialPortsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(tr("Serial Ports"));
  QStringList labels;
  for (int n = 1; n <= kDialogPorts; ++n) labels << tr("Port %1").arg(n);
  map_ = new fw::SerialPortMapWidget(labels, this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* top = new QVBoxLayout(this);
  top->addWidget(new QLabel(tr("Device behind each port number (empty: the default)."), this));
  top->addWidget(map_);
  top->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &SerialPortsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &SerialPortsDialog::reject);
}

QLineEdit* SerialPortsDialog::pathEdit(int portNumber) const {
  fw::SerialDeviceBox* box = map_->box(portNumber);
  return box != nullptr ? box->lineEdit() : nullptr;
}

void SerialPortsDialog::accept() {
  map_->applyToPortMap();
  fw::AppProfile().savePortMap();
  QDialog::accept();
}
