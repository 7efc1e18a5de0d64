#include "slave/engine/receive_loop.h"

#include <atomic>
#include <cstring>
#include <thread>

#include "link/checksums.h"
#include "link/framing.h"
#include "link/serial_link.h"
#include "platform/ticks.h"
#include "slave/engine/link_counters.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "slave/engine/traffic_capture.h"

namespace slaveloop {
namespace {

std::atomic<std::uint16_t> linkMode{kLinkRtu};
std::atomic<bool> runFlag{false};
std::atomic<bool> threadRunning{false};
std::thread receiveThread;
std::atomic<std::uint16_t> silenceThreshold{0};

// RTU receiver. The buffer also takes the reply, which is built in place.
std::uint8_t rtuBuffer[slaveengine::kReplyCapacity > kRtuBufferSize ? slaveengine::kReplyCapacity
                                                                    : kRtuBufferSize];
std::uint16_t rtuFill = 0;
std::uint32_t rtuSilence = 0;
std::uint32_t rtuReference = 0;

// ASCII receiver.
char asciiBuffer[kAsciiBufferSize + 1];
std::uint16_t asciiFill = 0;
bool asciiStarted = false;
std::uint32_t asciiSilence = 0;
std::uint32_t asciiReference = 0;
std::uint8_t asciiBinary[slaveengine::kReplyCapacity];

constexpr int kAsciiChunk = 200;

std::uint32_t ElapsedSince(std::uint32_t* reference) {
  const std::uint32_t now = platform::TickCount();
  const std::uint32_t elapsed = now - *reference;
  *reference = now;
  return elapsed;
}

void FlushRtu() {
  if (rtuFill > 0) slaveengine::RecordReceived(rtuBuffer, rtuFill);
  rtuFill = 0;
}

void FlushAscii() {
  if (asciiFill > 0) slaveengine::RecordReceived(reinterpret_cast<const std::uint8_t*>(asciiBuffer), asciiFill);
  asciiFill = 0;
  asciiStarted = false;
}

void AsciiFrameEnded() {
  const auto* text = reinterpret_cast<const std::uint8_t*>(asciiBuffer);
  // Only a frame that starts with ":" is a request; stray text ending in CR LF
  // is shown but never decoded.
  if (asciiStarted && linklayer::CheckAsciiLrc(asciiBuffer, asciiFill)) {
    const std::uint16_t count = static_cast<std::uint16_t>((asciiFill - 5) / 2);
    linklayer::DecodeHex(asciiBuffer + 1, count, asciiBinary);
    slaveengine::RecordReceived(text, asciiFill);
    slaveengine::ServeSerialRequest(asciiBinary, count, asciiBinary);
  } else {
    if (asciiStarted) slavecounters::CountCheckError();
    slaveengine::RecordReceived(text, asciiFill);
  }
  asciiFill = 0;
  asciiStarted = false;
}

void ThreadBody() {
  while (runFlag.load(std::memory_order_acquire)) {
    switch (linkMode.load(std::memory_order_relaxed)) {
      case kLinkTcp:
        // The server step waits for readiness itself, at most one pass period.
        slavetcp::TcpServerStep(kPassPeriodMs);
        break;
      case kLinkAscii:
        platform::SleepMs(kPassPeriodMs);
        AsciiStep();
        break;
      default:
        platform::SleepMs(kPassPeriodMs);
        RtuStep();
        break;
    }
    slaveengine::RefreshTick();
  }
}

}  // namespace

void SetLinkMode(std::uint16_t mode) {
  if (threadRunning.load() || mode > kLinkTcp) return;
  linkMode.store(mode);
}

std::uint16_t GetLinkMode() { return linkMode.load(std::memory_order_relaxed); }

int StartReceiveThread() {
  if (threadRunning.load()) return 1;
  runFlag.store(true);
  slaveengine::NotifyStateChange();
  slaveengine::DiscardPendingSerialReply();
  rtuReference = asciiReference = platform::TickCount();
  try {
    receiveThread = std::thread(ThreadBody);
  } catch (...) {
    runFlag.store(false);
    return 0;
  }
  threadRunning.store(true);
  return 1;
}

void StopReceiveThread() {
  runFlag.store(false, std::memory_order_release);
  if (receiveThread.joinable()) receiveThread.join();
  threadRunning.store(false);
}

bool IsReceiveThreadRunning() { return threadRunning.load(); }

bool OpenSlaveSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits) {
  const std::uint16_t gap = linklayer::SlaveFrameGapForBaud(baudRate);
  if (gap != 0) silenceThreshold.store(gap);
  // Reads return at once with what the driver holds: the loop finds frame ends by
  // silence. Writes get a time-out, so that a master holding flow control off (DSR
  // or CTS low) cannot block the receive thread, and with it disconnect, for ever.
  linklayer::SetSerialTimeouts(platform::kMaxDword, 0, 0, linklayer::TimeoutMultiplierForBaud(baudRate),
                               kReplyWriteTimeoutMs);
  return linklayer::OpenSerialPort(portNumber, baudRate, dataBits, parity, stopBits);
}

void CloseSlaveSerialPort() {
  linklayer::CloseSerialPort();
  slaveengine::NotifyStateChange();
}

std::uint16_t RtuSilenceThreshold() { return silenceThreshold.load(); }

bool IsLinkOpen() { return linklayer::IsSerialPortOpen() || slavetcp::IsTcpServerRunning(); }

void RtuStep() {
  slaveengine::SendDueSerialReply();
  std::uint8_t chunk[kRtuBufferSize];
  const int n = linklayer::SerialRead(chunk, kRtuBufferSize);
  rtuSilence += ElapsedSince(&rtuReference);
  if (n > 0) {
    rtuSilence = 0;
    for (int i = 0; i < n; ++i) {
      if (rtuFill >= kRtuBufferSize) {
        // Overlong input: show what we have and drop the rest of this read.
        slavecounters::CountOverrun();
        FlushRtu();
        break;
      }
      rtuBuffer[rtuFill++] = chunk[i];
    }
    return;
  }
  if (n < 0) {
    FlushRtu();
    return;
  }
  if (rtuFill == 0 || rtuSilence <= silenceThreshold.load(std::memory_order_relaxed)) return;
  const std::uint16_t length = rtuFill;
  rtuFill = 0;
  slaveengine::RecordReceived(rtuBuffer, length);
  if (length >= 4 && linklayer::ComputeCrc16(rtuBuffer, length) == 0)
    slaveengine::ServeSerialRequest(rtuBuffer, static_cast<std::uint16_t>(length - 2), rtuBuffer);
  else slavecounters::CountCheckError();
}

void AsciiStep() {
  slaveengine::SendDueSerialReply();
  std::uint8_t chunk[kAsciiChunk];
  const int n = linklayer::SerialRead(chunk, kAsciiChunk);
  asciiSilence += ElapsedSince(&asciiReference);
  if (n > 0) {
    asciiSilence = 0;
    for (int i = 0; i < n; ++i) {
      const char c = static_cast<char>(chunk[i]);
      if (asciiFill > kAsciiBufferSize - 1) {
        slavecounters::CountOverrun();
        FlushAscii();
      }
      if (c == ':') {
        FlushAscii();
        asciiStarted = true;
      }
      asciiBuffer[asciiFill++] = c;
      if (asciiFill > 4 && asciiBuffer[asciiFill - 2] == '\r' && asciiBuffer[asciiFill - 1] == '\n')
        AsciiFrameEnded();
    }
    return;
  }
  if (n < 0) {
    FlushAscii();
    return;
  }
  if (asciiStarted && asciiSilence > kAsciiFrameTimeoutMs) {
    FlushAscii();
  } else if (!asciiStarted && asciiFill > 0) {
    FlushAscii();
  }
}

void ResetReceivers() {
  rtuFill = 0;
  asciiFill = 0;
  asciiStarted = false;
  rtuSilence = asciiSilence = 0;
  rtuReference = asciiReference = platform::TickCount();
}

}  // namespace slaveloop

namespace slaveengine {
namespace {

// Only the receive thread serves serial requests, so the reply buffers need no lock.
// The ASCII text of a reply.
char asciiReply[2 * kReplyCapacity + 8];
// A delayed reply (binary RTU frame or ASCII text) and when it is due.
std::uint8_t pendingSerial[2 * kReplyCapacity + 8];
std::uint16_t pendingSerialLength = 0;
std::uint32_t pendingSerialDue = 0;
std::uint8_t pendingSerialMarks = 0;
std::uint32_t pendingSerialDelay = 0;

void SendPendingSerialReply() {
  const std::uint16_t length = pendingSerialLength;
  pendingSerialLength = 0;
  RecordSent(pendingSerial, length, pendingSerialMarks, pendingSerialDelay);
  linklayer::SerialWrite(pendingSerial, length);
}

// Frames binaryLength bytes (address first) in the link mode, spoiling the check
// of a corrupted reply, and writes them now or holds them back by the plan's delay.
void SendFramed(std::uint8_t* frame, std::uint16_t binaryLength, const slavefaults::FaultPlan& plan) {
  const linklayer::Check check = plan.corrupt ? linklayer::Check::kSpoiled : linklayer::Check::kGood;
  const std::uint8_t* out = frame;
  std::uint16_t outLength = 0;
  if (slaveloop::GetLinkMode() == slaveloop::kLinkAscii) {
    outLength = linklayer::BuildAsciiFrame(frame, binaryLength, asciiReply, check);
    out = reinterpret_cast<const std::uint8_t*>(asciiReply);
  } else {
    outLength = linklayer::AppendCrc(frame, binaryLength, check);
  }
  if (plan.delayMs > 0) {
    std::memcpy(pendingSerial, out, outLength);
    pendingSerialLength = outLength;
    pendingSerialDue = slavefaults::DelayDue(platform::TickCount(), plan.delayMs);
    pendingSerialMarks = plan.marks;
    pendingSerialDelay = plan.delayMs;
    return;
  }
  RecordSent(out, outLength, plan.marks, 0);
  linklayer::SerialWrite(out, outLength);
}

}  // namespace

void ServeSerialRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply) {
  slavecounters::CountBusMessage();
  if (length < 2) return;  // not even an address and a function code
  const std::uint8_t unit = request[0];
  if (!IsAddressed(Transport::kSerial, unit)) return;
  slavecounters::CountServerMessage();
  const std::uint16_t pduLength = static_cast<std::uint16_t>(length - 1);
  const slavefaults::FaultPlan plan = PlanFaults(unit, request + 1, pduLength);
  if (plan.drop) {
    slavecounters::CountReply(nullptr, 0);
    RecordSent(nullptr, 0, plan.marks, 0);
    return;
  }
  // A reply still held back goes out before the next one.
  if (pendingSerialLength > 0) SendPendingSerialReply();
  const std::uint16_t n = plan.exception != 0 ? ExceptionPdu(reply + 1, request[1], plan.exception)
                                              : ServePdu(Transport::kSerial, unit, request + 1, pduLength, reply + 1);
  slavecounters::CountReply(reply + 1, n);
  if (n == 0) return;
  reply[0] = unit;
  SendFramed(reply, static_cast<std::uint16_t>(n + 1), plan);
}

void SendSerialReply(std::uint8_t* frame, std::uint16_t totalLength) {
  SendFramed(frame, static_cast<std::uint16_t>(totalLength - 2), slavefaults::FaultPlan{});
}

void SendSerialException(std::uint8_t* frame, std::uint8_t code) {
  SendFramed(frame, static_cast<std::uint16_t>(1 + ExceptionPdu(frame + 1, frame[1], code)),
             slavefaults::FaultPlan{});
}

void SendDueSerialReply() {
  if (pendingSerialLength > 0 && static_cast<std::int32_t>(platform::TickCount() - pendingSerialDue) >= 0)
    SendPendingSerialReply();
}

bool HasPendingSerialReply() { return pendingSerialLength > 0; }
void DiscardPendingSerialReply() { pendingSerialLength = 0; }

}  // namespace slaveengine
