// Data logging under load: 32 poll windows at a 20 ms scan rate, each logging
// every poll (errors too) to its own file, against a libmodbus TCP server in a
// child process. Reports the lines written against the polls completed (they
// must be equal: a lost line is a fault) and how fast the event loop answered
// meanwhile. With "record": each window also has a register map attached, the
// name column on and the log in its long form (two header rows), and Setup >
// Record Device records every window into one file at the same time: its rows
// must equal the good polls the windows took while it ran.
//
//   zelmor_log_bench [seconds = 180] [delay between polls in ms = 10] [record]
#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/zelmor/bench_session.h"
#include "master/core/data_log.h"
#include "common/register_map.h"
#include "master/app/device_recorder.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"

namespace zb = zelmorbench;

namespace {

struct FileCount {
  long lines = 0;
  long malformed = 0;  // a line without the window's address or cut short
};

// headerRows: the rows before the first line (the long form's header and names).
FileCount CountLines(const QString& path, int headerRows) {
  FileCount count;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return count;
  for (int row = 0; row < headerRows && !file.atEnd(); ++row) file.readLine();
  while (!file.atEnd()) {
    const QByteArray line = file.readLine();
    ++count.lines;
    if (!line.endsWith('\n') || !line.contains(",<40001>,")) ++count.malformed;
  }
  return count;
}

long RecordingRows(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return -1;
  long rows = -1;  // the header is no row
  while (!file.atEnd()) rows += file.readLine().endsWith('\n') ? 1 : 0;
  return rows;
}

// A name for each of the ten registers a bench window polls.
regmap::RegisterMap BenchMap() {
  regmap::RegisterMap map;
  for (int k = 0; k < 10; ++k) {
    regmap::Entry e;
    e.address = k;
    e.name = "Register " + std::to_string(k);
    e.unit = "bar";
    map.entries.push_back(e);
  }
  return map;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 180;
  const int delay = argc > 2 ? std::atoi(argv[2]) : 10;
  const bool record = argc > 3 && std::strcmp(argv[3], "record") == 0;
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
      doc->dataLog().setSettings({false, 1, zelmor::kLogComma, true, record});
      if (record) doc->setRegisterMap("bench.map.csv", BenchMap());
      doc->dataLog().start(QFile::encodeName(paths.last()).toStdString());
    }
    CZelmorView::setNamesShown(record);
    const QString recordingPath = setup.path("recording.csv");
    long recordedPolls = 0;  // good polls the windows took while the recording ran
    if (!zb::Connect(app)) {
      code = 1;
    } else {
      std::printf("zelmor data log, %d windows logging each poll, scan rate 20 ms, delay between polls %d ms, %d s%s\n",
                  zb::kWindows, delay, seconds, record ? ", map names in the header, recording all windows" : "");
      DeviceRecorder* recorder = app.mainFrame()->recorder();
      QString error;
      if (record && !recorder->start(recordingPath, docs, &error)) std::fprintf(stderr, "%s\n", qPrintable(error));
      for (CZelmorDoc* doc : docs)
        QObject::connect(doc, &CZelmorDoc::pollTaken, [&recordedPolls, recorder](std::uint16_t result) {
          if (result == 0 && recorder->active()) ++recordedPolls;
        });
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
        const FileCount count = CountLines(paths[i], record ? 2 : 0);
        lines += count.lines;
        malformed += count.malformed;
      }
      std::printf("polls completed %ld (good %ld), %.1f/s\n", polls, good, double(polls) / seconds);
      std::printf("lines written   %ld, lost %ld, malformed %ld, logs still active %ld of %d\n", lines,
                  polls - lines, malformed, stillLogging, zb::kWindows);
      std::printf("event loop answer median %.2f ms, p99 %.2f ms, worst %.2f ms (%zu probes); CPU %.1f %% of one core\n",
                  probes.at(0.5), probes.at(0.99), probes.worst(), probes.answers.size(), probes.cpuPercent);
      if (lines != polls || malformed != 0 || stillLogging != zb::kWindows || setup.quiet.shown != 0) code = 2;
      if (record) {
        const long rows = RecordingRows(recordingPath);
        std::printf("recording rows  %ld, good polls while recording %ld, lost %ld\n", rows, recordedPolls,
                    recordedPolls - rows);
        if (rows != recordedPolls || recordedPolls == 0) code = 2;
      }
    }
    app.exitInstance();
  }
  zb::StopServer(server);
  return code;
}
