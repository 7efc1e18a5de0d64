#include "slave/engine/receive_loop.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "common/modbus_protocol.h"
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

// RTU receiver. Replies are built in their own buffer: bytes of a next request
// may already follow the one being served.
std::uint8_t rtuBuffer[kRtuBufferSize];
std::uint16_t rtuFill = 0;
std::uint64_t rtuLastByteUs = 0;
std::uint8_t rtuReply[slaveengine::kReplyCapacity];
std::atomic<std::uint32_t> frameGapUs{0};

// ASCII receiver.
char asciiBuffer[kAsciiBufferSize + 1];
std::uint16_t asciiFill = 0;
bool asciiStarted = false;
std::uint32_t asciiSilence = 0;
std::uint32_t asciiReference = 0;
std::uint8_t asciiBinary[slaveengine::kReplyCapacity];

constexpr int kAsciiChunk = 200;

std::uint64_t NowUs() { return platform::MonotonicUs(); }

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

// The length of the request at the start of bytes when all its bytes are in
// and its CRC is good; 0 otherwise (more bytes, or the silence, decide).
int CompleteRtuRequest(const std::uint8_t* bytes, int have) {
  const int length = linklayer::RtuRequestLength(bytes, have);
  if (length < 4 || length > have) return 0;
  return linklayer::ComputeCrc16(bytes, static_cast<std::uint16_t>(length)) == 0 ? length : 0;
}

bool RtuFrameReady() { return CompleteRtuRequest(rtuBuffer, rtuFill) > 0; }

// Shows and serves the first `length` bytes as one frame and keeps the rest.
void EndRtuFrame(std::uint16_t length) {
  slaveengine::RecordReceived(rtuBuffer, length);
  if (length >= 4 && linklayer::ComputeCrc16(rtuBuffer, length) == 0)
    slaveengine::ServeSerialRequest(rtuBuffer, static_cast<std::uint16_t>(length - 2), rtuReply);
  else slavecounters::CountCheckError();
  rtuFill = static_cast<std::uint16_t>(rtuFill - length);
  std::memmove(rtuBuffer, rtuBuffer + length, rtuFill);
}

// How long the thread may wait for the port before its next step: at most a
// pass period (stop requests, the window refresh), no longer than the RTU
// silence still missing, not at all while a complete frame waits, and a
// millisecond at a time while a held-back reply waits for its tick.
std::uint32_t SerialWaitUs(std::uint16_t mode) {
  std::uint32_t waitUs = kPassPeriodMs * 1000;
  if (mode == kLinkRtu && rtuFill > 0) {
    if (RtuFrameReady()) return 0;
    const std::uint64_t silentUs = NowUs() - rtuLastByteUs;
    const std::uint32_t gapUs = frameGapUs.load(std::memory_order_relaxed);
    waitUs = silentUs > gapUs ? 0 : std::min<std::uint32_t>(waitUs, static_cast<std::uint32_t>(gapUs - silentUs) + 1);
  }
  if (slaveengine::HasPendingSerialReply()) waitUs = std::min<std::uint32_t>(waitUs, 1000);
  return waitUs;
}

void SerialPass(std::uint16_t mode) {
  // No port, or a line that hung up: poll() would report that at once, every time.
  if (linklayer::WaitSerialReadable(SerialWaitUs(mode)) < 0) platform::SleepMs(kPassPeriodMs);
  if (mode == kLinkAscii)
    AsciiStep();
  else
    RtuStep();
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
    const std::uint16_t mode = linkMode.load(std::memory_order_relaxed);
    if (mode == kLinkTcp) {
      // The server step waits for readiness itself, at most one pass period.
      slavetcp::TcpServerStep(kPassPeriodMs);
    } else {
      SerialPass(mode);
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
  asciiReference = platform::TickCount();
  rtuLastByteUs = NowUs();
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
  const bool opened = linklayer::OpenSerialPort(portNumber, baudRate, dataBits, parity, stopBits);
  if (opened) frameGapUs.store(linklayer::SerialFrameGapUs());
  return opened;
}

void CloseSlaveSerialPort() {
  linklayer::CloseSerialPort();
  slaveengine::NotifyStateChange();
}

std::uint16_t RtuSilenceThreshold() { return silenceThreshold.load(); }
std::uint32_t RtuFrameGapUs() { return frameGapUs.load(); }

bool IsLinkOpen() { return linklayer::IsSerialPortOpen() || slavetcp::IsTcpServerRunning(); }

void RtuStep() {
  slaveengine::SendDueSerialReply();
  std::uint8_t chunk[kRtuBufferSize];
  // The silence is measured on the safe side whenever this thread runs late:
  // bytes read arrived before the read returned, and a read that finds nothing
  // shows the line silent only until it started.
  const std::uint64_t readUs = NowUs();
  const int n = linklayer::SerialRead(chunk, kRtuBufferSize);
  if (n > 0) {
    rtuLastByteUs = NowUs();
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
  // Nothing new: every request whose bytes are complete ends now, in order;
  // what is left ends at the t3.5 silence.
  for (int length = CompleteRtuRequest(rtuBuffer, rtuFill); length > 0;
       length = CompleteRtuRequest(rtuBuffer, rtuFill))
    EndRtuFrame(static_cast<std::uint16_t>(length));
  if (rtuFill > 0 && readUs > rtuLastByteUs + frameGapUs.load(std::memory_order_relaxed)) EndRtuFrame(rtuFill);
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
  asciiSilence = 0;
  asciiReference = platform::TickCount();
  rtuLastByteUs = NowUs();
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
  // A request to address 0 is carried out but never answered, whatever its
  // function: on a multi-drop line every slave would answer at once.
  const std::uint16_t sent = unit == modbus::BROADCAST_ADDRESS ? 0 : n;
  slavecounters::CountReply(reply + 1, sent);
  if (sent == 0) return;
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
