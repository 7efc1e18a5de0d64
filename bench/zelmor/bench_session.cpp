#include "bench/zelmor/bench_session.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "framework/application.h"
#include "framework/profile.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace zelmorbench {
namespace {

[[noreturn]] void ServeForever(bool movingValues, int report) {
  modbus_t* context = modbus_new_tcp("127.0.0.1", 0);
  modbus_mapping_t* mapping = modbus_mapping_new(100, 100, 100, 100);
  for (int i = 0; i < 100; ++i) mapping->tab_registers[i] = static_cast<uint16_t>(i);
  int listener = modbus_tcp_listen(context, 1);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  const std::uint16_t port = listener < 0 ? 0 : ntohs(bound.sin_port);
  if (write(report, &port, sizeof port) != sizeof port) _exit(1);
  close(report);
  while (true) {
    if (modbus_tcp_accept(context, &listener) < 0) continue;
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (true) {
      int n = modbus_receive(context, query);
      if (n > 0) {
        if (movingValues)
          for (int i = 0; i < 10; ++i) mapping->tab_registers[i] = static_cast<uint16_t>(mapping->tab_registers[i] + i + 1);
        modbus_reply(context, query, n, mapping);
      } else if (n < 0) {
        break;
      }
    }
    modbus_close(context);
  }
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

Server StartServer(bool movingValues) {
  Server server;
  int portPipe[2];
  if (pipe(portPipe) != 0) return server;
  server.pid = fork();
  if (server.pid == 0) {
    close(portPipe[0]);
    ServeForever(movingValues, portPipe[1]);
  }
  close(portPipe[1]);
  if (read(portPipe[0], &server.port, sizeof server.port) != sizeof server.port) server.port = 0;
  close(portPipe[0]);
  if (server.port == 0) std::fprintf(stderr, "the libmodbus server did not start\n");
  return server;
}

void StopServer(const Server& server) {
  if (server.pid <= 0) return;
  kill(server.pid, SIGTERM);
  waitpid(server.pid, nullptr, 0);
}

BenchSetup::BenchSetup(std::uint16_t port, int delayBetweenPolls) {
  fw::Profile::setTestDirectory(dir_.path());
  fw::InitApplication("zelmor", "zelmor");
  fw::SetMessageBoxService(&quiet);
  fw::Profile& profile = fw::AppProfile();
  profile.writeInt("CommSetup", "Port", 8);
  profile.writeString("CommSetup", "IPAddress", "127.0.0.1");
  profile.writeInt("CommSetup", "ServicePort", port);
  profile.writeInt("CommSetup", "DelayBetweenPolls", delayBetweenPolls);
  profile.writeInt("PollDefinition", "ScanRate", 20);
}

BenchSetup::~BenchSetup() { fw::SetMessageBoxService(nullptr); }

void OpenWindows(CZelmorApp& app) {
  app.initInstance({});
  for (int i = 1; i < kWindows; ++i) app.mainFrame()->newDocument();
  app.mainFrame()->tile();
}

bool Connect(CZelmorApp& app) {
  QElapsedTimer wait;
  wait.start();
  while (!app.isConnected() && wait.elapsed() < 5000) {
    if (!app.isConnecting()) app.connectLink(false, nullptr);
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  if (!app.isConnected()) std::fprintf(stderr, "could not connect to the libmodbus server\n");
  return app.isConnected();
}

std::uint32_t GoodPolls(const std::vector<int>& pollSlots) {
  std::uint32_t total = 0;
  for (int slot : pollSlots) {
    std::uint32_t tx = 0, good = 0;
    masterengine::ReadCounters(slot, &tx, &good);
    total += good;
  }
  return total;
}

std::vector<int> WindowPollSlots(CZelmorApp& app) {
  std::vector<int> result;
  for (fw::Document* d : app.mainFrame()->documents()) result.push_back(static_cast<CZelmorDoc*>(d)->pollSlot());
  return result;
}

double Probes::at(double quantile) const {
  if (answers.empty()) return -1;
  return answers[std::min(answers.size() - 1, static_cast<std::size_t>(quantile * answers.size()))];
}

Probes RunProbed(int seconds, int probeMs) {
  Probes probes;
  QElapsedTimer wall;
  wall.start();
  const double cpuStart = CpuSeconds();
  std::atomic<bool> probing{true};
  std::thread prober([&] {
    while (probing.load()) {
      const auto sent = std::chrono::steady_clock::now();
      QMetaObject::invokeMethod(
          qApp,
          [&probes, sent] {
            probes.answers.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_for(std::chrono::milliseconds(probeMs));
    }
  });
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  probing.store(false);
  prober.join();
  QCoreApplication::processEvents();  // answers still queued
  probes.cpuPercent = 100.0 * (CpuSeconds() - cpuStart) / (wall.elapsed() / 1000.0);
  std::sort(probes.answers.begin(), probes.answers.end());
  return probes;
}

fw::MsgResult QuietMessages::show(QWidget*, const QString& text, const QString&, fw::MsgIcon, fw::MsgButtons) {
  std::fprintf(stderr, "message: %s\n", qPrintable(text));
  ++shown;
  return fw::MsgResult::Ok;
}

}  // namespace zelmorbench
