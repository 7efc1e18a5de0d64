// The slave's serial receive paths, RTU and ASCII, as the receive thread runs
// them, over a scripted serial port and a clock the target moves. Input: a mode
// byte (bit 0 ASCII), then chunks of one header byte (bits 0..5 the length,
// bit 7 a silence after the chunk that ends an RTU frame, bit 6 one that ends a
// stalled ASCII frame) and the chunk's bytes. Every reply written must be one
// whole frame with a good checksum.
#include "common/modbus_protocol.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/slave_setup.h"
#include "link/checksums.h"
#include "slave/engine/receive_loop.h"

namespace {

constexpr std::uint32_t kBaud = 19200;
constexpr std::uint32_t kRtuSilenceMs = 50;   // above the frame gap of any baud rate but 300..1200
constexpr std::uint32_t kAsciiStallMs = slaveloop::kAsciiFrameTimeoutMs + 100;

bool Setup() {
  fuzzsupport::InstallScriptedSerial();
  fuzzsupport::RegisterFuzzSlots();
  return slaveloop::OpenSlaveSerialPort(1, kBaud, 8, 0, 0);
}

void CheckReply(const fuzzsupport::Bytes& frame, bool ascii) {
  if (ascii) {
    const auto* text = reinterpret_cast<const char*>(frame.data());
    fuzzsupport::Require(frame.size() >= 9 && frame.front() == ':', "an ASCII reply starts with a colon");
    fuzzsupport::Require(linklayer::CheckAsciiLrc(text, static_cast<std::uint16_t>(frame.size())),
                         "an ASCII reply's LRC checks");
    return;
  }
  fuzzsupport::Require(frame.size() >= 5 && frame.size() <= modbus::MAX_RTU_ADU_LENGTH, "an RTU reply's length");
  fuzzsupport::Require(linklayer::ComputeCrc16(frame.data(), static_cast<std::uint16_t>(frame.size())) == 0,
                       "an RTU reply's CRC checks");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = Setup();
  fuzzsupport::Require(ready, "the scripted port opens");
  fuzzsupport::InputReader in(data, size);
  const bool ascii = in.byte() & 1;
  slaveloop::SetLinkMode(ascii ? slaveloop::kLinkAscii : slaveloop::kLinkRtu);
  slaveloop::ResetReceivers();
  slaveengine::DiscardPendingSerialReply();
  fuzzsupport::ClearSerial();
  const auto step = [ascii] { ascii ? slaveloop::AsciiStep() : slaveloop::RtuStep(); };
  while (!in.empty()) {
    const std::uint8_t header = in.byte();
    fuzzsupport::QueueSerialChunk(in.take(header & 0x3F));
    step();
    if (header & 0x80) {
      fuzzsupport::AdvanceClock(kRtuSilenceMs);
      step();
    }
    if (header & 0x40) {
      fuzzsupport::AdvanceClock(kAsciiStallMs);
      step();
    }
  }
  fuzzsupport::AdvanceClock(kAsciiStallMs);
  step();
  step();
  for (const fuzzsupport::Bytes& frame : fuzzsupport::SerialWrites()) CheckReply(frame, ascii);
  return 0;
}
