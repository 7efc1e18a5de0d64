#pragma once
// Headless vantor as the slave of zelmor's window tests: started on a free
// loopback port, its traffic output shows the frames that arrived; stopped by
// its pid.
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

// Headless vantor on a free loopback port, printing its traffic.
class VantorPeer {
 public:
  ~VantorPeer() {
    process_.kill();  // by pid, the process started here
    process_.waitForFinished(5000);
  }
  // definitions: the --slave arguments (ID:TABLE:ADDRESS:LENGTH).
  bool start(const QStringList& definitions = {"1:3:0:10"}) {
    QStringList args{"--headless"};
    for (const QString& d : definitions) args << "--slave" << d;
    args << "--tcp" << "127.0.0.1:0" << "--traffic";
    process_.start(VANTOR_BINARY, args);
    if (!process_.waitForStarted(10000)) return false;
    // The ready line comes on standard error.
    process_.setReadChannel(QProcess::StandardError);
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    while (!said.contains('\n') && process_.state() == QProcess::Running && clock.elapsed() < 10000) {
      process_.waitForReadyRead(100);
      said += process_.readAllStandardError();
    }
    process_.setReadChannel(QProcess::StandardOutput);
    if (!said.contains("serving")) return false;
    port_ = static_cast<quint16>(said.mid(said.lastIndexOf(':') + 1).trimmed().toUInt());
    return port_ != 0;
  }
  quint16 port() const { return port_; }
  QString traffic() {
    traffic_ += QString::fromLatin1(process_.readAllStandardOutput());
    return traffic_;
  }

 private:
  QProcess process_;
  quint16 port_ = 0;
  QString traffic_;
};

