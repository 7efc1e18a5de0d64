// zelmor --headless --scan: walks the slave ids and line settings of the scan
// plan through the engine's one-shot slot and prints one line per device found.
#include <chrono>
#include <cstdio>

#include "master/core/bus_scan_engine.h"
#include "master/core/register_scan.h"
#include "master/engine/comm_interface.h"
#include "master/headless/headless.h"

namespace zelmor {

int RunScanWalk(const HeadlessOptions& options, const std::function<bool(int, std::uint16_t*)>& wait,
                platform::WindowHandle window, const std::function<bool()>& stopRequested) {
  busscan::ScanState state;
  busscan::StartScan(&state, options.scanPlan);
  const auto started = std::chrono::steady_clock::now();
  busscan::Combination c;
  busscan::StepKind step;
  while ((step = busscan::NextStep(state, &c)) != busscan::StepKind::kDone) {
    if (stopRequested()) {
      busscan::StopScan(&state);
      break;
    }
    if (step == busscan::StepKind::kOpenLine) {
      std::string failure = busscan::OpenScanLine(options.settings, state.plan, c.line, false);
      busscan::LineOpened(&state, c.lineIndex, failure.empty(), failure);
      continue;
    }
    std::uint16_t result = masterengine::RESULT_NO_CONNECTION;
    if (busscan::SubmitProbe(window, platform::WM_ENGINE_NOTIFY, state.plan, c) != 1 ||
        !wait(busscan::ProbeWaitBoundMs(state.plan, options.settings), &result)) {
      if (stopRequested()) break;
      result = masterengine::RESULT_NO_CONNECTION;
    }
    busscan::ProbeResult r = busscan::CollectProbe(state.plan, c, result);
    busscan::RecordProbe(&state, r);
    if (busscan::IsPresent(r.outcome)) {
      std::printf("%s\n", busscan::ResultLine(r, state.plan.tcp).c_str());
      std::fflush(stdout);
    }
  }
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  const std::string warning = busscan::GatewayWarning(state);
  if (!warning.empty()) std::fprintf(stderr, "zelmor: %s\n", warning.c_str());
  std::fprintf(stderr, "zelmor: scan %s: %zu found in %ld of %ld probes, %.1f s\n",
               state.failure.empty() ? (state.next < busscan::TotalProbes(state.plan) ? "stopped" : "done") : "failed",
               state.found.size(), state.next, busscan::TotalProbes(state.plan), elapsed.count() / 1000.0);
  if (!state.failure.empty()) {
    std::fprintf(stderr, "zelmor: %s\n", state.failure.c_str());
    return kExitConnectFailed;
  }
  return state.found.empty() ? kExitNothingFound : kExitOk;
}

int RunRegisterScanWalk(const HeadlessOptions& options, const std::function<bool(int, std::uint16_t*)>& wait,
                        platform::WindowHandle window, const std::function<bool()>& stopRequested) {
  regscan::RegisterScanState state;
  regscan::StartRegisterScan(&state, options.registerScanPlan);
  std::vector<std::uint16_t> values(modbus::MAX_READ_BITS);
  busscan::ScanPlan bound;
  bound.timeoutMs = options.settings.timeout;
  int address = 0, count = 0;
  while (regscan::NextRead(state, &address, &count)) {
    std::uint16_t result = masterengine::RESULT_NO_CONNECTION;
    if (busscan::SubmitRegisterRead(window, platform::WM_ENGINE_NOTIFY, state.plan, address, count) != 1 ||
        !wait(busscan::ProbeWaitBoundMs(bound, options.settings), &result)) {
      if (stopRequested()) break;
      result = masterengine::RESULT_NO_CONNECTION;
    }
    if (result == masterengine::RESULT_OK) busscan::CollectRegisterRead(state.plan, count, values.data());
    regscan::RecordRead(&state, result, values.data());
  }
  std::printf("%s\n", regscan::CsvHeader().c_str());
  for (const regscan::Block& block : state.readable) std::printf("%s\n", regscan::CsvLine(block).c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "zelmor: register scan %s: %zu readable blocks, %ld reads\n",
               state.failure.empty() ? "done" : "failed", state.readable.size(), state.requests);
  if (!state.failure.empty()) {
    std::fprintf(stderr, "zelmor: %s\n", state.failure.c_str());
    return kExitConnectFailed;
  }
  return state.readable.empty() ? kExitNothingFound : kExitOk;
}

}  // namespace zelmor
