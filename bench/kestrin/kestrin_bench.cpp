// Feeds a pseudo-terminal at 115200 baud (about 11.5 kB/s) into the terminal
// dialog for a while and reports whether every byte was shown in order and
// how long the window took to answer input meanwhile.
//
//   kestrin_bench [--seconds N] [--screenshot file.png]
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/window_messages.h"
#include "platform/port_map.h"
#include "terminal/port_config_dialog.h"
#include "terminal/terminal_dialog.h"
#include "../../tests/terminal/pty_pair.h"

namespace {

constexpr int kBytesPerSecond = 11520;  // 115200 baud, 10 bits per byte
constexpr int kChunkMs = 10;

struct LatencyProbe {
  std::mutex mutex;
  std::vector<double> samples;  // ms from posting an event to the GUI handling it
};

}  // namespace

int main(int argc, char* argv[]) {
  int seconds = 60;
  const char* screenshot = nullptr;
  for (int index = 1; index < argc; ++index) {
    if (std::strcmp(argv[index], "--seconds") == 0 && index + 1 < argc) {
      seconds = std::max(1, std::atoi(argv[++index]));
    } else if (std::strcmp(argv[index], "--screenshot") == 0 && index + 1 < argc) {
      screenshot = argv[++index];
    } else {
      std::fprintf(stderr, "usage: %s [--seconds N] [--screenshot file.png]\n", argv[0]);
      return 2;
    }
  }

  QApplication application(argc, argv);
  fw::InstallWindowMessaging();
  kestrin::InstallPortErrorBox();

  kestrin::testing::PtyPair pty;
  if (!pty.ok()) {
    std::fprintf(stderr, "openpty failed\n");
    return 1;
  }
  platform::SetSerialPortPath(1, pty.path());

  kestrin::TerminalDialog dialog;
  dialog.show();
  kestrin::PortChoices choices;
  choices.port = "1";
  choices.baudRate = "19200";
  choices.dataBits = "8";
  choices.parity = "None";
  choices.stopBits = "1";
  choices.sendBuffer = "512";
  if (!dialog.openPort(choices)) {
    std::fprintf(stderr, "cannot open %s\n", pty.path().c_str());
    return 1;
  }

  const long total = static_cast<long>(kBytesPerSecond) * seconds;
  std::atomic<long> written{0};
  std::atomic<bool> running{true};
  std::atomic<double> maxWriterLagMs{0};

  // The peer paces its writes to the line rate.
  std::thread peer([&] {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    std::vector<std::uint8_t> chunk;
    long sent = 0;
    for (int tick = 1; sent < total; ++tick) {
      const auto due = start + std::chrono::milliseconds(tick * kChunkMs);
      std::this_thread::sleep_until(due);
      const double lag = std::chrono::duration<double, std::milli>(Clock::now() - due).count();
      // The pseudo-terminal holds a few kilobytes: when the terminal falls
      // behind, the writer blocks and lags its schedule.
      if (lag > maxWriterLagMs.load()) {
        maxWriterLagMs.store(lag);
        if (std::getenv("KESTRIN_BENCH_TRACE") != nullptr) {
          std::fprintf(stderr, "t=%d ms new writer max lag %.1f ms\n", tick * kChunkMs, lag);
        }
      }
      const long target = std::min(total, static_cast<long>(tick) * kBytesPerSecond * kChunkMs / 1000);
      chunk.clear();
      for (long value = sent; value < target; ++value) chunk.push_back(static_cast<std::uint8_t>(value * 31 + 7));
      if (!chunk.empty() && !pty.send(chunk)) break;
      sent = target;
      written.store(sent);
    }
  });

  // The probe posts a time-stamped call to the GUI thread every 20 ms, as a
  // key press would arrive, and records how long it waited to be handled.
  LatencyProbe probe;
  QObject receiver;
  std::thread prober([&] {
    while (running.load()) {
      const auto posted = std::chrono::steady_clock::now();
      QMetaObject::invokeMethod(
          &receiver,
          [&probe, posted] {
            const double waited =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - posted).count();
            std::lock_guard<std::mutex> lock(probe.mutex);
            probe.samples.push_back(waited);
            if (waited > 20 && std::getenv("KESTRIN_BENCH_TRACE") != nullptr) {
              std::fprintf(stderr, "probe waited %.1f ms after %zu samples\n", waited, probe.samples.size());
            }
          },
          Qt::QueuedConnection);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });

  QElapsedTimer clock;
  clock.start();
  long shownFields = 0;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    shownFields = dialog.shownByteCount();
    const bool allWritten = written.load() >= total;
    if ((allWritten && shownFields >= total) || clock.elapsed() > (seconds + 60) * 1000L) application.quit();
  });
  watcher.start(500);
  application.exec();
  const double elapsedS = clock.elapsed() / 1000.0;
  running.store(false);
  peer.join();
  prober.join();
  QCoreApplication::processEvents();

  // Every byte shown, in order?
  const QString text = dialog.receiveText();
  long index = 0;
  long mismatches = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    for (int field = 0; field + 4 <= line.size(); field += 4, ++index) {
      const int value = line.mid(field, 4).trimmed().toInt(nullptr, 16);
      if (value != static_cast<std::uint8_t>(index * 31 + 7)) ++mismatches;
    }
  }

  std::vector<double> samples;
  {
    std::lock_guard<std::mutex> lock(probe.mutex);
    samples = probe.samples;
  }
  std::sort(samples.begin(), samples.end());
  const double maxMs = samples.empty() ? 0 : samples.back();
  const double p99 = samples.empty() ? 0 : samples[samples.size() * 99 / 100];
  const double median = samples.empty() ? 0 : samples[samples.size() / 2];

  std::printf("duration            %.1f s (traffic %d s at %d bytes/s)\n", elapsedS, seconds, kBytesPerSecond);
  std::printf("bytes sent          %ld\n", written.load());
  std::printf("bytes shown         %ld\n", index);
  std::printf("lost / out of order %ld / %ld\n", written.load() - index, mismatches);
  std::printf("writer max lag      %.1f ms (how far the terminal fell behind the line at worst)\n",
              maxWriterLagMs.load());
  std::printf("input latency       median %.2f ms, p99 %.2f ms, max %.2f ms (%zu samples)\n", median, p99, maxMs,
              samples.size());
  const bool ok = index == written.load() && mismatches == 0 && maxMs < 50.0;
  std::printf("result              %s\n", ok ? "PASS" : "FAIL");

  if (screenshot != nullptr) {
    dialog.resize(dialog.sizeHint().expandedTo(dialog.size()));
    dialog.grab().save(QString::fromLocal8Bit(screenshot));
  }
  return ok ? 0 : 1;
}
