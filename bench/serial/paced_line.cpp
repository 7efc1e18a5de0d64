#include "bench/serial/paced_line.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <pty.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace bench {

double NowUs() {
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

// How long before a frame's last byte is due the relay stops sleeping: more
// than a timed wait usually ends late here (50-100 us on a virtual machine).
constexpr double kSpinBeforeLastUs = 150;

bool OpenRawPty(int* master, int* slave, std::string* path) {
  char name[256] = {};
  termios raw{};
  cfmakeraw(&raw);
  if (::openpty(master, slave, name, &raw, nullptr) != 0) return false;
  *path = name;
  ::fcntl(*master, F_SETFL, ::fcntl(*master, F_GETFL) | O_NONBLOCK);
  return true;
}

}  // namespace

PacedLine::PacedLine(std::uint32_t baudRate, std::uint32_t bitsPerCharacter)
    : characterUs_(1e6 * bitsPerCharacter / baudRate) {}

PacedLine::~PacedLine() {
  stop();
  for (int fd : {masterA_, slaveA_, masterB_, slaveB_})
    if (fd >= 0) ::close(fd);
}

bool PacedLine::start() {
  // The slave sides stay open here too, so that a program closing its port does
  // not hang the pair up.
  if (!OpenRawPty(&masterA_, &slaveA_, &pathA_) || !OpenRawPty(&masterB_, &slaveB_, &pathB_)) return false;
  aToB_.from = masterA_;
  aToB_.to = masterB_;
  bToA_.from = masterB_;
  bToA_.to = masterA_;
  running_ = true;
  relay_ = std::thread([this] { run(); });
  return true;
}

void PacedLine::stop() {
  running_ = false;
  if (relay_.joinable()) relay_.join();
}

void PacedLine::resetTurnaround() {
  std::lock_guard<std::mutex> guard(statsLock_);
  turnaroundA_ = Turnaround{};
  turnaroundB_ = Turnaround{};
  lateCount_ = 0;
  lateTotalUs_ = 0;
  tornToB_ = 0;
  tornToA_ = 0;
}

void PacedLine::setTearGap(double gapUs) {
  std::lock_guard<std::mutex> guard(statsLock_);
  tearGapUs_ = gapUs;
}

std::uint64_t PacedLine::tornGapsToB() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return tornToB_;
}

std::uint64_t PacedLine::tornGapsToA() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return tornToA_;
}

std::uint64_t PacedLine::turnaroundCount() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return turnaroundB_.count;
}

double PacedLine::meanTurnaroundUs() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return turnaroundB_.count == 0 ? 0 : turnaroundB_.totalUs / static_cast<double>(turnaroundB_.count);
}

double PacedLine::meanTurnaroundAUs() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return turnaroundA_.count == 0 ? 0 : turnaroundA_.totalUs / static_cast<double>(turnaroundA_.count);
}

double PacedLine::meanLateUs() const {
  std::lock_guard<std::mutex> guard(statsLock_);
  return lateCount_ == 0 ? 0 : lateTotalUs_ / static_cast<double>(lateCount_);
}

// Reads what the sender wrote and gives each byte its arrival time at the far end.
void PacedLine::take(Direction& d, double nowUs, bool fromB) {
  std::uint8_t chunk[512];
  for (;;) {
    const ssize_t n = ::read(d.from, chunk, sizeof chunk);
    if (n <= 0) return;
    {
      std::lock_guard<std::mutex> guard(statsLock_);
      Turnaround& t = fromB ? turnaroundB_ : turnaroundA_;
      if (t.awaiting) {
        ++t.count;
        t.totalUs += nowUs - t.burstEndUs;
        t.awaiting = false;
      }
    }
    for (ssize_t i = 0; i < n; ++i) {
      d.lineFreeUs = std::max(d.lineFreeUs, nowUs) + characterUs_;
      d.queue.push_back(Byte{chunk[i], d.lineFreeUs});
    }
  }
}

// Hands the far end every byte whose time has come.
void PacedLine::deliver(Direction& d, double nowUs, bool toB) {
  std::uint8_t out[512];
  int count = 0;
  double lastDueUs = 0;
  const double firstDueUs = d.queue.empty() ? 0 : d.queue.front().dueUs;
  while (!d.queue.empty() && d.queue.front().dueUs <= nowUs && count < static_cast<int>(sizeof out)) {
    lastDueUs = d.queue.front().dueUs;
    out[count++] = d.queue.front().value;
    d.queue.pop_front();
  }
  if (count == 0) return;
  // A full pty buffer only happens when nobody reads; such bytes are dropped.
  if (::write(d.to, out, static_cast<size_t>(count)) < 0) return;
  const double deliveredUs = NowUs();
  const double meantGapUs = firstDueUs - d.lastDeliveredDueUs;
  const double seenGapUs = deliveredUs - d.lastDeliveredUs;
  const bool hadEarlier = d.lastDeliveredUs > 0;
  d.lastDeliveredUs = deliveredUs;
  d.lastDeliveredDueUs = lastDueUs;
  {
    std::lock_guard<std::mutex> guard(statsLock_);
    if (hadEarlier && tearGapUs_ > 0 && meantGapUs < tearGapUs_ && seenGapUs > tearGapUs_)
      ++(toB ? tornToB_ : tornToA_);
    Turnaround& t = toB ? turnaroundB_ : turnaroundA_;
    t.awaiting = true;
    t.burstEndUs = deliveredUs;
    if (d.queue.empty()) {
      ++lateCount_;
      lateTotalUs_ += t.burstEndUs - lastDueUs;
    }
  }
}

// When the relay must look again: when the next byte is due, or, for the last
// byte queued in its direction, kSpinBeforeLastUs earlier (from there the relay
// polls without sleeping); now and then in any case, for the stop flag.
double PacedLine::nextWakeUs(double nowUs) const {
  double nextUs = nowUs + 20000;
  for (const Direction* d : {&aToB_, &bToA_}) {
    if (d->queue.empty()) continue;
    const double dueUs = d->queue.front().dueUs;
    nextUs = std::min(nextUs, d->queue.size() == 1 ? dueUs - kSpinBeforeLastUs : dueUs);
  }
  return nextUs;
}

void PacedLine::run() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);  // wake within microseconds, not the default 50
  // A UART keeps its pace whatever the load: with the privilege, the relay runs
  // real-time, so that a busy machine does not tear frames apart on the line.
  const sched_param realTime{20};
  realTimeRelay_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime) == 0;
  while (running_.load()) {
    double nowUs = NowUs();
    const double waitUs = std::max(0.0, nextWakeUs(nowUs) - nowUs);
    pollfd fds[2] = {{masterA_, POLLIN, 0}, {masterB_, POLLIN, 0}};
    const timespec limit{static_cast<time_t>(waitUs / 1e6), static_cast<long>(std::fmod(waitUs, 1e6) * 1000)};
    const int ready = ::ppoll(fds, 2, &limit, nullptr);
    nowUs = NowUs();
    if (ready > 0) {
      if (fds[0].revents & POLLIN) take(aToB_, nowUs, false);
      if (fds[1].revents & POLLIN) take(bToA_, nowUs, true);
      // A side whose program has closed its port reports a hang-up: do not spin on it.
      if (((fds[0].revents | fds[1].revents) & POLLHUP) != 0 && aToB_.queue.empty() && bToA_.queue.empty())
        ::usleep(200);
    }
    deliver(aToB_, nowUs, true);
    deliver(bToA_, nowUs, false);
  }
}

}  // namespace bench
