#include "master/core/bus_scan_engine.h"

#include <algorithm>

#include "common/baud_table.h"
#include "master/core/engine_glue.h"
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

int SubmitProbe(platform::WindowHandle owner, std::uint32_t message, const ScanPlan& plan, const Combination& c) {
  return me::SubmitOneShot(owner, message, static_cast<std::uint16_t>(c.id), modbus::FC_READ_HOLDING_REGISTERS,
                           static_cast<std::uint16_t>(plan.address), 1, 0, 0);
}

ProbeResult CollectProbe(const ScanPlan&, const Combination& c, std::uint16_t resultCode) {
  ProbeResult r;
  r.combination = c;
  r.resultCode = resultCode;
  r.outcome = OutcomeOf(resultCode);
  me::ResponseTimes times;
  // An answered probe is timed, so the last time is this probe's.
  if (IsPresent(r.outcome) && me::ReadResponseTimes(0, &times) == 1 && times.count > 0) r.responseUs = times.lastUs;
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
