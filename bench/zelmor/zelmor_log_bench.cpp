// Data logging under load: 32 poll windows at a 20 ms scan rate, each logging
// every poll (errors too) to its own file, against a libmodbus TCP server in a
// child process. Reports the lines written against the polls completed (they
// must be equal: a lost line is a fault) and how fast the event loop answered
// meanwhile.
//
//   zelmor_log_bench [seconds = 180] [delay between polls in ms = 10]
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>

#include "bench/zelmor/bench_session.h"
#include "master/core/data_log.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace zb = zelmorbench;

namespace {

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
  const zb::Server server = zb::StartServer(false);
  if (server.port == 0) return 1;

  QApplication application(argc, argv);
  zb::BenchSetup setup(server.port, delay);

  int code = 0;
  {
    CZelmorApp app;
    zb::OpenWindows(app);
    QList<CZelmorDoc*> docs;
    QStringList paths;
    for (fw::Document* d : app.mainFrame()->documents()) {
      auto* doc = static_cast<CZelmorDoc*>(d);
      docs << doc;
      paths << setup.path(QString("log%1.txt").arg(docs.size()));
      // Each poll, comma-separated, errors too: every completion is one line.
      doc->dataLog().setSettings({false, 1, zelmor::kLogComma, true});
      doc->dataLog().start(QFile::encodeName(paths.last()).toStdString());
    }
    if (!zb::Connect(app)) {
      code = 1;
    } else {
      std::printf("zelmor data log, %d windows logging each poll, scan rate 20 ms, delay between polls %d ms, %d s\n",
                  zb::kWindows, delay, seconds);
      // A GUI thread blocked by file writes answers the probes late.
      const zb::Probes probes = zb::RunProbed(seconds, 50);
      // Stop polling, then let the views take every notification still queued.
      app.disconnectLink();
      for (int round = 0; round < 20; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

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
      std::printf("polls completed %ld (good %ld), %.1f/s\n", polls, good, double(polls) / seconds);
      std::printf("lines written   %ld, lost %ld, malformed %ld, logs still active %ld of %d\n", lines,
                  polls - lines, malformed, stillLogging, zb::kWindows);
      std::printf("event loop answer median %.2f ms, p99 %.2f ms, worst %.2f ms (%zu probes); CPU %.1f %% of one core\n",
                  probes.at(0.5), probes.at(0.99), probes.worst(), probes.answers.size(), probes.cpuPercent);
      if (lines != polls || malformed != 0 || stillLogging != zb::kWindows || setup.quiet.shown != 0) code = 2;
    }
    app.exitInstance();
  }
  zb::StopServer(server);
  return code;
}
