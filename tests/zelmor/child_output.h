#pragma once
// Waiting for a line a peer process prints once it serves.
#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>

// Reads what `process` writes on `channel` until the text holds `marker`, the
// process ends or timeoutMs passes; returns all that was read. The process's
// read channel is back on standard output afterwards.
inline QByteArray ReadUntil(QProcess& process, QProcess::ProcessChannel channel, const QByteArray& marker,
                            int timeoutMs) {
  process.setReadChannel(channel);
  QByteArray said;
  QElapsedTimer clock;
  clock.start();
  while (!said.contains(marker) && process.state() == QProcess::Running && clock.elapsed() < timeoutMs) {
    process.waitForReadyRead(100);
    said += channel == QProcess::StandardError ? process.readAllStandardError() : process.readAllStandardOutput();
  }
  process.setReadChannel(QProcess::StandardOutput);
  return said;
}
