#include "slave/engine/device_functions.h"

#include <cstring>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "slave/engine/identity.h"
#include "slave/engine/link_counters.h"
#include "slave/engine/slave_engine.h"

namespace slaveengine {
namespace {

using namespace modbus;
using wordorder::Get16;
using wordorder::Put16;

// Extended and individual access are served.
constexpr std::uint8_t kConformity = READ_DEVICE_ID_EXTENDED | DEVICE_ID_CONFORMITY_INDIVIDUAL;
constexpr int kDeviceIdHeader = 7;  // function .. number of objects

std::uint16_t ReadExceptionStatus(std::uint8_t* reply) {
  reply[0] = FC_READ_EXCEPTION_STATUS;
  reply[1] = 0;  // no exception status outputs
  return 2;
}

std::uint16_t CommEventCounter(std::uint8_t* reply) {
  reply[0] = FC_GET_COMM_EVENT_COUNTER;
  Put16(reply + 1, 0);  // status: not busy
  Put16(reply + 3, slavecounters::EventCount());
  return 5;
}

// 08: the request (already copied) is echoed, or its data replaced by a counter.
std::uint16_t Diagnostics(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply) {
  if (length < 3) return ExceptionPdu(reply, FC_DIAGNOSTICS, EXCEPTION_ILLEGAL_DATA_VALUE);
  const std::uint16_t sub = Get16(request + 1);
  if (sub == DIAG_RETURN_QUERY_DATA) {
    std::memcpy(reply, request, length);
    return length;
  }
  const bool known = sub == DIAG_RESTART_COMMUNICATIONS || sub == DIAG_CLEAR_COUNTERS ||
                     (sub >= DIAG_FIRST_COUNTER && sub <= DIAG_LAST_COUNTER);
  if (!known) return ExceptionPdu(reply, FC_DIAGNOSTICS, EXCEPTION_ILLEGAL_FUNCTION);
  if (length != 5) return ExceptionPdu(reply, FC_DIAGNOSTICS, EXCEPTION_ILLEGAL_DATA_VALUE);
  const std::uint16_t data = Get16(request + 3);
  if (sub == DIAG_RESTART_COMMUNICATIONS) {
    if (data != COIL_OFF && data != COIL_ON) return ExceptionPdu(reply, FC_DIAGNOSTICS, EXCEPTION_ILLEGAL_DATA_VALUE);
    slavecounters::ClearCounters();
    std::memcpy(reply, request, length);
    return length;
  }
  if (data != 0) return ExceptionPdu(reply, FC_DIAGNOSTICS, EXCEPTION_ILLEGAL_DATA_VALUE);
  std::memcpy(reply, request, 3);
  if (sub == DIAG_CLEAR_COUNTERS) {
    slavecounters::ClearCounters();
    Put16(reply + 3, 0);
  } else {
    Put16(reply + 3, slavecounters::Count(static_cast<slavecounters::Counter>(sub - DIAG_FIRST_COUNTER)));
  }
  return 5;
}

// 17: byte count, the slave id, the run indicator, then the basic objects as text.
std::uint16_t ReportSlaveId(std::uint8_t unit, std::uint8_t* reply) {
  std::string text;
  for (const auto& [id, value] : slaveidentity::ServedObjects(unit)) {
    if (id > DEVICE_OBJECT_LAST_BASIC) break;
    if (!text.empty()) text += ' ';
    text += value;
  }
  const std::size_t room = MAX_PDU_LENGTH - 4;  // function, byte count, id, run indicator
  if (text.size() > room) text.resize(room);
  reply[0] = FC_REPORT_SLAVE_ID;
  reply[1] = static_cast<std::uint8_t>(2 + text.size());
  reply[2] = unit;
  reply[3] = RUN_INDICATOR_ON;
  std::memcpy(reply + 4, text.data(), text.size());
  return static_cast<std::uint16_t>(4 + text.size());
}

// Whether an object belongs to the stream of a read device id code.
bool InCategory(std::uint8_t readCode, std::uint8_t id) { return id <= LastObjectOf(readCode); }

// 43/14: the objects from the requested one on that fit; "more follows" with
// the next object id when the rest does not.
std::uint16_t ReadDeviceId(std::uint8_t unit, const std::uint8_t* request, std::uint16_t length,
                           std::uint8_t* reply) {
  if (length < 4) return ExceptionPdu(reply, FC_ENCAPSULATED_INTERFACE, EXCEPTION_ILLEGAL_DATA_VALUE);
  const std::uint8_t code = request[2];
  std::uint8_t first = request[3];
  if (code < READ_DEVICE_ID_BASIC || code > READ_DEVICE_ID_INDIVIDUAL)
    return ExceptionPdu(reply, FC_ENCAPSULATED_INTERFACE, EXCEPTION_ILLEGAL_DATA_VALUE);
  const slaveidentity::Objects objects = slaveidentity::ServedObjects(unit);
  auto at = objects.begin();
  if (code == READ_DEVICE_ID_INDIVIDUAL) {
    while (at != objects.end() && at->first != first) ++at;
    if (at == objects.end()) return ExceptionPdu(reply, FC_ENCAPSULATED_INTERFACE, EXCEPTION_ILLEGAL_DATA_ADDRESS);
  } else {
    // A stream from an object that is not served, or beyond the category, starts over at 0.
    while (at != objects.end() && at->first != first) ++at;
    if (at == objects.end() || !InCategory(code, first)) at = objects.begin();
  }
  reply[0] = FC_ENCAPSULATED_INTERFACE;
  reply[1] = MEI_READ_DEVICE_ID;
  reply[2] = code;
  reply[3] = kConformity;
  reply[4] = DEVICE_ID_LAST;
  reply[5] = 0;
  int fill = kDeviceIdHeader, count = 0;
  for (; at != objects.end() && InCategory(code, at->first); ++at) {
    const std::string& value = at->second;
    if (fill + 2 + static_cast<int>(value.size()) > MAX_PDU_LENGTH) {
      reply[4] = DEVICE_ID_MORE_FOLLOWS;
      reply[5] = at->first;
      break;
    }
    reply[fill] = at->first;
    reply[fill + 1] = static_cast<std::uint8_t>(value.size());
    std::memcpy(reply + fill + 2, value.data(), value.size());
    fill += 2 + static_cast<int>(value.size());
    ++count;
    if (code == READ_DEVICE_ID_INDIVIDUAL) break;
  }
  reply[6] = static_cast<std::uint8_t>(count);
  return static_cast<std::uint16_t>(fill);
}

}  // namespace

bool IsDeviceFunction(std::uint8_t function) {
  return function == FC_READ_EXCEPTION_STATUS || function == FC_DIAGNOSTICS ||
         function == FC_GET_COMM_EVENT_COUNTER || function == FC_REPORT_SLAVE_ID ||
         function == FC_ENCAPSULATED_INTERFACE;
}

std::uint16_t ServeDeviceFunction(std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength,
                                  std::uint8_t* reply) {
  // The reply may be built over the request: work from a copy.
  std::uint8_t request[MAX_PDU_LENGTH];
  const std::uint16_t length = pduLength < MAX_PDU_LENGTH ? pduLength : MAX_PDU_LENGTH;
  std::memcpy(request, pdu, length);
  switch (request[0]) {
    case FC_READ_EXCEPTION_STATUS: return ReadExceptionStatus(reply);
    case FC_DIAGNOSTICS: return Diagnostics(request, length, reply);
    case FC_GET_COMM_EVENT_COUNTER: return CommEventCounter(reply);
    case FC_REPORT_SLAVE_ID: return ReportSlaveId(unit, reply);
    case FC_ENCAPSULATED_INTERFACE:
      if (length < 2 || request[1] != MEI_READ_DEVICE_ID)
        return ExceptionPdu(reply, FC_ENCAPSULATED_INTERFACE, EXCEPTION_ILLEGAL_FUNCTION);
      return ReadDeviceId(unit, request, length, reply);
    default: return ExceptionPdu(reply, request[0], EXCEPTION_ILLEGAL_FUNCTION);
  }
}

}  // namespace slaveengine
