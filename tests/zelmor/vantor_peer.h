#pragma once
// Headless vantor on a free loopback port, printing its traffic ("000000-Rx:..."
// lines on standard output); stopped by its pid.
#include <QProcess>
#include <QString>
#include <QStringList>

#include "child_output.h"

class VantorPeer {
 public:
  ~VantorPeer() {
    process_.kill();  // by pid, the process started here
    process_.waitForFinished(5000);
  }
  // definitions: --slave values, ID:TABLE:ADDRESS:LENGTH; extra: further options.
  bool start(const QStringList& definitions = {"1:3:0:10"}, const QStringList& extra = {}) {
    QStringList args{"--headless"};
    for (const QString& d : definitions) args << "--slave" << d;
    args << "--tcp" << "127.0.0.1:0" << "--traffic" << extra;
    process_.start(VANTOR_BINARY, args);
    if (!process_.waitForStarted(10000)) return false;
    // The ready line comes on standard error.
    const QByteArray said = ReadUntil(process_, QProcess::StandardError, "\n", 10000);
    if (!said.contains("serving")) return false;
    port_ = static_cast<quint16>(said.mid(said.lastIndexOf(':') + 1).trimmed().toUInt());
    return port_ != 0;
  }
  quint16 port() const { return port_; }
  QString traffic() {
    traffic_ += QString::fromLatin1(process_.readAllStandardOutput());
    return traffic_;
  }
  // The requests received so far, without their line numbers and MBAP header:
  // "01 06 00 05 00 07" for each frame, in order.
  QStringList requests() {
    QStringList frames;
    for (const QString& line : traffic().split('\n', Qt::SkipEmptyParts)) {
      int at = line.indexOf("-Rx:");
      if (at < 0) continue;
      QStringList bytes = line.mid(at + 4).split(' ', Qt::SkipEmptyParts);
      frames << bytes.mid(6).join(' ');
    }
    return frames;
  }

 private:
  QProcess process_;
  quint16 port_ = 0;
  QString traffic_;
};
