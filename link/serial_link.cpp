#include "link/serial_link.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>

#include "common/modbus_protocol.h"
#include "platform/port_map.h"
#include "platform/ticks.h"

namespace linklayer {

namespace {

// The one port of the program. Open and close run on the user-interface thread
// while the communication thread is stopped, so there is no lock. The device
// is held through an atomic shared pointer only so that a close at program exit,
// racing a transfer still under way, cannot free the device beneath it.
std::atomic<std::shared_ptr<platform::SerialDevice>> g_device;
platform::SerialTimeouts g_timeouts;  // MAXDWORD, 0, 0, 0, 0 until set
std::uint8_t g_lineOptions = 0;
std::uint16_t g_rtsReleaseDelay = 0;
// Whether the driver raises RTS around transmissions itself (the kernel's RS-485
// mode). Cleared at open when the driver refuses that mode; SerialWrite then
// drives RTS.
bool g_rtsByDriver = true;
platform::SerialOpenError g_lastOpenError;
// Bits one character takes on the line and the rate, from the last open.
std::uint32_t g_bitsPerCharacter = 10;
std::uint32_t g_baudRate = 9600;

constexpr int kHighestPortNumber = 8;

// When the last byte on the line ended, in steady-clock microseconds: the last
// byte read, or the time the last write's bytes have left at the line's rate.
std::atomic<std::uint64_t> g_lineQuietFromUs{0};

void NoteLineBusyUntil(std::uint64_t us) {
  if (us > g_lineQuietFromUs.load(std::memory_order_relaxed)) g_lineQuietFromUs.store(us, std::memory_order_relaxed);
}

std::uint64_t CharactersUs(std::uint32_t count) {
  if (g_baudRate == 0) return 0;
  return static_cast<std::uint64_t>(count) * g_bitsPerCharacter * 1000000ULL / g_baudRate;
}

// Waits on the device: 1 readable, 0 time-out, -1 hung up or failed.
int PollReadable(const platform::SerialDevice& device, int timeoutMs) {
  return device.waitReadable(timeoutMs < 0 ? -1 : static_cast<std::int64_t>(timeoutMs) * 1000);
}

// A short count (write time-out) is a failure too, not a success.
bool WriteWhole(platform::SerialDevice& device, const std::uint8_t* bytes, std::uint16_t count) {
  if (device.write(bytes, count) == count) return true;
  device.clearError();
  return false;
}

platform::SerialOpenError RefusedPortNumber() {
  platform::SerialOpenError error;
  error.status = platform::SerialOpenStatus::NoSuchPort;
  error.systemText = "No such port";
  return error;
}

bool ToLineSettings(std::uint32_t baudRate, int dataBits, int parity, int stopBits,
                    platform::SerialLineSettings* settings) {
  if (dataBits < 5 || dataBits > 8 || parity < 0 || parity > 4 || stopBits < 0 || stopBits > 2) return false;
  settings->baudRate = baudRate;
  settings->dataBits = static_cast<std::uint8_t>(dataBits);
  settings->parity = static_cast<platform::Parity>(parity);
  settings->stopBits = static_cast<platform::StopBits>(stopBits);
  settings->dsrOutputFlow = (g_lineOptions & kOptionDsrFlow) != 0;
  settings->ctsOutputFlow = (g_lineOptions & kOptionCtsFlow) != 0;
  settings->xonXoff = (g_lineOptions & kOptionXonXoff) != 0;
  settings->dtrOn = true;
  settings->rts = platform::RtsControl::Enable;
  settings->rs485DelayAfterSendMs = g_rtsReleaseDelay;
  return true;
}

}  // namespace

bool OpenSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits) {
  g_rtsByDriver = true;
  if (portNumber < 1 || portNumber > kHighestPortNumber) {
    g_lastOpenError = RefusedPortNumber();
    return false;
  }
  platform::SerialLineSettings settings;
  if (!ToLineSettings(baudRate, dataBits, parity, stopBits, &settings)) {
    g_lastOpenError = platform::SerialOpenError{platform::SerialOpenStatus::OtherError, 0,
                                                "Unsupported line settings"};
    return false;
  }
  // A second open without a close would otherwise leave the first device open
  // and the port busy.
  CloseSerialPort();

  platform::SerialOpenError error;
  std::shared_ptr<platform::SerialDevice> device =
      platform::OpenSerialDevice(platform::SerialPortPath(portNumber), &error);
  g_lastOpenError = error;
  if (!device) return false;

  bool configured;
  if ((g_lineOptions & kOptionRtsToggle) != 0) {
    settings.rts = platform::RtsControl::Toggle;
    configured = device->configure(settings);
    if (!configured) {
      // No RS-485 mode in this driver: hold RTS on and let SerialWrite drive it.
      settings.rts = platform::RtsControl::Enable;
      configured = device->configure(settings);
      if (configured) g_rtsByDriver = false;
    }
  } else {
    configured = device->configure(settings);
  }
  if (!configured || !device->setTimeouts(g_timeouts)) {
    g_lastOpenError = platform::SerialOpenError{platform::SerialOpenStatus::OtherError, 0,
                                                "The port refused the line settings"};
    return false;  // the device closes as it goes out of scope
  }
  g_bitsPerCharacter = 1 + static_cast<std::uint32_t>(dataBits) + (parity != 0 ? 1 : 0) + (stopBits != 0 ? 2 : 1);
  g_baudRate = baudRate;
  g_device.store(std::move(device));
  return true;
}

bool CloseSerialPort() {
  std::shared_ptr<platform::SerialDevice> device = g_device.exchange(nullptr);
  return device != nullptr;
}

bool IsSerialPortOpen() { return g_device.load() != nullptr; }

bool PurgeSerialPort() {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  // Only the receive side. A write returns once the bytes are queued, not sent,
  // so discarding the transmit queue before the next request would cut off the
  // previous frame still going out (a broadcast, which waits for no reply).
  return device && device->purge(true, false);
}

bool SetSerialTimeouts(std::uint32_t readInterval, std::uint32_t readMultiplier, std::uint32_t readConstant,
                       std::uint32_t writeMultiplier, std::uint32_t writeConstant) {
  g_timeouts = platform::SerialTimeouts{readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant};
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  return device && device->setTimeouts(g_timeouts);
}

bool SerialWrite(const std::uint8_t* bytes, std::uint16_t count) {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  if (!device) return false;
  const bool programDrivesRts = !g_rtsByDriver && (g_lineOptions & kOptionRtsToggle) != 0;
  NoteLineBusyUntil(platform::NowUs() + CharactersUs(count));
  // With no RTS line to drive (a pseudo-terminal, an adapter without modem
  // lines) the wait for the transmitter and the release delay would only hold
  // up the reading of the reply.
  if (!programDrivesRts || !device->setRts(true)) return WriteWhole(*device, bytes, count);
  if (!WriteWhole(*device, bytes, count)) {
    device->setRts(false);
    return false;
  }
  // RTS must stay up until the last stop bit has left, plus the adapter's release delay.
  device->waitTransmitEmpty();
  if (g_rtsReleaseDelay != 0) platform::SleepMs(g_rtsReleaseDelay);
  device->setRts(false);
  return true;
}

void WaitSerialFrameSent(std::uint16_t count) {
  if (!IsSerialPortOpen() || g_baudRate == 0) return;
  // count characters plus the 3.5-character silence that ends an RTU frame.
  const std::uint64_t bits = (2 * static_cast<std::uint64_t>(count) + 7) * g_bitsPerCharacter;
  const std::uint64_t ms = (bits * 1000 + 2ULL * g_baudRate - 1) / (2ULL * g_baudRate);
  platform::SleepMs(static_cast<std::uint32_t>(ms));
}

int SerialRead(std::uint8_t* buffer, std::uint16_t maxCount) {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  if (!device) return -1;
  const int count = device->read(buffer, maxCount);
  if (count < 0) {
    device->clearError();  // so that the next read works despite abort-on-error
    return -1;
  }
  if (count > 0) NoteLineBusyUntil(platform::NowUs());
  return count;
}

std::uint32_t FrameGapUs(std::uint32_t baudRate, std::uint32_t bitsPerCharacter) {
  constexpr std::uint32_t kFixedGapAbove19200Us = 1750;
  if (baudRate == 0) return 0;
  if (baudRate > 19200) return kFixedGapAbove19200Us;
  return static_cast<std::uint32_t>((7ULL * bitsPerCharacter * 1000000ULL + 2ULL * baudRate - 1) / (2ULL * baudRate));
}

std::uint32_t SerialFrameGapUs() { return FrameGapUs(g_baudRate, g_bitsPerCharacter); }

int WaitSerialReadable(std::uint32_t timeoutUs) {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  if (!device) return -1;
  if (device->bytesWaiting() > 0) return 1;
  return device->waitReadable(timeoutUs);
}

int SerialReadFrame(std::uint8_t* buffer, std::uint16_t maxCount, FrameComplete complete) {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  if (!device) return -1;
  const platform::SerialTimeouts t = g_timeouts;
  const bool returnAtOnce =
      t.readInterval == platform::kMaxDword && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
  if (returnAtOnce || maxCount == 0) return SerialRead(buffer, maxCount);
  // The time-outs as the device applies them to one read of maxCount bytes.
  const bool firstByteOnly = t.readInterval == platform::kMaxDword && t.readTotalMultiplier == platform::kMaxDword;
  const std::uint64_t totalMs =
      firstByteOnly ? t.readTotalConstant
                    : static_cast<std::uint64_t>(t.readTotalMultiplier) * maxCount + t.readTotalConstant;
  const std::uint64_t intervalMs = t.readInterval != platform::kMaxDword ? t.readInterval : 0;
  const std::uint64_t startUs = platform::NowUs();
  std::uint64_t lastByteUs = startUs;
  int got = 0;
  for (;;) {
    // What has come so far in one read, never waiting for bytes that will not
    // come; the frame's end is looked for byte by byte, so that the frame ends
    // where it is whole (bytes after it are dropped, as the purge before the
    // next request would).
    const int n = got < maxCount ? device->readAvailable(buffer + got, maxCount - got) : 0;
    if (n < 0) {
      if (got > 0) return got;  // the error fails the next read, as with SerialRead
      device->clearError();
      return -1;
    }
    if (n > 0) {
      lastByteUs = platform::NowUs();
      NoteLineBusyUntil(lastByteUs);
      for (int end = got + 1; end <= got + n; ++end) {
        if (complete(buffer, end)) return end;
      }
      got += n;
    }
    if (got >= maxCount || (firstByteOnly && got > 0)) return got;
    const std::uint64_t now = platform::NowUs();
    long long waitMs = -1;
    if (totalMs > 0) {
      const std::uint64_t endUs = startUs + totalMs * 1000;
      if (now >= endUs) return got;
      waitMs = static_cast<long long>((endUs - now + 999) / 1000);
    }
    if (intervalMs > 0 && got > 0) {
      const std::uint64_t endUs = lastByteUs + intervalMs * 1000;
      if (now >= endUs) return got;
      const long long left = static_cast<long long>((endUs - now + 999) / 1000);
      waitMs = waitMs < 0 ? left : std::min(waitMs, left);
    }
    if (PollReadable(*device, static_cast<int>(std::min<long long>(waitMs, INT_MAX))) < 0)
      return got > 0 ? got : -1;
  }
}

namespace {

// How late a timed wait on the port ends: a timer does not wake a halted
// processor at once (50-100 us on a virtual machine, more than the rest of a
// request's turnaround). The frame gap wait sleeps that much less and watches
// the port without sleeping for the rest, so that the request follows the
// silence by microseconds. The estimate follows the 90th percentile of the
// lateness (up 9 us after a later wake, down 1 us after an earlier one) and
// stays within kMaxWakeLateUs, which bounds the watching. Only the poll thread
// waits for frame gaps.
constexpr std::int64_t kMaxWakeLateUs = 250;
std::atomic<std::int64_t> g_wakeLateUs{0};
// A clock that stands still between waits (a virtual one) ends the watching
// after this many looks with a timed wait; a real one never gets near it.
constexpr int kMaxQuietLooks = 4096;

void NoteWakeLateness(std::int64_t lateUs) {
  if (lateUs < 0) return;  // ended early: interrupted
  const std::int64_t estimate = g_wakeLateUs.load(std::memory_order_relaxed);
  const std::int64_t next =
      lateUs > estimate ? std::min(estimate + 9, kMaxWakeLateUs) : std::max<std::int64_t>(estimate - 1, 0);
  g_wakeLateUs.store(next, std::memory_order_relaxed);
}

// Waits for received bytes until untilUs, the last stretch by looking at the
// port without sleeping (see g_wakeLateUs): 1 bytes are waiting, 0 none yet
// (untilUs may not have come: the caller asks again), -1 no port or hung up.
int WaitReadableUntil(std::uint64_t untilUs, int* looks) {
  const std::uint64_t now = platform::NowUs();
  if (now >= untilUs) return 0;
  const std::uint64_t early = static_cast<std::uint64_t>(g_wakeLateUs.load(std::memory_order_relaxed));
  if (untilUs - now <= early && *looks < kMaxQuietLooks) {
    ++*looks;
    return WaitSerialReadable(0);
  }
  const std::uint64_t sleepUs = *looks < kMaxQuietLooks ? untilUs - now - early : untilUs - now;
  const int ready = WaitSerialReadable(static_cast<std::uint32_t>(sleepUs));
  if (ready == 0) NoteWakeLateness(static_cast<std::int64_t>(platform::NowUs() - now - sleepUs));
  return ready;
}

}  // namespace

void WaitFrameGap() {
  std::shared_ptr<platform::SerialDevice> device = g_device.load();
  if (!device) return;
  const std::uint64_t gapUs = SerialFrameGapUs();
  // A line that never falls silent (noise) holds the request up for at most
  // the longest frame; the purge before the request takes what is left.
  const std::uint64_t giveUpUs = platform::NowUs() + CharactersUs(modbus::MAX_RTU_ADU_LENGTH) + gapUs;
  int looks = 0;
  for (;;) {
    const std::uint64_t quietUntil = g_lineQuietFromUs.load(std::memory_order_relaxed) + gapUs;
    const std::uint64_t now = platform::NowUs();
    if (now >= quietUntil || now >= giveUpUs) return;
    // Waits on the port, not in a sleep: bytes that come in meanwhile (the tail
    // of a reply that came too late) are on the line, and the silence starts
    // again after them.
    // A wait that ends early (woken to watch the port, or by a signal) waits
    // again: the request never goes before the silence is over.
    const int ready = WaitReadableUntil(std::min(quietUntil, giveUpUs), &looks);
    if (ready < 0) return;
    if (ready == 0) continue;
    std::uint8_t discarded[64];
    int n = 0;
    while ((n = device->readAvailable(discarded, sizeof discarded)) > 0) {
    }
    if (n < 0) device->clearError();  // a damaged byte of noise fails no later read
    NoteLineBusyUntil(platform::NowUs());
  }
}

void SetLineOptions(std::uint8_t options) { g_lineOptions = options; }

void SetRtsReleaseDelay(std::uint16_t milliseconds) { g_rtsReleaseDelay = milliseconds; }

platform::SerialOpenError LastSerialOpenError() { return g_lastOpenError; }

namespace {

struct BaudTimeouts {
  std::uint32_t baudRate;
  std::uint32_t multiplier;    // ms per byte
  std::uint32_t readInterval;  // ms between two bytes (RTU)
};

constexpr BaudTimeouts kBaudTimeouts[] = {
    {300, 32, 1720},   {600, 16, 1720},  {1200, 8, 1720},  {2400, 4, 960},   {4800, 2, 480},  {9600, 2, 240},
    {14400, 1, 180},   {19200, 1, 120},  {38400, 1, 60},   {56000, 1, 32},   {57600, 1, 32},  {115200, 1, 32}};

// A rate between the listed ones takes the row of the next lower listed rate
// (slower rates get the longer times); a rate below 300 takes the 300 row.
const BaudTimeouts& BaudRow(std::uint32_t baudRate) {
  const BaudTimeouts* row = &kBaudTimeouts[0];
  for (const BaudTimeouts& candidate : kBaudTimeouts) {
    if (candidate.baudRate <= baudRate) row = &candidate;
  }
  return *row;
}

}  // namespace

std::uint32_t TimeoutMultiplierForBaud(std::uint32_t baudRate) { return BaudRow(baudRate).multiplier; }

std::uint32_t ReadIntervalForBaud(std::uint32_t baudRate) { return BaudRow(baudRate).readInterval; }

std::uint16_t SlaveFrameGapForBaud(std::uint32_t baudRate) {
  switch (baudRate) {
    case 300: return 300;
    case 600: return 150;
    case 1200: return 80;
    case 2400: return 40;
    case 4800:
    case 9600:
    case 14400:
    case 19200:
    case 38400:
    case 56000:
    case 57600:
    case 115200: return 20;
    default: return 0;
  }
}

}  // namespace linklayer
