// vantor under load, run by hand: 32 windows of 2048 holding registers, every
// register on auto-increment, all windows painted, while a libmodbus master
// reads 125 registers at full speed over Modbus/TCP. Reports how late the GUI
// event loop answers and the master's request latencies, next to the same
// master against a libmodbus server in the same run.
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <thread>
#include <vector>

#include "framework/application.h"
#include "framework/profile.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "slave/app/main_frame.h"
#include "slave/app/startup.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/engine/tcp_server.h"

namespace {

constexpr int kWindows = 32;
constexpr int kRegisters = 2048;
constexpr int kSeconds = 10;

struct Latencies {
  std::vector<double> ms;
  int failures = 0;
  void report(const char* name) {
    std::sort(ms.begin(), ms.end());
    if (ms.empty()) {
      std::printf("%-28s no replies (%d failures)\n", name, failures);
      return;
    }
    auto at = [&](double q) { return ms[static_cast<std::size_t>(q * (ms.size() - 1))]; };
    std::printf("%-28s %7zu requests, %6.0f/s, median %.3f ms, p99 %.3f ms, max %.3f ms, %d failures\n", name,
                ms.size(), ms.size() / double(kSeconds), at(0.5), at(0.99), ms.back(), failures);
  }
};

// Reads 125 registers back to back for kSeconds.
Latencies RunMaster(int port, int slave, std::atomic<bool>* running) {
  Latencies result;
  modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
  modbus_set_slave(ctx, slave);
  if (modbus_connect(ctx) != 0) {
    result.failures = -1;
    modbus_free(ctx);
    return result;
  }
  std::uint16_t values[125];
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(kSeconds);
  int address = 0;
  while (std::chrono::steady_clock::now() < end) {
    const auto start = std::chrono::steady_clock::now();
    const int n = modbus_read_registers(ctx, address, 125, values);
    const auto stop = std::chrono::steady_clock::now();
    if (n == 125)
      result.ms.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    else
      ++result.failures;
    address = (address + 125) % (kRegisters - 125);
  }
  modbus_close(ctx);
  modbus_free(ctx);
  if (running) running->store(false);
  return result;
}

// The baseline: a libmodbus server answering the same reads.
Latencies RunAgainstLibmodbusServer() {
  modbus_t* server = modbus_new_tcp("127.0.0.1", 0);
  modbus_mapping_t* mapping = modbus_mapping_new(0, 0, kRegisters, 0);
  int listenSocket = modbus_tcp_listen(server, 1);
  sockaddr_in address{};
  socklen_t size = sizeof address;
  getsockname(listenSocket, reinterpret_cast<sockaddr*>(&address), &size);
  const int port = ntohs(address.sin_port);
  std::thread serverThread([&] {
    modbus_tcp_accept(server, &listenSocket);
    std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    for (;;) {
      const int n = modbus_receive(server, query);
      if (n > 0)
        modbus_reply(server, query, n, mapping);
      else if (n == -1)
        break;
    }
  });
  Latencies result = RunMaster(port, 1, nullptr);
  serverThread.join();
  close(listenSocket);
  modbus_mapping_free(mapping);
  modbus_close(server);
  modbus_free(server);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QTemporaryDir dir;
  fw::InstallWindowMessaging();
  fw::SetAppProfile(std::make_unique<fw::Profile>(QStringLiteral("vantor"), dir.filePath("vantor.ini")));
  fw::testing::MessageBoxRecorder boxes;

  std::printf("baseline: the same master against a libmodbus server\n");
  Latencies baseline = RunAgainstLibmodbusServer();
  baseline.report("libmodbus server");

  VantorProgram program;
  StartVantor({}, &program, true);
  program.mainFrame->resize(1600, 1000);
  for (int w = 0; w < kWindows; ++w) {
    auto* doc = w == 0 ? program.mainFrame->activeVantorDoc()
                       : static_cast<CVantorDoc*>(program.mainFrame->newDocument());
    doc->applyDefinition(1 + w, 3, 0, kRegisters);
    for (int i = 0; i < kRegisters; ++i) doc->editRegister(i, static_cast<std::uint16_t>(i * 7), true);
  }
  program.mainFrame->tile();
  program.app->settings().port = 8;
  program.app->setListen(QStringLiteral("127.0.0.1"), 0);
  if (!program.app->connectLink(program.mainFrame.get(), false)) {
    std::printf("vantor could not listen\n");
    return 1;
  }
  const int port = slavetcp::ListeningPort();

  // Let the windows settle (first layout and paint of 32 windows) before measuring.
  {
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1500) application.processEvents(QEventLoop::AllEvents, 50);
  }
  // The event loop's answer: how late a 10 ms timer fires while all this runs.
  std::vector<double> lateness;
  QElapsedTimer clock;
  clock.start();
  qint64 expected = clock.elapsed() + 10;
  QTimer probe;
  probe.setInterval(10);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    lateness.push_back(static_cast<double>(std::max<qint64>(0, now - expected)));
    expected = now + 10;
  });
  probe.start();

  std::atomic<bool> running{true};
  Latencies underLoad;
  std::thread master([&] { underLoad = RunMaster(port, 1, &running); });
  // Every served request and every refresh repaints its window.
  while (running.load()) application.processEvents(QEventLoop::AllEvents, 5);
  master.join();
  probe.stop();

  underLoad.report("vantor, 32 x 2048 auto-inc");
  std::sort(lateness.begin(), lateness.end());
  if (!lateness.empty())
    std::printf("event loop: %zu probes, median late %.1f ms, p99 %.1f ms, max %.1f ms (limit 50 ms)\n",
                lateness.size(), lateness[lateness.size() / 2], lateness[(lateness.size() - 1) * 99 / 100],
                lateness.back());
  program.app->disconnectLink();
  return 0;
}
