#pragma once
// Setup > Record Device: the successful reads of every poll window open when
// the recording starts go into one recording (docs/recording.md) until the
// command is given again, the connection closes, the last of those windows
// closes or the program ends.
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>

#include "master/core/device_recording.h"

class CZelmorDoc;
class QWidget;
class ZelmorConnection;

class DeviceRecorder : public QObject {
  Q_OBJECT

 public:
  // Stops by itself when `connection` is no longer connected.
  explicit DeviceRecorder(ZelmorConnection* connection, QObject* parent = nullptr);

  // Creates `path` and records the windows of `documents` from their next read
  // on. False (and *error saying why) when the file cannot be created.
  bool start(const QString& path, const QList<CZelmorDoc*>& documents, QString* error);
  void stop();
  bool active() const { return recording_.active(); }
  std::uint64_t rows() const { return recording_.rows(); }
  // A failed write's message box sits over this window.
  void setMessageParent(QWidget* parent) { messageParent_ = parent; }

 signals:
  // Started or ended (a failed write ends it too).
  void activeChanged(bool active);

 private:
  void take(const CZelmorDoc* document, std::uint16_t result);

  ZelmorConnection* connection_;
  zelmor::DeviceRecording recording_;
  QList<QMetaObject::Connection> feeds_;
  int windowsLeft_ = 0;  // recorded windows still open
  QPointer<QWidget> messageParent_;
};
