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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/zelmor/bench_session.h"
#include "master/app/main_frame.h"
#include "master/app/trend_window.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"

namespace zb = zelmorbench;

namespace {

void Report(const char* name, const std::vector<int>& pollSlots, int seconds) {
  const std::uint32_t before = zb::GoodPolls(pollSlots);
  const zb::Probes probes = zb::RunProbed(seconds, 20);
  const std::uint32_t good = zb::GoodPolls(pollSlots) - before;
  std::printf("%-22s polls/s %7.1f  event-loop answer median %.2f ms, p99 %.2f ms, worst %.2f ms (%zu probes)\n", name,
              double(good) / seconds, probes.at(0.5), probes.at(0.99), probes.worst(), probes.answers.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const zb::Server server = zb::StartServer(true);
  if (server.port == 0) return 1;

  QApplication application(argc, argv);
  zb::BenchSetup setup(server.port, 0);

  int code = 0;
  {
    CZelmorApp app;
    zb::OpenWindows(app);
    const std::vector<int> pollSlots = zb::WindowPollSlots(app);
    if (!zb::Connect(app)) {
      code = 1;
    } else {
      std::printf("zelmor, %d windows, scan rate 20 ms, no delay between polls, %d s each\n", zb::kWindows, seconds);
      Report("without trend windows", pollSlots, seconds);

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
      Report("with 32 trend windows", pollSlots, seconds);
    }
    app.disconnectLink();
    app.exitInstance();
  }
  zb::StopServer(server);
  return code;
}
