#pragma once
// Plays a device recording into the open slave definitions of the main window:
// adds the windows the recording needs, writes each read's values at its time
// (a timer set to the next due read), marks the replayed cells as moving and
// tells the status bar where the replay is. Runs on the window thread; the
// engine's setters take their lock only for each value.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include "slave/engine/replay.h"

class CMainFrame;

class ReplayRunner : public QObject {
  Q_OBJECT

 public:
  explicit ReplayRunner(CMainFrame* frame);

  // Reads the recording and, when it fits, opens the definitions it needs and
  // starts playing (a running replay stops first). False with *error and
  // nothing changed for a file that cannot be read or parsed or that needs more
  // definitions than can be served.
  bool start(const QString& path, int speed, bool loop, QString* error);
  // Stops playing; the values written stay.
  void stop();
  bool running() const { return running_; }
  // "Replaying NAME, 12.3 s of 60.0 s"; "" when no replay runs.
  QString statusText() const;

 signals:
  void stateChanged();

 private:
  void step();
  void markCells(bool on);

  CMainFrame* frame_;
  replay::Player player_;
  QString name_;
  QElapsedTimer clock_;
  QTimer timer_;
  bool running_ = false;
};
