#include "framework/serial_ports.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QAbstractItemView>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSerialPortInfo>
#include <QTimer>
#include <algorithm>

#include "platform/port_map.h"

namespace fw {

namespace {

std::shared_ptr<SerialPortSource> g_source;

QString JoinDescription(const QString& manufacturer, const QString& description) {
  const QString maker = manufacturer.trimmed();
  const QString product = description.trimmed();
  if (maker.isEmpty()) return product;
  if (product.isEmpty()) return maker;
  // Many adapters repeat the maker in the product string ("FTDI FT232R USB UART").
  if (product.startsWith(maker, Qt::CaseInsensitive)) return product;
  return maker + QLatin1Char(' ') + product;
}

void SortByPath(QList<SerialPortEntry>* entries) {
  // ttyUSB2 before ttyUSB10.
  QCollator collator;
  collator.setNumericMode(true);
  std::sort(entries->begin(), entries->end(),
            [&](const SerialPortEntry& a, const SerialPortEntry& b) { return collator.compare(a.path, b.path) < 0; });
}

}  // namespace

QString SerialPortDisplayText(const SerialPortEntry& entry) {
  if (entry.description.isEmpty()) return entry.path;
  return QStringLiteral("%1 (%2)").arg(entry.description, entry.path);
}

SystemSerialPortSource::SystemSerialPortSource(const QString& byIdDirectory) : byIdDirectory_(byIdDirectory) {}

QList<SerialPortEntry> SystemSerialPortSource::ports() const {
  QList<SerialPortEntry> devices;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    devices.append({info.systemLocation(), JoinDescription(info.manufacturer(), info.description())});
  }
  SortByPath(&devices);

  // The by-id links name one adapter whatever order the kernel numbered it in.
  QList<SerialPortEntry> links;
  const QDir byId(byIdDirectory_);
  for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
    const QString target = link.canonicalFilePath();
    if (target.isEmpty()) continue;  // a dangling link: the adapter is just going away
    QString description;
    for (const SerialPortEntry& device : devices) {
      if (QFileInfo(device.path).canonicalFilePath() == target) description = device.description;
    }
    links.append({link.absoluteFilePath(), description});
  }
  SortByPath(&links);
  return devices + links;
}

QList<SerialPortEntry> ListSerialPorts() {
  if (g_source) return g_source->ports();
  return SystemSerialPortSource().ports();
}

void SetSerialPortSource(std::shared_ptr<SerialPortSource> source) { g_source = std::move(source); }

// ---- Watcher ----------------------------------------------------------------------

SerialPortWatcher::SerialPortWatcher(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  ports_ = ListSerialPorts();
  timer_->setInterval(kPollIntervalMs);
  connect(timer_, &QTimer::timeout, this, &SerialPortWatcher::refresh);
  timer_->start();
}

void SerialPortWatcher::refresh() {
  QList<SerialPortEntry> now = ListSerialPorts();
  if (now == ports_) return;
  ports_ = std::move(now);
  emit portsChanged(ports_);
}

// ---- Device box -------------------------------------------------------------------

SerialDeviceBox::SerialDeviceBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  // A typed path stays as typed: no completion from the listed names.
  setCompleter(nullptr);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(24);
  // Choosing an entry puts its path, not its description, into the field.
  connect(this, &QComboBox::activated, this, [this](int index) {
    const QString chosen = itemData(index).toString();
    if (!chosen.isEmpty()) setEditText(chosen);
  });
}

QString SerialDeviceBox::path() const {
  const QString text = currentText().trimmed();
  const int index = findText(text, Qt::MatchExactly);
  if (index >= 0 && !itemData(index).toString().isEmpty()) return itemData(index).toString();
  return text;
}

void SerialDeviceBox::setPath(const QString& path) { setEditText(path); }

void SerialDeviceBox::setDevices(const QList<SerialPortEntry>& devices) {
  if (view()->isVisible()) {
    pending_ = devices;
    hasPending_ = true;
    return;
  }
  fill(devices);
}

void SerialDeviceBox::hidePopup() {
  QComboBox::hidePopup();
  if (!hasPending_) return;
  hasPending_ = false;
  fill(pending_);
}

void SerialDeviceBox::fill(const QList<SerialPortEntry>& devices) {
  const QString kept = path();
  const int cursor = lineEdit()->cursorPosition();
  const bool blocked = blockSignals(true);
  clear();
  for (const SerialPortEntry& device : devices) {
    addItem(SerialPortDisplayText(device), device.path);
    setItemData(count() - 1, device.path, Qt::ToolTipRole);
  }
  setCurrentIndex(-1);
  // The by-id names are long: the drop-down may be wider than the field.
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth());
  setEditText(kept);
  lineEdit()->setCursorPosition(cursor);
  blockSignals(blocked);
}

// ---- Port map widget --------------------------------------------------------------

SerialPortMapWidget::SerialPortMapWidget(const QStringList& labels, QWidget* parent)
    : QWidget(parent), watcher_(new SerialPortWatcher(this)) {
  constexpr int kRowsPerColumn = 10;
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  for (int i = 0; i < labels.size(); ++i) {
    const int number = i + 1;
    auto* box = new SerialDeviceBox(this);
    box->setDevices(watcher_->ports());
    box->setPath(QString::fromStdString(platform::SerialPortPath(number)));
    box->lineEdit()->setPlaceholderText(QString::fromStdString(platform::DefaultSerialPortPath(number)));
    auto* label = new QLabel(labels[i], this);
    label->setBuddy(box);
    const int column = 2 * (i / kRowsPerColumn);
    grid->addWidget(label, i % kRowsPerColumn, column);
    grid->addWidget(box, i % kRowsPerColumn, column + 1);
    boxes_.append(box);
  }
  connect(watcher_, &SerialPortWatcher::portsChanged, this, [this](const QList<SerialPortEntry>& ports) {
    for (SerialDeviceBox* box : boxes_) box->setDevices(ports);
  });
}

SerialDeviceBox* SerialPortMapWidget::box(int portNumber) const {
  return (portNumber >= 1 && portNumber <= boxes_.size()) ? boxes_[portNumber - 1] : nullptr;
}

void SerialPortMapWidget::applyToPortMap() const {
  for (int i = 0; i < boxes_.size(); ++i) platform::SetSerialPortPath(i + 1, boxes_[i]->path().toStdString());
}

}  // namespace fw
