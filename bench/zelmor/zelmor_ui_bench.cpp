// 32 poll windows at a 20 ms scan rate against a libmodbus TCP server (a child
// process, so its CPU time is not ours). Measures how fast the event loop
// answers while the notifications arrive, and the process's CPU use, first
// with the windows and then with the same 32 polls and no windows (what the
// polling itself needs).
//
//   zelmor_ui_bench [seconds = 10] [delay between polls in ms = 10]
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <cstdio>
#include <modbus/modbus.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "framework/application.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/window_messages.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace {

constexpr int kWindows = 32;
constexpr int kPort = 15502;

// The libmodbus server: one connection at a time, answers until it closes.
[[noreturn]] void ServeForever() {
  modbus_t* context = modbus_new_tcp("127.0.0.1", kPort);
  modbus_mapping_t* mapping = modbus_mapping_new(100, 100, 100, 100);
  for (int i = 0; i < 100; ++i) mapping->tab_registers[i] = static_cast<uint16_t>(i);
  int listener = modbus_tcp_listen(context, 1);
  while (true) {
    if (modbus_tcp_accept(context, &listener) < 0) continue;
    uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
    while (true) {
      int n = modbus_receive(context, query);
      if (n > 0)
        modbus_reply(context, query, n, mapping);
      else if (n < 0)
        break;
    }
    modbus_close(context);
  }
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Sample {
  double cpuPercent = 0;
  std::uint32_t good = 0;
  std::vector<double> answers;  // ms
};

// Runs the event loop for `seconds`, posting a probe every 50 ms and timing its answer.
Sample Measure(int seconds, const std::vector<int>& pollSlots) {
  Sample sample;
  std::uint32_t goodBefore = 0;
  for (int slot : pollSlots) {
    std::uint32_t tx = 0, good = 0;
    masterengine::ReadCounters(slot, &tx, &good);
    goodBefore += good;
  }
  QElapsedTimer wall;
  wall.start();
  double cpuStart = CpuSeconds();
  // Probes come from another thread, as user input would, so a busy GUI
  // thread shows up as a late answer.
  std::atomic<bool> probing{true};
  std::thread prober([&] {
    while (probing.load()) {
      auto sent = std::chrono::steady_clock::now();
      QMetaObject::invokeMethod(
          qApp,
          [&sample, sent] {
            sample.answers.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
  QApplication::exec();
  probing.store(false);
  prober.join();
  QCoreApplication::processEvents();  // answers still queued
  double cpu = CpuSeconds() - cpuStart;
  sample.cpuPercent = 100.0 * cpu / (wall.elapsed() / 1000.0);
  for (int slot : pollSlots) {
    std::uint32_t tx = 0, good = 0;
    masterengine::ReadCounters(slot, &tx, &good);
    sample.good += good;
  }
  sample.good -= goodBefore;
  return sample;
}

void Report(const char* name, Sample s, int seconds) {
  std::sort(s.answers.begin(), s.answers.end());
  double median = s.answers.empty() ? -1 : s.answers[s.answers.size() / 2];
  double worst = s.answers.empty() ? -1 : s.answers.back();
  std::printf("%-14s CPU %5.1f %% of one core  polls/s %7.1f  event-loop answer median %.2f ms, worst %.2f ms (%zu probes)\n",
              name, s.cpuPercent, double(s.good) / seconds, median, worst, s.answers.size());
}

class QuietMessages : public fw::MessageBoxService {
 public:
  fw::MsgResult show(QWidget*, const QString& text, const QString&, fw::MsgIcon, fw::MsgButtons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return fw::MsgResult::Ok;
  }
};

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  int delay = argc > 2 ? std::atoi(argv[2]) : 10;
  pid_t server = fork();
  if (server == 0) ServeForever();

  QApplication application(argc, argv);
  QTemporaryDir dir;
  fw::Profile::setTestDirectory(dir.path());
  fw::InitApplication("zelmor", "zelmor");
  QuietMessages quiet;
  fw::SetMessageBoxService(&quiet);
  fw::Profile& profile = fw::AppProfile();
  profile.writeInt("CommSetup", "Port", 8);
  profile.writeString("CommSetup", "IPAddress", "127.0.0.1");
  profile.writeInt("CommSetup", "ServicePort", kPort);
  profile.writeInt("CommSetup", "DelayBetweenPolls", delay);
  profile.writeInt("PollDefinition", "ScanRate", 20);

  int code = 0;
  {
    CZelmorApp app;
    app.initInstance({});
    for (int i = 1; i < kWindows; ++i) app.mainFrame()->newDocument();
    app.mainFrame()->tile();
    std::vector<int> pollSlots;
    for (fw::Document* d : app.mainFrame()->documents()) pollSlots.push_back(static_cast<CZelmorDoc*>(d)->pollSlot());
    QElapsedTimer wait;
    wait.start();
    // The TCP connect runs in the background: retry until the server (a child just forked) listens.
    while (!app.isConnected() && wait.elapsed() < 5000) {
      if (!app.isConnecting()) app.connectLink(false, nullptr);
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!app.isConnected()) {
      std::fprintf(stderr, "could not connect to the libmodbus server\n");
      code = 1;
    } else {
      std::printf("zelmor, %d windows, scan rate 20 ms, delay between polls %d ms, %d s each\n", kWindows, delay,
                  seconds);
      Report("with windows", Measure(seconds, pollSlots), seconds);
      // The same polls without windows: nothing is posted, nothing painted.
      app.disconnectLink();
      for (fw::Document* d : app.mainFrame()->documents()) static_cast<CZelmorDoc*>(d)->unregisterPoll();
      std::vector<int> bare;
      for (int i = 0; i < kWindows; ++i) {
        int slot = masterengine::RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 20, 1, 3, 0, 10, 0, 0);
        masterengine::SetPollMode(slot, masterengine::kModeContinuous);
        bare.push_back(slot);
      }
      app.mainFrame()->hide();
      app.connectLink(false, nullptr);
      Report("polling only", Measure(seconds, bare), seconds);
      app.disconnectLink();
      for (int slot : bare) masterengine::UnregisterPoll(slot);
    }
    app.exitInstance();
  }
  fw::SetMessageBoxService(nullptr);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return code;
}
