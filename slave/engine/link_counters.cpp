#include "slave/engine/link_counters.h"

#include <atomic>

#include "common/modbus_protocol.h"
#include "slave/engine/slave_engine.h"

namespace slavecounters {
namespace {

std::atomic<std::uint16_t> counters[kCounterCount];
std::atomic<std::uint16_t> events{0};

void Add(Counter which) { counters[which].fetch_add(1, std::memory_order_relaxed); }

}  // namespace

void CountBusMessage() { Add(kBusMessages); }
void CountCheckError() { Add(kBusErrors); }
void CountOverrun() { Add(kOverruns); }

void CountServerMessage() { Add(kServerMessages); }

void CountReply(const std::uint8_t* replyPdu, std::uint16_t replyLength) {
  if (replyLength == 0) {
    Add(kNoResponse);
    return;
  }
  if ((replyPdu[0] & modbus::EXCEPTION_FLAG) == 0) {
    if (replyPdu[0] != modbus::FC_GET_COMM_EVENT_COUNTER) events.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  Add(kExceptions);
  const std::uint8_t code = replyLength >= 2 ? replyPdu[1] : 0;
  if (code == modbus::EXCEPTION_NEGATIVE_ACKNOWLEDGE) Add(kNaks);
  if (code == modbus::EXCEPTION_SLAVE_OR_SERVER_BUSY) Add(kBusy);
}

namespace {
constexpr std::uint16_t kMbap = modbus::MBAP_HEADER_LENGTH;  // the unit id is its last byte

bool TcpAddressed(const std::uint8_t* request, std::uint16_t length) {
  return length > kMbap && slaveengine::IsAddressed(slaveengine::Transport::kTcp, request[kMbap - 1]);
}
}  // namespace

void CountTcpRequest(const std::uint8_t* request, std::uint16_t length) {
  CountBusMessage();
  if (TcpAddressed(request, length)) CountServerMessage();
}

void CountTcpReply(const std::uint8_t* request, std::uint16_t length, const std::uint8_t* reply,
                   std::uint16_t replyLength) {
  if (TcpAddressed(request, length))
    CountReply(reply + kMbap, static_cast<std::uint16_t>(replyLength > kMbap ? replyLength - kMbap : 0));
}

std::uint16_t Count(Counter which) { return counters[which].load(std::memory_order_relaxed); }
std::uint16_t EventCount() { return events.load(std::memory_order_relaxed); }

void ClearCounters() {
  for (auto& counter : counters) counter.store(0, std::memory_order_relaxed);
  events.store(0, std::memory_order_relaxed);
}

}  // namespace slavecounters
