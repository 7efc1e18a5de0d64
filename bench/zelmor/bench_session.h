#pragma once
// What the zelmor benches share: a libmodbus TCP server in a child process (so
// its CPU time is not the bench's), a zelmor with 32 poll windows connected to
// it, and probes of how fast the event loop answers.
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <sys/types.h>
#include <vector>

#include "framework/message_box.h"

class CZelmorApp;

namespace zelmorbench {

constexpr int kWindows = 32;

struct Server {
  pid_t pid = -1;
  std::uint16_t port = 0;  // 0: the server did not start
};
// A libmodbus server on a free loopback port, one connection at a time, 100 of
// each table, register i holding i. movingValues: registers 0..9 change with
// every request, so plots have something to draw.
Server StartServer(bool movingValues);
void StopServer(const Server& server);

// initInstance, then kWindows poll windows tiled.
void OpenWindows(CZelmorApp& app);
// Connects (the connect runs in the background: retried until the server
// listens); false after a message on stderr.
bool Connect(CZelmorApp& app);
// Good transactions of the slots so far.
std::uint32_t GoodPolls(const std::vector<int>& pollSlots);
// The poll slots of the open windows.
std::vector<int> WindowPollSlots(CZelmorApp& app);

struct Probes {
  double cpuPercent = 0;        // of one core, over the run
  std::vector<double> answers;  // ms, sorted
  double at(double quantile) const;  // -1 without probes
  double worst() const { return answers.empty() ? -1 : answers.back(); }
};
// Runs a local event loop for `seconds` (QCoreApplication::quit would close
// the windows) while another thread posts a probe every probeMs, as user input
// would come: a busy GUI thread shows up as a late answer.
Probes RunProbed(int seconds, int probeMs);

// Message boxes go to stderr and are counted, so the bench never waits for a click.
class QuietMessages : public fw::MessageBoxService {
 public:
  fw::MsgResult show(QWidget*, const QString& text, const QString&, fw::MsgIcon, fw::MsgButtons) override;
  int shown = 0;
};

// The bench's own zelmor: settings in a temporary folder (Modbus/TCP to the
// server, scan rate 20 ms, the delay between polls given) and quiet message
// boxes, for as long as it lives. Made after the QApplication.
class BenchSetup {
 public:
  BenchSetup(std::uint16_t port, int delayBetweenPolls);
  ~BenchSetup();
  BenchSetup(const BenchSetup&) = delete;
  BenchSetup& operator=(const BenchSetup&) = delete;
  QString path(const QString& name) const { return dir_.filePath(name); }
  QuietMessages quiet;

 private:
  QTemporaryDir dir_;
};

}  // namespace zelmorbench
