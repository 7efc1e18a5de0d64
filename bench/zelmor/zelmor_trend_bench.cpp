// 32 poll windows at a 20 ms scan rate against a libmodbus TCP server (a child
// process), each with its trend window open on four cells; one of them also
// holds a full hour of history (180 000 samples) shown whole ("All"). Measures
// how fast the event loop answers while samples arrive and the plots redraw,
// first without trend windows and then with them, and the time of one redraw
// of the full-hour plot.
//
//   zelmor_trend_bench [seconds = 10]
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <modbus/modbus.h>
#include <signal.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "framework/application.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "master/app/main_frame.h"
#include "master/app/trend_window.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace {

constexpr int kWindows = 32;
constexpr int kPort = 15503;

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
      if (n > 0) {
        // Values that move, so the plots have something to draw.
        for (int i = 0; i < 10; ++i) mapping->tab_registers[i] = static_cast<uint16_t>(mapping->tab_registers[i] + i + 1);
        modbus_reply(context, query, n, mapping);
      } else if (n < 0) {
        break;
      }
    }
    modbus_close(context);
  }
}

struct Sample {
  std::uint32_t good = 0;
  std::vector<double> answers;  // ms
};

Sample Measure(int seconds, const std::vector<int>& pollSlots) {
  Sample sample;
  auto goodNow = [&] {
    std::uint32_t total = 0;
    for (int slot : pollSlots) {
      std::uint32_t tx = 0, good = 0;
      masterengine::ReadCounters(slot, &tx, &good);
      total += good;
    }
    return total;
  };
  const std::uint32_t before = goodNow();
  // Probes come from another thread, as user input would.
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
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  // A local loop: quitting the application would close the windows (and their documents).
  QEventLoop loop;
  QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
  loop.exec();
  probing.store(false);
  prober.join();
  QCoreApplication::processEvents();
  sample.good = goodNow() - before;
  return sample;
}

void Report(const char* name, Sample s, int seconds) {
  std::sort(s.answers.begin(), s.answers.end());
  auto at = [&](double q) { return s.answers.empty() ? -1 : s.answers[std::min(s.answers.size() - 1, std::size_t(q * s.answers.size()))]; };
  std::printf("%-22s polls/s %7.1f  event-loop answer median %.2f ms, p99 %.2f ms, worst %.2f ms (%zu probes)\n", name,
              double(s.good) / seconds, at(0.5), at(0.99), s.answers.empty() ? -1 : s.answers.back(),
              s.answers.size());
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
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
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
  profile.writeInt("CommSetup", "DelayBetweenPolls", 0);
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
    while (!app.isConnected() && wait.elapsed() < 5000) {
      if (!app.isConnecting()) app.connectLink(false, nullptr);
      QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (!app.isConnected()) {
      std::fprintf(stderr, "could not connect to the libmodbus server\n");
      code = 1;
    } else {
      std::printf("zelmor, %d windows, scan rate 20 ms, no delay between polls, %d s each\n", kWindows, seconds);
      Report("without trend windows", Measure(seconds, pollSlots), seconds);

      std::vector<CTrendWindow*> trends;
      for (fw::Document* d : app.mainFrame()->documents()) {
        CTrendWindow* t = CTrendWindow::openFor(static_cast<CZelmorDoc*>(d), app.mainFrame());
        t->setChosenCells({0, 1, 2, 3});
        trends.push_back(t);
      }
      // The first one with an hour of history at 20 ms behind the live samples.
      CTrendWindow* full = trends.front();
      const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch());
      for (std::size_t i = 0; i < zelmor::kTrendCapacity; ++i) {
        double t = now - 3600e3 + 20.0 * i;
        double values[4] = {std::sin(i / 500.0) * 1000, double(i % 997), i % 50000 == 0 ? 5e4 : 0.0, -double(i)};
        full->appendSample(t, values);
      }
      full->spanBox()->setCurrentIndex(3);  // All
      QElapsedTimer redraw;
      redraw.start();
      full->refresh();
      std::printf("one redraw of the full hour (%zu samples x 4 cells): %.2f ms, %d points plotted per cell\n",
                  full->buffer().size(), redraw.nsecsElapsed() / 1e6, full->plottedPoints(0));
      // One redraw with its painting, of a full-hour window and of a live one.
      for (CTrendWindow* w : {full, trends.back()}) {
        QCoreApplication::processEvents();
        QElapsedTimer paint;
        paint.start();
        w->refresh();
        w->repaint();
        std::printf("redraw and paint of a window with %zu samples: %.2f ms\n", w->buffer().size(),
                    paint.nsecsElapsed() / 1e6);
      }
      Report("with 32 trend windows", Measure(seconds, pollSlots), seconds);
    }
    app.disconnectLink();
    app.exitInstance();
  }
  fw::SetMessageBoxService(nullptr);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return code;
}
