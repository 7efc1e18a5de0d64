#pragma once
// Reads and parses a device recording on a worker thread, so that a file of
// hundreds of megabytes never holds up the window. The result comes back on the
// window thread (finished); a read that is abandoned or outlived by this object
// ends on its own and its result is dropped, so closing the program never waits
// for it.
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "common/recording.h"

class RecordingReader : public QObject {
  Q_OBJECT

 public:
  explicit RecordingReader(QObject* parent = nullptr) : QObject(parent) {}
  ~RecordingReader() override;

  // Starts reading path; a read still running is abandoned first.
  void begin(const QString& path);
  // Drops the running read: its result will not arrive.
  void abandon();
  bool busy() const { return pending_ != nullptr; }
  // Worker threads that have not ended yet, abandoned ones included.
  static int workersRunning();

 signals:
  // The read begun last has ended: ok with the recording, or not with the
  // reader's message ("line L, column C (NAME): what").
  void finished(bool ok, std::shared_ptr<recording::Recording> loaded, QString error);

 private:
  struct Pending;
  void arrived(const std::shared_ptr<Pending>& pending);

  std::shared_ptr<Pending> pending_;
};
