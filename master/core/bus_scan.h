#pragma once
// The bus scanner's Qt-free part, shared by the scan window and zelmor
// --headless --scan: the walk over slave ids and line settings, the per-probe
// time-out, a probe's outcome turned into a result, the time-left estimate and
// the CSV lines. The engine side (submitting a probe to the one-shot slot and
// reading its answer) is in bus_scan_engine.*.
//
// The walk: line settings outside (baud x parity x framing, in that nesting),
// slave ids inside, so the port is reopened only when the line settings change.
// Over Modbus/TCP there is one "line setting": the current connection.
#include <cstdint>
#include <string>
#include <vector>

#include "common/modbus_protocol.h"

namespace busscan {

// What is sent to every id.
enum class Probe : int {
  kHoldingRegister = 0,  // read 1 holding register at ScanPlan::address
  kDeviceIdentification = 1,  // FC 43 / MEI 14, basic objects
  kReportSlaveId = 2,  // FC 17
};
constexpr int kProbeCount = 3;

// A probe's per-id time-out at 9600 baud unless the user sets another; scaled
// by 9600 / baud on a serial line (slower lines wait longer), never below the
// minimum (a device needs time to turn round whatever the baud rate).
constexpr int kDefaultTimeoutMs = 100;
constexpr std::uint32_t kReferenceBaud = 9600;
constexpr int kMinProbeTimeoutMs = 20;
constexpr int kMaxProbeTimeoutMs = 10000;

struct LineSetting {
  std::uint32_t baud = kReferenceBaud;  // 0 over Modbus/TCP
  int parity = 0;                       // 0 none, 1 odd, 2 even
  bool ascii = false;
};

struct ScanPlan {
  bool tcp = false;
  int firstId = 1;
  int lastId = modbus::MAX_SLAVE_ID;
  std::vector<std::uint32_t> bauds{kReferenceBaud};  // serial only
  std::vector<int> parities{0};                      // serial only
  std::vector<bool> framings{false};                 // serial only: false RTU, true ASCII
  Probe probe = Probe::kHoldingRegister;
  int address = 0;  // protocol address of the holding-register probe
  int timeoutMs = kDefaultTimeoutMs;  // at 9600 baud (serial) or as is (TCP)
};

// Empty when the plan can run; otherwise what is wrong, for the user.
std::string PlanProblem(const ScanPlan& plan);

// The line settings in walk order (one default entry over TCP).
std::vector<LineSetting> LineSettings(const ScanPlan& plan);
long TotalProbes(const ScanPlan& plan);
int ProbeTimeoutMs(const ScanPlan& plan, const LineSetting& line);

struct Combination {
  int id = 1;
  int lineIndex = 0;
  LineSetting line;
};
// The index-th combination of the walk, 0 <= index < TotalProbes.
Combination CombinationAt(const ScanPlan& plan, long index);

// "19200 8E1 RTU", or "TCP" over Modbus/TCP.
std::string LineText(const LineSetting& line, bool tcp);

// ---- Outcomes ----------------------------------------------------------------

enum class Outcome : int {
  kAnswer,     // a good reply
  kException,  // an exception reply: a device is there
  kAbsent,     // no reply, or a gateway saying its target did not answer
  kGarbled,    // bytes that are not a good reply (often the wrong line settings)
  kLinkError,  // the link itself failed: the scan stops
  kStale,      // a late reply to an earlier probe (Modbus/TCP): this id is probed again
};
// How often one id is probed again after stale replies before it counts as garbled.
constexpr int kMaxStaleRetries = 3;

// The outcome of an engine result code. A gateway's exceptions 10 and 11 mean
// that nothing answered behind it, so they count as absent.
Outcome OutcomeOf(std::uint16_t resultCode);
constexpr bool IsPresent(Outcome o) { return o == Outcome::kAnswer || o == Outcome::kException; }

struct ProbeResult {
  Combination combination;
  Outcome outcome = Outcome::kAbsent;
  std::uint16_t resultCode = 0;
  std::uint32_t responseUs = 0;  // 0 when not timed
  std::string answer;            // "value 1234", "exception 2 (Illegal Data Address)", ...
  std::vector<std::string> identification;  // "VendorName=...", from the 43/14 or 17 probes
};

// The answer text of a probe: the register value or the exception.
std::string AnswerText(const ProbeResult& result, std::uint16_t value);

// ---- Identification probes ---------------------------------------------------

// The request PDU of an identification probe (43/14 basic objects from object
// 0, or 17); pdu holds devid::kMaxRequestPdu bytes. Returns its length.
int IdentificationRequest(Probe probe, std::uint8_t* pdu);
// Fills outcome, resultCode, answer and identification of an identification
// probe from the reply PDU taken out of a sound frame: an exception reply is a
// device (unless a gateway's 10 or 11), a reply that does not parse is garbled.
// The answer holds the values ("Acme X-1 1.2", or the 17 additional text with
// its hex), identification the named fields ("VendorName=Acme", ...).
void TakeIdentificationReply(Probe probe, const std::uint8_t* pdu, int length, ProbeResult* result);

// ---- The walk ----------------------------------------------------------------

enum class StepKind { kOpenLine, kProbe, kDone };

struct ScanState {
  ScanPlan plan;
  long next = 0;       // index of the next combination
  int staleRetries = 0;  // stale replies to the probes of the next combination
  int openLine = -1;   // line setting the link has now
  bool stopped = false;
  std::string failure;  // why the scan ended early (link error), for the user
  std::vector<ProbeResult> found;
  std::vector<long> answersPerLine;  // present ids per line setting
};

void StartScan(ScanState* state, const ScanPlan& plan);
// What to do next: open the combination's line settings (then LineOpened),
// probe it (then RecordProbe), or nothing more.
StepKind NextStep(const ScanState& state, Combination* combination);
// The line settings could not be set: the scan ends with that message.
void LineOpened(ScanState* state, int lineIndex, bool ok, const std::string& failure);
void RecordProbe(ScanState* state, const ProbeResult& result);
void StopScan(ScanState* state);

// Milliseconds left at the pace so far (elapsedMs over the probes done), or
// from the time-outs before the first probe: every remaining probe is counted
// at its time-out, which is the worst case of an empty bus.
long RemainingMs(const ScanState& state, long elapsedMs);
// A line setting on which every id answered: a gateway answering for every
// unit id, or a device that ignores the address. Empty when none did (ranges
// of fewer than 3 ids are not judged).
std::string GatewayWarning(const ScanState& state);

// ---- Text --------------------------------------------------------------------

// "id,line,response ms,answer,identification" and one line per result; fields
// with a comma or quote are quoted.
std::string CsvHeader();
std::string CsvLine(const ProbeResult& result, bool tcp);
// The headless line of a found device: "slave 5 19200 8E1 RTU 12.3 ms value 7".
std::string ResultLine(const ProbeResult& result, bool tcp);

// Parses "1-247" or "5" into a range within lo..hi.
bool ParseIdRange(const std::string& text, int lo, int hi, int* first, int* last);

}  // namespace busscan
