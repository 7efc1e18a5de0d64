// Device recordings: the first input byte picks the replay's speed and loop,
// the rest is the file. Whatever the file holds, a recording the parser takes
// formats back to rows it reads to the same samples, and replaying it into the
// definitions it plans writes only inside their images.
#include <array>
#include <string>
#include <vector>

#include "common/recording.h"
#include "fuzz/fuzz_support.h"
#include "slave/engine/replay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputReader in(data, size);
  const std::uint8_t choice = in.byte();
  const std::vector<std::uint8_t> file = in.rest();
  recording::Recording parsed;
  std::string error;
  if (!recording::ParseRecording(reinterpret_cast<const char*>(file.data()), file.size(), &parsed, &error)) {
    fuzzsupport::Require(error.starts_with("line "), "a fault names its line");
    return 0;
  }
  std::string text = std::string(recording::kHeader) + "\n";
  for (const recording::Sample& s : parsed.samples) text += recording::FormatSample("t", s) + "\n";
  recording::Recording again;
  fuzzsupport::Require(recording::ParseRecording(text.data(), text.size(), &again, &error), "formatted rows parse");
  fuzzsupport::Require(again == parsed, "formatted rows read back to the same samples");

  std::vector<replay::Span> spans;
  if (!replay::PlanDefinitions(parsed, {}, &spans, &error)) return 0;
  // Heap images of the exact size: a write past one is caught.
  std::vector<std::vector<std::uint8_t>> images;
  std::vector<replay::Target> targets;
  for (std::size_t k = 0; k < spans.size(); ++k) images.emplace_back(autochange::kImageBytes);
  for (std::size_t k = 0; k < spans.size(); ++k) targets.push_back({spans[k], images[k].data(), {}});
  replay::Player player;
  replay::Start(&player, parsed, 1 + choice % 16 * 60, (choice & 0x80) != 0);
  std::uint64_t elapsed = 0;
  for (int step = 0; step < 8; ++step) {
    replay::Step(&player, elapsed, targets.data(), static_cast<int>(targets.size()));
    const std::uint64_t due = replay::NextDueMs(player);
    fuzzsupport::Require(due == replay::kNeverDue || due > elapsed, "the next row is due later");
    fuzzsupport::Require(replay::PositionMs(player, elapsed) <= replay::DurationMs(player), "inside the pass");
    if (due == replay::kNeverDue) break;
    elapsed = due + step * 97;
  }
  return 0;
}
