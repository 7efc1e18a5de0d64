#pragma once
// Plays a device recording into the open slave definitions of the main window:
// adds the windows the recording needs, writes each read's values at its time
// (a timer set to the next due read), marks the replayed cells as moving and
// tells the status bar where the replay is. Runs on the window thread; the
// engine's setters take their lock only for each value. The window's command
// reads the file on a worker thread (RecordingReader) and plans the definitions
// once it has arrived.
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

#include "slave/app/recording_reader.h"
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
  // Reads on the calling thread.
  bool start(const QString& path, int speed, bool loop, QString* error);
  // The same, with the file read on a worker thread: returns at once, and
  // readEnded follows on this thread. The definitions open when the file has
  // arrived are the ones planned with. A replay running meanwhile plays on
  // until the new one starts (or stays when the new one fails).
  void startReading(const QString& path, int speed, bool loop);
  bool reading() const { return reader_.busy(); }
  // Stops playing and drops a read in progress; the values written stay.
  void stop();
  bool running() const { return running_; }
  // "Reading NAME..." while a file is read; "Replaying NAME, 12.3 s of 60.0 s"
  // while a replay runs; "" otherwise.
  QString statusText() const;

 signals:
  void stateChanged();
  // A read begun by startReading has ended: error is "" when the replay started,
  // else the reason as start gives it.
  void readEnded(const QString& path, const QString& error);

 private:
  bool play(recording::Recording loaded, const QString& path, int speed, bool loop, QString* error);
  void readFinished(bool ok, std::shared_ptr<recording::Recording> loaded, const QString& error);
  void step();
  void markCells(bool on);

  CMainFrame* frame_;
  replay::Player player_;
  QString name_;
  QElapsedTimer clock_;
  QTimer timer_;
  bool running_ = false;
  RecordingReader reader_;
  // What the read in progress was chosen with.
  QString readPath_;
  int readSpeed_ = 1;
  bool readLoop_ = false;
};
