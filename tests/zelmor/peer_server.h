#pragma once
// Starts the pymodbus test server, on a free loopback port or a serial device,
// and waits until it serves; stops it by its pid.
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "child_output.h"

// A loopback port that was free a moment ago. Kept below 32768 because the
// Connection dialog accepts server ports 1..32767 only.
inline quint16 FreeLoopbackPort() {
  static quint16 next = static_cast<quint16>(20000 + (::getpid() * 7) % 10000);
  for (int attempt = 0; attempt < 2000; ++attempt) {
    quint16 port = next;
    next = static_cast<quint16>(next >= 32000 ? 20000 : next + 1);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (free) return port;
  }
  return 0;
}

inline bool LoopbackAccepts(quint16 port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

// The pymodbus test server (tests/peers/modbus_peer_server.py) with the
// display-format samples in holding registers 0..3.
class PeerServer {
 public:
  PeerServer() = default;
  ~PeerServer() { stop(); }

  // Modbus/TCP on a free loopback port. False (with the reason in error()) when
  // the server did not come up in time. delayMs: the server waits that long
  // before each answer.
  bool start(int delayMs = 0) {
    port_ = FreeLoopbackPort();
    if (port_ == 0) return fail("no free port");
    QStringList args{"tcp", QString::number(port_)};
    if (delayMs > 0) args << "--delay-ms" << QString::number(delayMs);
    if (!launch(args)) return false;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
      if (process_.state() != QProcess::Running) return fail("server exited");
      if (LoopbackAccepts(port_)) return true;
      QThread::msleep(50);  // retry interval while waiting for the port, not a fixed start delay
    }
    return fail("server did not accept connections");
  }

  // RTU or ASCII ("rtu", "ascii") at 19200 baud on a serial device; true once
  // the server says it has the device open.
  bool startSerial(const QString& framing, const QString& device) {
    if (!launch({framing, device})) return false;
    if (ReadUntil(process_, QProcess::StandardOutput, "READY", 20000).contains("READY")) return true;
    return fail("serial server not ready (its errors are above)");
  }

  // "rtu-over-tcp" or "udp" on a free port of `host` (127.0.0.1 or ::1); true
  // once the server says it listens.
  bool startNetwork(const QString& mode, const QString& host) {
    port_ = FreeLoopbackPort();
    if (port_ == 0) return fail("no free port");
    if (!launch({mode, QString::number(port_), "--host", host})) return false;
    if (ReadUntil(process_, QProcess::StandardOutput, "READY", 20000).contains("READY")) return true;
    return fail("network server not ready (its errors are above)");
  }

  void stop() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();  // by pid, the process we started
      process_.waitForFinished(5000);
    }
  }

  quint16 port() const { return port_; }
  QString error() const { return error_; }

 private:
  bool launch(const QStringList& args) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // Debian's pymodbus belongs to the system interpreter.
    process_.start("/usr/bin/python3", QStringList{MODBUS_PEER_SERVER} + args + QStringList{"--format-samples"});
    return process_.waitForStarted(10000) || fail("python did not start");
  }
  bool fail(const QString& why) {
    error_ = why;
    stop();
    return false;
  }
  QProcess process_;
  quint16 port_ = 0;
  QString error_;
};
