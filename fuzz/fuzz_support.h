#pragma once
// Shared pieces of the libFuzzer targets: a serial device that plays bytes from
// the fuzz input and keeps what the code under test writes, a virtual clock the
// targets move by hand (fake_ticks.cpp replaces platform/ticks.cpp in this tree),
// and a reader that takes fields from the front of the input.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fuzzsupport {

using Bytes = std::vector<std::uint8_t>;

// ---- Virtual clock --------------------------------------------------------------

// platform::TickCount() and NowUs() return this; SleepMs() and SleepUs()
// move it on, and so does a wait of the scripted serial port that finds nothing.
void AdvanceClock(std::uint32_t milliseconds);
void AdvanceClockUs(std::uint64_t microseconds);
// While on, every reading of the clock moves it on by a second, so that a wait
// for bytes that will not come ends at once (a peer thread that has answered
// turns it on; real sockets cannot wait on the virtual clock).
void RunOutClock(bool on);

// ---- Scripted serial device -----------------------------------------------------

// Installs the opener once: every serial port the link opens is the scripted one.
void InstallScriptedSerial();
// Chunks that reads return, one chunk per read (a read of fewer bytes keeps the rest).
void QueueSerialChunk(const Bytes& chunk);
void ClearSerial();
// Every write since ClearSerial(), one entry per write.
const std::vector<Bytes>& SerialWrites();
// Called with each write; what it returns is queued for reading (a peer answering).
void SetSerialResponder(std::function<Bytes(const Bytes&)> responder);

// ---- Input reader ---------------------------------------------------------------

class InputReader {
 public:
  InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() << 8 | byte()); }
  // Up to count bytes (fewer at the end of the input).
  Bytes take(std::size_t count);
  Bytes rest() { return take(size_ - pos_); }
  bool empty() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// The input cut at NUL bytes into command-line arguments.
std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size);

// Stops the run (libFuzzer reports it as a crash) when a property fails.
void Require(bool condition, const char* what);

}  // namespace fuzzsupport
