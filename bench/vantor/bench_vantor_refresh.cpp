// vantor under load, run by hand: 32 windows of 2048 holding registers, every
// register on auto-increment, all windows painted, while a libmodbus master
// reads 125 registers at full speed over Modbus/TCP. Reports how late the GUI
// event loop answers and the master's request latencies, next to the same
// master against a libmodbus server in the same run. Then the same windows with
// every register simulated (random, ramp, sine, toggle), with a recording of
// all their registers every 100 ms replayed into them, and with that recording
// as the simulation rule of every window.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
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

#include "common/modbus_protocol.h"
#include "common/recording.h"
#include "framework/application.h"
#include "framework/profile.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "slave/app/main_frame.h"
#include "slave/app/replay_runner.h"
#include "slave/engine/replay.h"
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

// The event loop's answer: how late a 10 ms timer fires while the master reads
// for kSeconds and every served request and refresh repaints its window.
void Measure(QApplication& application, int port, const char* name, int limitMs) {
  // Let the windows settle (first layout and paint of 32 windows) before measuring.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 1500) application.processEvents(QEventLoop::AllEvents, 50);
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
  while (running.load()) application.processEvents(QEventLoop::AllEvents, 5);
  master.join();
  probe.stop();

  underLoad.report(name);
  std::sort(lateness.begin(), lateness.end());
  if (!lateness.empty())
    std::printf("event loop: %zu probes, median late %.1f ms, p99 %.1f ms, max %.1f ms (limit %d ms)\n",
                lateness.size(), lateness[lateness.size() / 2], lateness[(lateness.size() - 1) * 99 / 100],
                lateness.back(), limitMs);
}

// Window w's rule over all its registers: random, ramp, sine and toggle in turn.
QString SimulationRule(int w) {
  const QString range = QStringLiteral("%1:3:0-%2:").arg(1 + w).arg(kRegisters - 1);
  switch (w % 4) {
    case 0: return range + QStringLiteral("random:0:1000");
    case 1: return range + QStringLiteral("ramp:0:1000:5000");
    case 2: return range + QStringLiteral("sine:500:400:3000");
    default: return range + QStringLiteral("toggle:700");
  }
}

// Every register of the 32 windows (units 1..32, 125 per row) every 100 ms for
// kSeconds: each refresh of the replay writes 32 x 2048 registers.
void WriteRecording(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  file.write(recording::kHeader);
  file.write("\n");
  for (int t = 0; t < kSeconds * 10; ++t) {
    for (int w = 0; w < kWindows; ++w) {
      for (int first = 0; first < kRegisters; first += modbus::MAX_READ_REGISTERS) {
        recording::Sample s;
        s.elapsedMs = static_cast<std::uint64_t>(t) * 100;
        s.unit = 1 + w;
        s.table = modbus::FC_READ_HOLDING_REGISTERS;
        s.address = first;
        for (int i = first; i < std::min(first + modbus::MAX_READ_REGISTERS, kRegisters); ++i)
          s.values.push_back(static_cast<std::uint16_t>(t * 31 + i));
        file.write(recording::FormatSample("2026-12-08 12:00:00.000", s).c_str());
        file.write("\n");
      }
    }
  }
}

// The window thread's share of one replay step, apart from painting: the same
// recording stepped by hand, 100 ms apart, into the 32 windows and their slots.
void TimeReplaySteps(VantorProgram& program, const QString& path) {
  recording::Recording loaded;
  std::string error;
  QElapsedTimer clock;
  clock.start();
  if (!recording::LoadRecording(path.toStdString(), &loaded, &error)) return;
  const qint64 loadMs = clock.elapsed();
  std::vector<replay::Target> targets;
  for (fw::Document* d : program.mainFrame->documents())
    targets.push_back(static_cast<CVantorDoc*>(d)->replayTarget());
  replay::Player player;
  const std::size_t rows = loaded.samples.size();
  replay::Start(&player, std::move(loaded), 1, true);
  std::vector<double> ms, paint;
  for (int t = 0; t < kSeconds * 10; ++t) {
    clock.restart();
    replay::Step(&player, static_cast<std::uint64_t>(t) * 100, targets.data(), static_cast<int>(targets.size()));
    ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
    // The repaint that follows it: every window's values.
    clock.restart();
    for (fw::Document* d : program.mainFrame->documents()) d->updateAllViews(kHintValues);
    QApplication::processEvents();
    paint.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
  }
  std::sort(ms.begin(), ms.end());
  std::sort(paint.begin(), paint.end());
  std::printf("replay step (%zu rows, loaded in %lld ms): 32 x 2048 registers, median %.2f ms, max %.2f ms; "
              "repaint of the 32 windows: median %.2f ms, max %.2f ms\n",
              rows, static_cast<long long>(loadMs), ms[ms.size() / 2], ms.back(),
              paint[paint.size() / 2], paint.back());
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

  Measure(application, port, "vantor, 32 x 2048 auto-inc", 50);

  // 32 definitions whose every register follows a simulation rule (random, ramp,
  // sine, toggle in turn), the auto-increment flags off.
  for (int w = 0; w < kWindows; ++w) {
    auto* doc = static_cast<CVantorDoc*>(program.mainFrame->documents().value(w));
    for (int i = 0; i < kRegisters; ++i) doc->editRegister(i, 0, false);
    QString error;
    if (!doc->setSimulationText(SimulationRule(w), &error)) {
      std::printf("simulation rule refused: %s\n", qPrintable(error));
      return 1;
    }
  }
  Measure(application, port, "vantor, 32 x 2048 simulated", 16);

  // The same windows without rules, a recording of all their registers every
  // 100 ms replayed into them.
  for (int w = 0; w < kWindows; ++w) {
    QString error;
    static_cast<CVantorDoc*>(program.mainFrame->documents().value(w))->setSimulationText(QString(), &error);
  }
  const QString recordingPath = dir.filePath(QStringLiteral("bench.csv"));
  WriteRecording(recordingPath);
  QString error;
  if (!program.mainFrame->replayRunner()->start(recordingPath, 1, true, &error)) {
    std::printf("replay refused: %s\n", qPrintable(error));
    return 1;
  }
  Measure(application, port, "vantor, 32 x 2048 replayed", 16);
  program.mainFrame->replayRunner()->stop();
  TimeReplaySteps(program, recordingPath);

  // The recording as every window's simulation rule (recording:FILE).
  for (int w = 0; w < kWindows; ++w) {
    const QString rule = QStringLiteral("%1:3:0-%2:recording:%3").arg(1 + w).arg(kRegisters - 1).arg(recordingPath);
    if (!static_cast<CVantorDoc*>(program.mainFrame->documents().value(w))->setSimulationText(rule, &error)) {
      std::printf("recording rule refused: %s\n", qPrintable(error));
      return 1;
    }
  }
  Measure(application, port, "vantor, 32 x 2048 recording rules", 16);
  program.app->disconnectLink();
  return 0;
}
