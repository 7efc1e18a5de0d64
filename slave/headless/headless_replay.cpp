#include "slave/headless/headless_replay.h"

#include <chrono>
#include <climits>
#include <cstdio>

#include "common/options.h"
#include "common/recording.h"
#include "slave/engine/replay.h"
#include "slave/headless/headless_autochange.h"

namespace headless {
namespace {

// The replay of this run: the player, where it writes, and when it started.
std::string loadedPath;
bool attached = false;
bool running = false;
bool finishReported = false;
replay::Player player;
std::vector<replay::Target> targets;
std::chrono::steady_clock::time_point origin;

std::uint64_t ElapsedMs() {
  const auto since = std::chrono::steady_clock::now() - origin;
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace

int AttachReplay(const VantorOptions& options, std::vector<HeadlessDefinition>* definitions) {
  attached = false;
  if (options.replayFile.empty()) return cmdline::kExitOk;
  recording::Recording loaded;
  std::string error;
  std::vector<replay::Span> existing, added;
  for (const HeadlessDefinition& d : *definitions)
    existing.push_back({d.document.slaveId, d.document.table, d.document.address, d.document.length});
  if (!recording::LoadRecording(options.replayFile, &loaded, &error) ||
      !replay::PlanDefinitions(loaded, existing, &added, &error)) {
    std::fprintf(stderr, "vantor: %s: %s\n", options.replayFile.c_str(), error.c_str());
    return cmdline::kExitFailed;
  }
  for (const replay::Span& s : added) {
    HeadlessDefinition d;
    d.source = options.replayFile;
    d.document.slaveId = s.slaveId;
    d.document.table = s.table;
    d.document.address = s.address;
    d.document.length = s.length;
    d.document.oneBased = s.address + s.length <= 9999 ? 1 : 0;
    definitions->push_back(std::move(d));
  }
  replay::Start(&player, std::move(loaded), options.replaySpeed, !options.replayOnce);
  loadedPath = options.replayFile;
  attached = true;
  return cmdline::kExitOk;
}

void AnnounceReplay() {
  if (!running) return;
  std::fprintf(stderr, "vantor: replaying %s: %s over %.1f s, %s, speed %d\n", loadedPath.c_str(),
               cmdline::CountText(player.samples.size(), "read", "reads").c_str(),
               static_cast<double>(replay::DurationMs(player)) / 1000.0, player.loop ? "in a loop" : "once",
               player.speed);
  std::fflush(stderr);
}

void StartReplay(std::vector<HeadlessDefinition>& definitions) {
  if (!attached) return;
  targets.clear();
  for (HeadlessDefinition& d : definitions) {
    if (d.slot < 0) continue;
    replay::Target t;
    t.span = {d.document.slaveId, d.document.table, d.document.address, d.document.length};
    t.image = d.document.valueImage.data();
    t.setters = SlotSetters(&d.slot);
    targets.push_back(t);
  }
  origin = std::chrono::steady_clock::now();
  running = true;
  finishReported = false;
  StepReplay();
}

int StepReplay() {
  if (!running) return -1;
  const std::uint64_t now = ElapsedMs();
  replay::Step(&player, now, targets.data(), static_cast<int>(targets.size()));
  const std::uint64_t due = replay::NextDueMs(player);
  if (due == replay::kNeverDue) {
    if (replay::Finished(player) && !finishReported) {
      std::fprintf(stderr, "vantor: replay of %s finished; the last values stay\n", loadedPath.c_str());
      std::fflush(stderr);
      finishReported = true;
    }
    return -1;
  }
  return due <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(due - now, INT_MAX));
}

void StopReplay() {
  running = false;
  attached = false;
  targets.clear();
}

}  // namespace headless
