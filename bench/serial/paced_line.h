#pragma once
// A serial line at a real baud rate between two programs, for benchmarks: two
// pseudo-terminal pairs and a relay thread between their master sides. Each
// byte leaves one character time after the previous one in its direction (a
// byte that finds the line idle takes one character time to arrive), so a
// program sees its peer's frames at the pace a UART would deliver them.
//
//   PacedLine line(9600, 10);       // 8N1: 10 bits a character
//   line.start();
//   ... one program opens line.pathA(), the other line.pathB() ...
//   line.stop();
//
// Timed waits end late (tens of microseconds on a virtual machine, where the
// idle CPU itself has to be woken): the relay sleeps until shortly before the
// last queued byte of a direction is due and polls without sleeping from there,
// so that a frame ends on time and its receiver's turnaround starts when the
// line says. meanLateUs() tells how late frame ends left all the same.
//
// The relay also measures the turnaround of each side: for B from the moment
// the last byte of a burst from A has arrived at B to the first byte B sends
// back (a server's reply delay), for A the same the other way round (a
// master's pause between a reply and its next request).
//
// Even a real-time relay is sometimes not run for a few milliseconds on a
// virtual machine (1.5-6 ms seen at 115200 baud, a few times a minute). Bytes
// held up that way inside a frame reach the receiver after a gap its sender
// never made; with setTearGap(t3.5) the relay counts such gaps (tornGaps()), so
// that a transaction lost to them is not taken for the program's fault.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace bench {

class PacedLine {
 public:
  PacedLine(std::uint32_t baudRate, std::uint32_t bitsPerCharacter);
  ~PacedLine();
  PacedLine(const PacedLine&) = delete;
  PacedLine& operator=(const PacedLine&) = delete;

  bool start();
  void stop();
  const std::string& pathA() const { return pathA_; }
  const std::string& pathB() const { return pathB_; }
  double characterUs() const { return characterUs_; }
  // Whether the relay got real-time scheduling (else a loaded machine may
  // stretch the gaps between bytes).
  bool realTimeRelay() const { return realTimeRelay_; }

  // B's turnarounds since the last reset: count and mean in microseconds.
  void resetTurnaround();
  std::uint64_t turnaroundCount() const;
  double meanTurnaroundUs() const;
  // A's turnarounds since the last reset, the same way.
  double meanTurnaroundAUs() const;
  // How late the last byte of a burst reached its receiver, mean in
  // microseconds since the last reset (time the line arithmetic does not count).
  double meanLateUs() const;
  // Gaps longer than gapUs between bytes that were meant to follow each other
  // closer than that, toward B or toward A, since the last reset (0: not counted).
  void setTearGap(double gapUs);
  std::uint64_t tornGapsToB() const;
  std::uint64_t tornGapsToA() const;

 private:
  struct Byte {
    std::uint8_t value;
    double dueUs;  // when its last bit has arrived at the far end
  };
  struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Byte> queue;
    double lineFreeUs = 0;  // when the last queued byte has arrived
    double lastDeliveredUs = 0;     // when the relay last handed bytes on
    double lastDeliveredDueUs = 0;  // when the last of them was due
  };
  void run();
  void take(Direction& d, double nowUs, bool fromB);
  void deliver(Direction& d, double nowUs, bool toB);
  double nextWakeUs(double nowUs) const;

  double characterUs_;
  int masterA_ = -1, slaveA_ = -1, masterB_ = -1, slaveB_ = -1;
  std::string pathA_, pathB_;
  Direction aToB_, bToA_;
  std::atomic<bool> running_{false};
  std::atomic<bool> realTimeRelay_{false};
  std::thread relay_;

  struct Turnaround {
    bool awaiting = false;  // a burst has arrived at this side, which has not answered yet
    double burstEndUs = 0;
    std::uint64_t count = 0;
    double totalUs = 0;
  };
  mutable std::mutex statsLock_;  // guards the turnaround figures
  Turnaround turnaroundA_, turnaroundB_;
  std::uint64_t lateCount_ = 0;
  double lateTotalUs_ = 0;
  double tearGapUs_ = 0;
  std::uint64_t tornToB_ = 0, tornToA_ = 0;
};

double NowUs();

}  // namespace bench
