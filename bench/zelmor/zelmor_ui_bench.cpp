// 32 poll windows at a 20 ms scan rate against a libmodbus TCP server (a child
// process, so its CPU time is not ours). Measures how fast the event loop
// answers while the notifications arrive, and the process's CPU use, first
// with the windows and then with the same 32 polls and no windows (what the
// polling itself needs).
//
//   zelmor_ui_bench [seconds = 10] [delay between polls in ms = 10]
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/zelmor/bench_session.h"
#include "framework/window_messages.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"

namespace zb = zelmorbench;

namespace {

void Report(const char* name, const std::vector<int>& pollSlots, int seconds) {
  const std::uint32_t before = zb::GoodPolls(pollSlots);
  const zb::Probes probes = zb::RunProbed(seconds, 50);
  const std::uint32_t good = zb::GoodPolls(pollSlots) - before;
  std::printf("%-14s CPU %5.1f %% of one core  polls/s %7.1f  event-loop answer median %.2f ms, worst %.2f ms (%zu probes)\n",
              name, probes.cpuPercent, double(good) / seconds, probes.at(0.5), probes.worst(), probes.answers.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  const int delay = argc > 2 ? std::atoi(argv[2]) : 10;
  const zb::Server server = zb::StartServer(false);
  if (server.port == 0) return 1;

  QApplication application(argc, argv);
  zb::BenchSetup setup(server.port, delay);

  int code = 0;
  {
    CZelmorApp app;
    zb::OpenWindows(app);
    if (!zb::Connect(app)) {
      code = 1;
    } else {
      std::printf("zelmor, %d windows, scan rate 20 ms, delay between polls %d ms, %d s each\n", zb::kWindows, delay,
                  seconds);
      Report("with windows", zb::WindowPollSlots(app), seconds);
      // The same polls without windows: nothing is posted, nothing painted.
      app.disconnectLink();
      for (fw::Document* d : app.mainFrame()->documents()) static_cast<CZelmorDoc*>(d)->unregisterPoll();
      std::vector<int> bare;
      for (int i = 0; i < zb::kWindows; ++i) {
        int slot = masterengine::RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 20, 1, 3, 0, 10, 0, 0);
        masterengine::SetPollMode(slot, masterengine::kModeContinuous);
        bare.push_back(slot);
      }
      app.mainFrame()->hide();
      app.connectLink(false, nullptr);
      Report("polling only", bare, seconds);
      app.disconnectLink();
      for (int slot : bare) masterengine::UnregisterPoll(slot);
    }
    app.exitInstance();
  }
  zb::StopServer(server);
  return code;
}
