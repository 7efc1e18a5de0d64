// Data logging under load: 32 poll windows at a 20 ms scan rate, each logging
// every poll (errors too) to its own file, against a libmodbus TCP server in a
// child process. Reports the lines written against the polls completed (they
// must be equal: a lost line is a fault) and how fast the event loop answered
// meanwhile.
//
//   zelmor_log_bench [seconds = 180] [delay between polls in ms = 10]
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "framework/application.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace {

constexpr int kWindows = 32;

// The libmodbus server on a free loopback port; the port goes to the parent through `report`.
[[noreturn]] void ServeForever(int report) {
  modbus_t* context = modbus_new_tcp("127.0.0.1", 0);
  modbus_mapping_t* mapping = modbus_mapping_new(100, 100, 100, 100);
  for (int i = 0; i < 100; ++i) mapping->tab_registers[i] = static_cast<uint16_t>(i);
  int listener = modbus_tcp_listen(context, 1);
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &length);
  const std::uint16_t port = ntohs(bound.sin_port);
  if (write(report, &port, sizeof port) != sizeof port) _exit(1);
  close(report);
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

class QuietMessages : public fw::MessageBoxService {
 public:
  fw::MsgResult show(QWidget*, const QString& text, const QString&, fw::MsgIcon, fw::MsgButtons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    ++shown;
    return fw::MsgResult::Ok;
  }
  int shown = 0;
};

struct FileCount {
  long lines = 0;
  long malformed = 0;  // a line without the window's address or cut short
};

FileCount CountLines(const QString& path) {
  FileCount count;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return count;
  while (!file.atEnd()) {
    const QByteArray line = file.readLine();
    ++count.lines;
    if (!line.endsWith('\n') || !line.contains(",<40001>,")) ++count.malformed;
  }
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
  const int delay = argc > 2 ? std::atoi(argv[2]) : 10;
  int portPipe[2];
  if (pipe(portPipe) != 0) return 1;
  const pid_t server = fork();
  if (server == 0) {
    close(portPipe[0]);
    ServeForever(portPipe[1]);
  }
  close(portPipe[1]);
  std::uint16_t port = 0;
  if (read(portPipe[0], &port, sizeof port) != sizeof port || port == 0) {
    std::fprintf(stderr, "the libmodbus server did not start\n");
    return 1;
  }
  close(portPipe[0]);

  QApplication application(argc, argv);
  QTemporaryDir dir;
  fw::Profile::setTestDirectory(dir.path());
  fw::InitApplication("zelmor", "zelmor");
  QuietMessages quiet;
  fw::SetMessageBoxService(&quiet);
  fw::Profile& profile = fw::AppProfile();
  profile.writeInt("CommSetup", "Port", 8);
  profile.writeString("CommSetup", "IPAddress", "127.0.0.1");
  profile.writeInt("CommSetup", "ServicePort", port);
  profile.writeInt("CommSetup", "DelayBetweenPolls", delay);
  profile.writeInt("PollDefinition", "ScanRate", 20);

  int code = 0;
  {
    CZelmorApp app;
    app.initInstance({});
    for (int i = 1; i < kWindows; ++i) app.mainFrame()->newDocument();
    app.mainFrame()->tile();
    QList<CZelmorDoc*> docs;
    QStringList paths;
    for (fw::Document* d : app.mainFrame()->documents()) {
      auto* doc = static_cast<CZelmorDoc*>(d);
      docs << doc;
      paths << dir.filePath(QString("log%1.txt").arg(docs.size()));
      // Each poll, comma-separated, errors too: every completion is one line.
      doc->dataLog().setSettings({false, 1, zelmor::kLogComma, true});
      doc->dataLog().start(QFile::encodeName(paths.last()).toStdString());
    }
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
      std::printf("zelmor data log, %d windows logging each poll, scan rate 20 ms, delay between polls %d ms, %d s\n",
                  kWindows, delay, seconds);
      std::vector<double> answers;
      std::atomic<bool> probing{true};
      // Probes from another thread, as user input would come: a GUI thread
      // blocked by file writes answers late.
      std::thread prober([&] {
        while (probing.load()) {
          const auto sent = std::chrono::steady_clock::now();
          QMetaObject::invokeMethod(
              qApp,
              [&answers, sent] {
                answers.push_back(
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - sent).count());
              },
              Qt::QueuedConnection);
          std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
      });
      QElapsedTimer wall;
      wall.start();
      const double cpuStart = CpuSeconds();
      // A loop of its own: QCoreApplication::quit would close the windows.
      QEventLoop loop;
      QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
      loop.exec();
      probing.store(false);
      prober.join();
      // Stop polling, then let the views take every notification still queued.
      app.disconnectLink();
      for (int round = 0; round < 20; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      const double cpuPercent = 100.0 * (CpuSeconds() - cpuStart) / (wall.elapsed() / 1000.0);

      long polls = 0, good = 0, lines = 0, malformed = 0, stillLogging = 0;
      for (int i = 0; i < docs.size(); ++i) {
        std::uint32_t tx = 0, goodCount = 0;
        masterengine::ReadCounters(docs[i]->pollSlot(), &tx, &goodCount);
        polls += tx;
        good += goodCount;
        stillLogging += docs[i]->dataLog().active() ? 1 : 0;
        docs[i]->dataLog().stop();
        const FileCount count = CountLines(paths[i]);
        lines += count.lines;
        malformed += count.malformed;
      }
      std::sort(answers.begin(), answers.end());
      const double median = answers.empty() ? -1 : answers[answers.size() / 2];
      const double p99 = answers.empty() ? -1 : answers[answers.size() * 99 / 100];
      const double worst = answers.empty() ? -1 : answers.back();
      std::printf("polls completed %ld (good %ld), %.1f/s\n", polls, good, double(polls) / seconds);
      std::printf("lines written   %ld, lost %ld, malformed %ld, logs still active %ld of %d\n", lines,
                  polls - lines, malformed, stillLogging, kWindows);
      std::printf("event loop answer median %.2f ms, p99 %.2f ms, worst %.2f ms (%zu probes); CPU %.1f %% of one core\n",
                  median, p99, worst, answers.size(), cpuPercent);
      if (lines != polls || malformed != 0 || stillLogging != kWindows || quiet.shown != 0) code = 2;
    }
    app.exitInstance();
  }
  fw::SetMessageBoxService(nullptr);
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  return code;
}
