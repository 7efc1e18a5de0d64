#include "master/core/bus_scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "common/baud_table.h"
#include "common/device_objects.h"
#include "master/core/device_identification.h"
#include "master/core/frame_decoder.h"
#include "master/engine/result_codes.h"
#include "resources/zelmor_resources.h"

namespace busscan {

namespace me = masterengine;

std::string PlanProblem(const ScanPlan& plan) {
  const int highest = plan.tcp ? modbus::MAX_UNIT_ID : modbus::MAX_SLAVE_ID;
  if (plan.firstId < 0 || plan.lastId > highest || plan.firstId > plan.lastId)
    return "the slave ids must be a range within 0.." + std::to_string(highest);
  if (!plan.tcp && plan.firstId == modbus::BROADCAST_ADDRESS)
    return "slave id 0 is the broadcast address: no device answers it on a serial line";
  if (!plan.tcp && (plan.bauds.empty() || plan.parities.empty() || plan.framings.empty()))
    return "choose at least one baud rate, parity and framing";
  for (int parity : plan.parities) {
    if (parity < 0 || parity > 2) return "the parity must be none, odd or even";
  }
  for (std::uint32_t baud : plan.bauds) {
    if (!plan.tcp && baudtable::IndexForBaudRate(baud) < 0) return "unsupported baud rate " + std::to_string(baud);
  }
  if (plan.timeoutMs < kMinProbeTimeoutMs || plan.timeoutMs > kMaxProbeTimeoutMs)
    return "the time-out must be " + std::to_string(kMinProbeTimeoutMs) + ".." + std::to_string(kMaxProbeTimeoutMs) +
           " ms";
  if (plan.address < 0 || plan.address > modbus::MAX_ADDRESS) return "the address must be 0..65535";
  if (static_cast<int>(plan.probe) < 0 || static_cast<int>(plan.probe) >= kProbeCount) return "unknown probe";
  return {};
}

std::vector<LineSetting> LineSettings(const ScanPlan& plan) {
  if (plan.tcp) return {LineSetting{0, 0, false}};
  std::vector<LineSetting> lines;
  for (std::uint32_t baud : plan.bauds)
    for (int parity : plan.parities)
      for (bool ascii : plan.framings) lines.push_back({baud, parity, ascii});
  return lines;
}

long TotalProbes(const ScanPlan& plan) {
  return static_cast<long>(LineSettings(plan).size()) * (plan.lastId - plan.firstId + 1);
}

int ProbeTimeoutMs(const ScanPlan& plan, const LineSetting& line) {
  if (plan.tcp || line.baud == 0) return plan.timeoutMs;
  const long scaled = static_cast<long>(plan.timeoutMs) * kReferenceBaud / line.baud;
  return static_cast<int>(std::clamp<long>(scaled, kMinProbeTimeoutMs, kMaxProbeTimeoutMs));
}

Combination CombinationAt(const ScanPlan& plan, long index) {
  const long ids = plan.lastId - plan.firstId + 1;
  const std::vector<LineSetting> lines = LineSettings(plan);
  Combination c;
  c.lineIndex = static_cast<int>(index / ids);
  c.id = plan.firstId + static_cast<int>(index % ids);
  if (c.lineIndex < static_cast<int>(lines.size())) c.line = lines[static_cast<std::size_t>(c.lineIndex)];
  return c;
}

std::string LineText(const LineSetting& line, bool tcp) {
  if (tcp) return "TCP";
  return std::to_string(line.baud) + " 8" + baudtable::ParityLetter(line.parity) + "1 " +
         (line.ascii ? "ASCII" : "RTU");
}

Outcome OutcomeOf(std::uint16_t resultCode) {
  if (resultCode == me::RESULT_OK) return Outcome::kAnswer;
  if (me::IsExceptionResult(resultCode)) {
    const int code = resultCode - me::RESULT_EXCEPTION_BASE;
    if (code == modbus::EXCEPTION_GATEWAY_PATH || code == modbus::EXCEPTION_GATEWAY_TARGET) return Outcome::kAbsent;
    return Outcome::kException;
  }
  switch (resultCode) {
    case me::RESULT_TIMEOUT: return Outcome::kAbsent;
    case me::RESULT_CRC:
    case me::RESULT_RESPONSE:
    case me::RESULT_BYTES_MISSING: return Outcome::kGarbled;
    default: return Outcome::kLinkError;
  }
}

std::string AnswerText(const ProbeResult& result, std::uint16_t value) {
  if (result.outcome == Outcome::kException) {
    const int code = result.resultCode - me::RESULT_EXCEPTION_BASE;
    std::string name = framedecode::ExceptionName(code);
    return "exception " + std::to_string(code) + (name.empty() ? "" : " (" + name + ")");
  }
  if (result.outcome != Outcome::kAnswer) return me::ResultText(result.resultCode);
  if (result.identification.empty()) return "value " + std::to_string(value);
  return "identified";
}

// ---- Identification probes ---------------------------------------------------

namespace {

// The answer and named fields of a 43/14 reply: every object it holds.
void TakeDeviceId(const devid::DeviceIdReply& reply, ProbeResult* result) {
  for (const devid::DeviceObject& object : reply.objects) {
    const std::string value = devid::ObjectText(object.value);
    result->answer += (result->answer.empty() ? "" : " ") + value;
    result->identification.push_back(devid::ObjectName(object.id) + "=" + value);
  }
  if (result->answer.empty()) result->answer = "no objects";
}

// The answer and named fields of a 17 reply: the additional data as text and
// hex, the slave id and run indicator bytes.
void TakeSlaveId(const devid::SlaveIdReply& reply, ProbeResult* result) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%02X", reply.slaveId);
  result->identification.push_back(std::string("SlaveId=") + hex);
  if (reply.hasRunIndicator) {
    std::snprintf(hex, sizeof hex, "0x%02X", reply.runIndicator);
    const bool on = reply.runIndicator == modbus::RUN_INDICATOR_ON;
    const bool off = reply.runIndicator == modbus::RUN_INDICATOR_OFF;
    result->identification.push_back(std::string("RunIndicator=") +
                                      (on || off ? zelmor::res::text::kDeviceIdRunStates[on] : hex));
  }
  const std::string& shown = reply.hasRunIndicator ? reply.additional : reply.data;
  result->identification.push_back("Data=" + devid::ObjectHex(reply.data));
  result->answer = devid::ObjectText(shown) + " [" + devid::ObjectHex(shown) + "]";
}

}  // namespace

int IdentificationRequest(Probe probe, std::uint8_t* pdu) {
  if (probe == Probe::kReportSlaveId) return devid::BuildReportSlaveIdRequest(pdu);
  return devid::BuildReadDeviceIdRequest(modbus::READ_DEVICE_ID_BASIC, 0, pdu);
}

void TakeIdentificationReply(Probe probe, const std::uint8_t* pdu, int length, ProbeResult* result) {
  result->identification.clear();
  result->answer.clear();
  if (length >= 2 && (pdu[0] & modbus::EXCEPTION_FLAG) != 0) {
    result->resultCode = me::ExceptionResult(pdu[1]);
    result->outcome = OutcomeOf(result->resultCode);
    result->answer = AnswerText(*result, 0);
    return;
  }
  std::string fault;
  if (probe == Probe::kReportSlaveId) {
    devid::SlaveIdReply reply;
    fault = devid::ParseReportSlaveIdReply(pdu, length, &reply);
    if (fault.empty()) TakeSlaveId(reply, result);
  } else {
    devid::DeviceIdReply reply;
    fault = devid::ParseReadDeviceIdReply(pdu, length, &reply);
    if (fault.empty()) TakeDeviceId(reply, result);
  }
  result->resultCode = fault.empty() ? me::RESULT_OK : me::RESULT_RESPONSE;
  result->outcome = fault.empty() ? Outcome::kAnswer : Outcome::kGarbled;
  if (!fault.empty()) {
    result->identification.clear();
    result->answer = fault;
  }
}

// ---- The walk ----------------------------------------------------------------

void StartScan(ScanState* state, const ScanPlan& plan) {
  *state = ScanState{};
  state->plan = plan;
  state->answersPerLine.assign(LineSettings(plan).size(), 0);
}

StepKind NextStep(const ScanState& state, Combination* combination) {
  if (state.stopped || state.next >= TotalProbes(state.plan)) return StepKind::kDone;
  *combination = CombinationAt(state.plan, state.next);
  return combination->lineIndex == state.openLine ? StepKind::kProbe : StepKind::kOpenLine;
}

void LineOpened(ScanState* state, int lineIndex, bool ok, const std::string& failure) {
  if (ok) {
    state->openLine = lineIndex;
    return;
  }
  state->stopped = true;
  state->failure = failure;
}

void RecordProbe(ScanState* state, const ProbeResult& result) {
  // The reply to this probe may still be on its way behind the stale one.
  if (result.outcome == Outcome::kStale && state->staleRetries < kMaxStaleRetries) {
    ++state->staleRetries;
    return;
  }
  state->staleRetries = 0;
  ++state->next;
  if (result.outcome == Outcome::kLinkError) {
    state->stopped = true;
    state->failure = me::ResultText(result.resultCode);
    return;
  }
  if (!IsPresent(result.outcome)) return;
  state->found.push_back(result);
  const auto line = static_cast<std::size_t>(result.combination.lineIndex);
  if (line < state->answersPerLine.size()) ++state->answersPerLine[line];
}

void StopScan(ScanState* state) { state->stopped = true; }

long RemainingMs(const ScanState& state, long elapsedMs) {
  const long total = TotalProbes(state.plan);
  if (state.next >= total) return 0;
  if (state.next > 0) return elapsedMs * (total - state.next) / state.next;
  long sum = 0;
  for (long k = state.next; k < total; ++k) sum += ProbeTimeoutMs(state.plan, CombinationAt(state.plan, k).line);
  return sum;
}

std::string GatewayWarning(const ScanState& state) {
  const long ids = state.plan.lastId - state.plan.firstId + 1;
  if (ids < 3) return {};
  const std::vector<LineSetting> lines = LineSettings(state.plan);
  for (std::size_t k = 0; k < state.answersPerLine.size() && k < lines.size(); ++k) {
    if (state.answersPerLine[k] == ids)
      return "every slave id answered on " + LineText(lines[k], state.plan.tcp) +
             ": a gateway or a device that ignores the address answers for all of them";
  }
  return {};
}

// ---- Text --------------------------------------------------------------------

namespace {

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Milliseconds(std::uint32_t us) {
  if (us == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", us / 1000.0);
  return text;
}

std::string JoinIdentification(const ProbeResult& result) {
  std::string joined;
  for (const std::string& s : result.identification) joined += (joined.empty() ? "" : "; ") + s;
  return joined;
}

}  // namespace

std::string CsvHeader() { return "id,line,response ms,answer,identification"; }

std::string CsvLine(const ProbeResult& result, bool tcp) {
  return std::to_string(result.combination.id) + "," + CsvField(LineText(result.combination.line, tcp)) + "," +
         Milliseconds(result.responseUs) + "," + CsvField(result.answer) + "," +
         CsvField(JoinIdentification(result));
}

std::string ResultLine(const ProbeResult& result, bool tcp) {
  std::string line = "slave " + std::to_string(result.combination.id) + " " +
                     LineText(result.combination.line, tcp) + " " + Milliseconds(result.responseUs) + " ms " +
                     result.answer;
  std::string identification = JoinIdentification(result);
  if (!identification.empty()) line += " " + identification;
  return line;
}

bool ParseIdRange(const std::string& text, int lo, int hi, int* first, int* last) {
  const std::size_t dash = text.find('-');
  auto number = [](const std::string& s, int* out) {
    if (s.empty() || s.size() > 5 || s.find_first_not_of("0123456789") != std::string::npos) return false;
    *out = std::atoi(s.c_str());
    return true;
  };
  int a = 0, b = 0;
  if (dash == std::string::npos) {
    if (!number(text, &a)) return false;
    b = a;
  } else if (!number(text.substr(0, dash), &a) || !number(text.substr(dash + 1), &b)) {
    return false;
  }
  if (a < lo || b > hi || a > b) return false;
  *first = a;
  *last = b;
  return true;
}

}  // namespace busscan
