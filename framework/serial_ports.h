#pragma once
// The serial devices present on this machine, for the dialogs that map port
// numbers to devices: the system's tty devices (QSerialPortInfo: /dev/ttyS*
// that exist, /dev/ttyUSB*, /dev/ttyACM*) with their USB description, and the
// stable /dev/serial/by-id/ names of USB adapters. A SerialPortWatcher polls
// the listing so that an adapter plugged in while a dialog is open shows up;
// SerialDeviceBox is the editable choice of one port's device, so that a path
// that is not listed (a pty, a socat link) can still be typed.
#include <QComboBox>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QTimer;

namespace fw {

struct SerialPortEntry {
  QString path;         // what the port map stores, e.g. /dev/ttyUSB0
  QString description;  // "FTDI USB-RS485 Cable"; empty when the system has none
  bool operator==(const SerialPortEntry&) const = default;
};

// "FTDI USB-RS485 Cable (/dev/ttyUSB0)", or the bare path without a description.
QString SerialPortDisplayText(const SerialPortEntry& entry);

// Where the listing comes from; tests install a fake one.
class SerialPortSource {
 public:
  virtual ~SerialPortSource() = default;
  virtual QList<SerialPortEntry> ports() const = 0;
};

// The real listing: QSerialPortInfo, then the links in byIdDirectory (the
// description of a link is the one of the device it points to).
class SystemSerialPortSource : public SerialPortSource {
 public:
  explicit SystemSerialPortSource(const QString& byIdDirectory = QStringLiteral("/dev/serial/by-id"));
  QList<SerialPortEntry> ports() const override;

 private:
  QString byIdDirectory_;
};

// The listing of the installed source (the system's unless a test replaced it).
QList<SerialPortEntry> ListSerialPorts();
// nullptr restores the system's source.
void SetSerialPortSource(std::shared_ptr<SerialPortSource> source);

// Re-reads the listing on a timer (the enumeration is a quick sysfs/udev scan
// and a readdir, so it runs on the GUI thread) and tells when it changed.
class SerialPortWatcher : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPollIntervalMs = 2000;
  explicit SerialPortWatcher(QObject* parent = nullptr);
  const QList<SerialPortEntry>& ports() const { return ports_; }

 public slots:
  void refresh();

 signals:
  void portsChanged(const QList<SerialPortEntry>& ports);

 private:
  QTimer* timer_;
  QList<SerialPortEntry> ports_;
};

// An editable drop-down of the devices present; the edit text is the path.
// A refresh of the listing keeps whatever the user has typed or chosen.
class SerialDeviceBox : public QComboBox {
  Q_OBJECT
 public:
  explicit SerialDeviceBox(QWidget* parent = nullptr);
  QString path() const;
  void setPath(const QString& path);
  // While the drop-down is open the new listing waits until it closes, so the
  // entry under the mouse does not change.
  void setDevices(const QList<SerialPortEntry>& devices);
  void hidePopup() override;

 private:
  void fill(const QList<SerialPortEntry>& devices);
  QList<SerialPortEntry> pending_;
  bool hasPending_ = false;
};

// One row per port number: label and SerialDeviceBox, in columns of at most
// ten rows, all fed by one watcher.
class SerialPortMapWidget : public QWidget {
  Q_OBJECT
 public:
  // labels[i] is the label of port number i + 1.
  explicit SerialPortMapWidget(const QStringList& labels, QWidget* parent = nullptr);
  int portCount() const { return boxes_.size(); }
  // portNumber 1..portCount(); nullptr outside.
  SerialDeviceBox* box(int portNumber) const;
  SerialPortWatcher* watcher() const { return watcher_; }
  // Stores every box's path as the port's device (empty: the default).
  void applyToPortMap() const;

 private:
  QList<SerialDeviceBox*> boxes_;
  SerialPortWatcher* watcher_;
};

}  // namespace fw
