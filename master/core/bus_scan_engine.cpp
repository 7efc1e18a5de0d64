#include "master/core/bus_scan_engine.h"

#include <algorithm>
#include <vector>

#include "common/baud_table.h"
#include "common/word_order.h"
#include "master/core/device_identification.h"
#include "master/core/engine_glue.h"
#include "master/core/pdu_frames.h"
#include "master/core/register_scan.h"
#include "master/engine/comm_interface.h"

namespace busscan {

namespace me = masterengine;

zelmor::CommSettings SettingsForLine(const zelmor::CommSettings& base, const ScanPlan& plan, const LineSetting& line) {
  zelmor::CommSettings s = base;
  s.timeout = ProbeTimeoutMs(plan, line);
  if (plan.tcp) return s;
  s.baudIndex = baudtable::IndexForBaudRate(line.baud);
  s.parity = line.parity;
  s.dataBits = 1;
  s.stopBits = 0;
  s.asciiMode = line.ascii ? 1 : 0;
  return s;
}

std::string OpenScanLine(const zelmor::CommSettings& base, const ScanPlan& plan, const LineSetting& line, bool connected) {
  const zelmor::CommSettings s = SettingsForLine(base, plan, line);
  if (plan.tcp && connected) return {};
  zelmor::DisconnectLink();
  zelmor::ConnectOutcome outcome = zelmor::ConnectLink(s);
  if (!outcome.connected) return outcome.message;
  if (!plan.tcp) {
    // Reads end at the probe's time-out: no per-byte allowance, which would
    // stretch the wait for a long identification reply to every silent id.
    me::StopPolling();
    const std::uint32_t multiplier = baudtable::TimeoutMultiplierForIndex(s.baudIndex);
    const std::uint32_t interval = s.asciiMode ? 1000 : baudtable::ReadIntervalForIndex(s.baudIndex);
    me::SetSerialTimeouts(interval, 0, static_cast<std::uint32_t>(s.timeout), multiplier, 200);
    if (!me::StartPolling()) {
      zelmor::DisconnectLink();
      return "the poll thread did not start";
    }
  }
  return {};
}

namespace {

// The framing of the identification probes' raw frames: the engine's link
// mode of the open line (RTU over TCP carries RTU frames).
zelmor::PduLink ProbeLink() {
  switch (me::GetLinkMode()) {
    case me::kLinkRtu:
    case me::kLinkRtuOverTcp: return zelmor::PduLink::kRtu;
    case me::kLinkAscii: return zelmor::PduLink::kAscii;
    default: return zelmor::PduLink::kTcp;
  }
}

// A transaction id of its own for every combination of the walk, so that a
// late reply to the previous id is not taken for this one's.
std::uint16_t ProbeTransaction(const Combination& c) {
  return static_cast<std::uint16_t>(c.lineIndex * (modbus::MAX_UNIT_ID + 1) + c.id + 1);
}

int SubmitIdentificationProbe(platform::WindowHandle owner, std::uint32_t message, const ScanPlan& plan,
                              const Combination& c) {
  std::uint8_t pdu[devid::kMaxRequestPdu];
  const int length = IdentificationRequest(plan.probe, pdu);
  const std::vector<std::uint8_t> frame =
      zelmor::FramePdu(ProbeLink(), static_cast<std::uint8_t>(c.id), pdu, length, ProbeTransaction(c));
  if (me::SubmitOneShot(owner, message, 0, modbus::FC_RAW_FRAME, 0, 0, 0, 0) != 1) return 0;
  if (me::SetWriteBytes(0, static_cast<int>(frame.size()), frame.data()) != 1) {
    me::UnregisterPoll(0);
    return 0;
  }
  return 1;
}

// A raw exchange reports RESULT_OK whatever came back: silence is a time-out,
// a frame that is not a sound reply from the id is garbled, else the reply
// PDU decides.
void CollectIdentificationProbe(const ScanPlan& plan, const Combination& c, ProbeResult* r) {
  std::uint8_t received[me::kSlotReceivedCapacity];
  const std::uint16_t count = me::CopySlotReceived(0, received);
  std::vector<std::uint8_t> pdu;
  const zelmor::PduLink link = ProbeLink();
  if (count == 0) {
    r->resultCode = me::RESULT_TIMEOUT;
  } else if (link == zelmor::PduLink::kTcp && count >= 2 && wordorder::Get16(received) != ProbeTransaction(c)) {
    // A raw exchange takes the first frame that comes: here a reply to an
    // earlier probe that came after its time-out.
    r->resultCode = me::RESULT_RESPONSE;
    r->outcome = Outcome::kStale;
    r->answer = AnswerText(*r, 0);
    return;
  } else if (!zelmor::UnframePdu(link, static_cast<std::uint8_t>(c.id), received, count, ProbeTransaction(c),
                                 &pdu)
                  .empty()) {
    r->resultCode = me::RESULT_RESPONSE;
  } else {
    TakeIdentificationReply(plan.probe, pdu.data(), static_cast<int>(pdu.size()), r);
    return;
  }
  r->outcome = OutcomeOf(r->resultCode);
  r->answer = AnswerText(*r, 0);
}

}  // namespace

int SubmitProbe(platform::WindowHandle owner, std::uint32_t message, const ScanPlan& plan, const Combination& c) {
  if (plan.probe != Probe::kHoldingRegister) return SubmitIdentificationProbe(owner, message, plan, c);
  return me::SubmitOneShot(owner, message, static_cast<std::uint16_t>(c.id), modbus::FC_READ_HOLDING_REGISTERS,
                           static_cast<std::uint16_t>(plan.address), 1, 0, 0);
}

ProbeResult CollectProbe(const ScanPlan& plan, const Combination& c, std::uint16_t resultCode) {
  ProbeResult r;
  r.combination = c;
  r.resultCode = resultCode;
  r.outcome = OutcomeOf(resultCode);
  const bool identification = plan.probe != Probe::kHoldingRegister;
  if (identification && r.outcome == Outcome::kAnswer) CollectIdentificationProbe(plan, c, &r);
  me::ResponseTimes times;
  // An answered probe is timed, so the last time is this probe's.
  if (IsPresent(r.outcome) && me::ReadResponseTimes(0, &times) == 1 && times.count > 0) r.responseUs = times.lastUs;
  if (identification) {
    if (r.answer.empty()) r.answer = AnswerText(r, 0);
    return r;
  }
  std::uint16_t values[me::kMaxValueWords] = {};
  if (r.outcome == Outcome::kAnswer) me::ReadResultRegisters(0, values);
  r.answer = AnswerText(r, values[0]);
  return r;
}

int ProbeWaitBoundMs(const ScanPlan& plan, const zelmor::CommSettings& base) {
  // A poll of the window may be in progress with the connection's own time-out.
  const auto longest = static_cast<std::uint32_t>(std::max(base.timeout, plan.timeoutMs * 40));
  return static_cast<int>(2 * me::LongestReplyWaitMs(longest) + 2000);
}

}  // namespace busscan

namespace busscan {

int SubmitRegisterRead(platform::WindowHandle owner, std::uint32_t message, const regscan::RegisterScanPlan& plan,
                       int address, int count) {
  return me::SubmitOneShot(owner, message, static_cast<std::uint16_t>(plan.slave),
                           static_cast<std::uint16_t>(plan.function), static_cast<std::uint16_t>(address),
                           static_cast<std::uint16_t>(count), 0, 0);
}

void CollectRegisterRead(const regscan::RegisterScanPlan& plan, int count, std::uint16_t* values) {
  if (modbus::IsBitRead(plan.function)) {
    std::uint8_t bits[me::kRequestDataBytes] = {};
    me::ReadResultBytes(0, bits);
    for (int k = 0; k < count; ++k) values[k] = bits[k];
  } else {
    me::ReadResultRegisters(0, values);
  }
}

}  // namespace busscan
