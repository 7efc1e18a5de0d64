// The master's reply checks for every function it sends, over RTU and ASCII
// with a scripted serial port answering each request, and over Modbus/TCP with a
// loopback peer thread (one connection on an ephemeral port). Input: link byte
// (bits 0..1: 0 RTU, 1 ASCII, 2 TCP; bit 2 echo on the serial line), transaction
// type, slave, address (2), quantity (2), then the reply bytes (the serial port
// delivers the request's echo first when echo is on). The serial port waits on
// the virtual clock, so a reply that ends short times out without real waiting.
// Output buffers are exact heap copies, so a value stored past the quantity is
// caught; a reply taken as good must come from the slave asked, with the
// function asked.
#include <arpa/inet.h>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "common/modbus_protocol.h"
#include "fuzz/fuzz_support.h"
#include "link/checksums.h"
#include "link/serial_link.h"
#include "link/tcp_client.h"
#include "master/engine/transactions.h"

namespace me = masterengine;

namespace {

constexpr std::uint8_t kFunctions[] = {
    modbus::FC_READ_COILS,           modbus::FC_READ_DISCRETE_INPUTS,    modbus::FC_READ_HOLDING_REGISTERS,
    modbus::FC_READ_INPUT_REGISTERS, modbus::FC_WRITE_SINGLE_COIL,       modbus::FC_WRITE_SINGLE_REGISTER,
    modbus::FC_WRITE_MULTIPLE_COILS, modbus::FC_WRITE_MULTIPLE_REGISTERS, modbus::FC_MASK_WRITE_REGISTER,
    modbus::FC_WRITE_AND_READ_REGISTERS};

enum LinkChoice { kRtu = 0, kAscii = 1, kTcp = 2 };
// The reply bytes of the current input; the TCP peer thread reads them too (a
// late peer may still answer the previous input's request).
std::mutex scriptLock;
fuzzsupport::Bytes replyScript;
bool echo = false;

bool Setup() {
  fuzzsupport::InstallScriptedSerial();
  fuzzsupport::SetSerialResponder([](const fuzzsupport::Bytes& request) {
    // The echo of the request, when on, is what the port hears first.
    fuzzsupport::Bytes answer = echo ? request : fuzzsupport::Bytes{};
    answer.insert(answer.end(), replyScript.begin(), replyScript.end());
    return answer;
  });
  return linklayer::OpenSerialPort(1, 19200, 8, 0, 0);
}

// ---- Modbus/TCP peer ---------------------------------------------------------------
// Reads one request frame (MBAP length field), then writes the scripted reply.
// Before it writes, it lets the virtual clock run out, so that a short reply
// times out at once instead of after the real response time-out.
constexpr std::uint32_t kTcpResponseTimeoutMs = 5;
int listener = -1;

void PeerLoop() {
  for (;;) {
    const int s = ::accept(listener, nullptr, nullptr);
    if (s < 0) continue;
    std::uint8_t request[linklayer::kMbapHeaderSize + 300];
    for (;;) {
      if (::recv(s, request, linklayer::kMbapHeaderSize, MSG_WAITALL) != linklayer::kMbapHeaderSize) break;
      const int following = request[4] << 8 | request[5];
      if (::recv(s, request + linklayer::kMbapHeaderSize, following, MSG_WAITALL) != following) break;
      // The reply takes the request's transaction id when the script leaves it 0.
      fuzzsupport::Bytes answer;
      {
        std::lock_guard<std::mutex> hold(scriptLock);
        answer = replyScript;
      }
      if (answer.size() >= 2 && answer[0] == 0 && answer[1] == 0) {
        answer[0] = request[0];
        answer[1] = request[1];
      }
      // Nothing follows this answer: the client's waits for more end at once.
      fuzzsupport::RunOutClock(true);
      if (!answer.empty()) ::send(s, answer.data(), answer.size(), MSG_NOSIGNAL);
    }
    ::close(s);
  }
}

bool ConnectTcp() {
  listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return false;
  std::thread(PeerLoop).detach();
  return linklayer::NetConnect(linklayer::NetTransport::kTcp, "127.0.0.1", ntohs(address.sin_port),
                                kTcpResponseTimeoutMs) ==
         linklayer::TcpConnectStatus::Ok;
}

std::uint16_t Run(std::uint8_t function, std::uint16_t slave, std::uint16_t address, std::uint16_t quantity) {
  switch (function) {
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS: {
      std::vector<std::uint8_t> bits(quantity);
      return me::ReadBits(slave, function, address, quantity, bits.data());
    }
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS: {
      std::vector<std::uint16_t> words(quantity);
      return me::ReadRegisters(slave, function, address, quantity, words.data());
    }
    case modbus::FC_WRITE_SINGLE_COIL: return me::WriteSingleCoil(slave, address, quantity & 1);
    case modbus::FC_WRITE_SINGLE_REGISTER: return me::WriteSingleRegister(slave, address, quantity);
    case modbus::FC_WRITE_MULTIPLE_COILS: {
      std::vector<std::uint8_t> coils(quantity, 1);
      return me::WriteMultipleCoils(slave, address, quantity, coils.data());
    }
    case modbus::FC_WRITE_MULTIPLE_REGISTERS: {
      std::vector<std::uint16_t> words(quantity, 0xA5A5);
      return me::WriteMultipleRegisters(slave, address, quantity, words.data());
    }
    case modbus::FC_MASK_WRITE_REGISTER: return me::MaskWriteRegister(slave, address, quantity, ~quantity);
    default: {
      // 23: the buffer carries the written registers in and the read ones out.
      const std::uint16_t writeCount = quantity % (me::kMaxWriteRegisters + 2);
      const std::uint16_t readCount = quantity % (me::kMaxReadRegisters + 2);
      std::vector<std::uint16_t> words(std::max(writeCount, readCount), 0x5A5A);
      return me::ReadWriteRegisters(slave, address, readCount, address, writeCount, words.data());
    }
  }
}

// The slave address and function of the reply the master recorded as received.
void CheckAccepted(int mode, std::uint8_t slave, std::uint8_t function) {
  std::uint8_t record[me::kSlotReceivedCapacity];
  const std::uint16_t length = me::CopyLastReceivedFrame(record);
  const fuzzsupport::Bytes received(record, record + length);
  fuzzsupport::Bytes binary = received;
  if (mode == kTcp) {
    fuzzsupport::Require(received.size() > linklayer::kMbapHeaderSize, "a TCP reply taken as good");
    binary.erase(binary.begin(), binary.begin() + linklayer::kMbapHeaderSize);
  } else if (mode == kAscii) {
    fuzzsupport::Require(received.size() >= 5 && received[0] == ':', "an ASCII reply taken as good");
    binary.resize(2);
    linklayer::DecodeHex(reinterpret_cast<const char*>(received.data()) + 1, 2, binary.data());
  }
  fuzzsupport::Require(binary.size() >= 2 && binary[0] == slave && binary[1] == function,
                       "a reply taken as good comes from the slave asked, with the function asked");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = Setup();
  fuzzsupport::Require(ready, "the scripted port opens");
  fuzzsupport::InputReader in(data, size);
  const std::uint8_t link = in.byte();
  const std::uint8_t function = kFunctions[in.byte() % sizeof kFunctions];
  const std::uint8_t slave = in.byte();
  const std::uint16_t address = in.word();
  const std::uint16_t quantity = in.word() % (modbus::MAX_READ_BITS + 8);
  {
    std::lock_guard<std::mutex> hold(scriptLock);
    replyScript = in.rest();
  }
  const int mode = (link & 3) == 3 ? kRtu : link & 3;
  if (mode == kTcp) {
    static const bool connected = ConnectTcp();
    fuzzsupport::Require(connected, "the loopback peer answers");
    // A failed send reconnects silently; without a connection there is nothing to check.
    if (!linklayer::IsTcpConnected()) return 0;
  }
  echo = mode != kTcp && (link & 4);
  me::SetExchangeLinkMode(static_cast<std::uint16_t>(mode));
  me::SetExchangeEcho(echo);
  fuzzsupport::ClearSerial();
  fuzzsupport::RunOutClock(false);
  const std::uint16_t result = Run(function, slave, address, quantity);
  fuzzsupport::RunOutClock(false);
  if (result == me::RESULT_OK && slave != modbus::BROADCAST_ADDRESS) CheckAccepted(mode, slave, function);
  return 0;
}
