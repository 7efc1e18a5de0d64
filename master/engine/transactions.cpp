#include "master/engine/transactions.h"

#include <atomic>
#include <cstring>

#include "common/modbus_protocol.h"
#include "common/word_order.h"
#include "link/checksums.h"
#include "link/framing.h"
#include "link/serial_link.h"

namespace masterengine {
namespace {

// Set from the user-interface thread, read by the poll thread.
std::atomic<std::uint16_t> linkMode{0};
std::atomic<bool> echoOn{false};

std::uint8_t sentRecord[kSlotSentCapacity];
std::uint16_t sentLength = 0;
std::uint8_t receivedRecord[kSlotReceivedCapacity];
std::uint16_t receivedLength = 0;

// The echo of a request is read here and dropped: the largest ASCII request.
std::uint8_t echoScratch[kSlotSentCapacity];

using wordorder::Get16;
using wordorder::Put16;

// Builds slave, function, then two 16-bit fields: the head shared by every type
// except the raw frame.
std::uint16_t PutHead(std::uint8_t* request, std::uint16_t slave, std::uint8_t function, std::uint16_t first,
                      std::uint16_t second) {
  request[0] = static_cast<std::uint8_t>(slave);
  request[1] = function;
  Put16(request + 2, first);
  Put16(request + 4, second);
  return 6;
}

// A serial reply is read until it is whole, not until the read time-outs: an
// exception reply (5 bytes) is shorter than the reply the request expects.
bool RtuReplyComplete(const std::uint8_t* bytes, int have) {
  const int length = linklayer::RtuReplyLength(bytes, have);
  return length >= 4 && have >= length && linklayer::ComputeCrc16(bytes, static_cast<std::uint16_t>(length)) == 0;
}

bool AsciiReplyComplete(const std::uint8_t* bytes, int have) { return have >= 2 && bytes[have - 1] == '\n'; }

std::uint16_t ExchangeWithRetries(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                                  std::uint16_t expectedLength) {
  std::uint16_t result = RESULT_OK;
  for (int attempt = 0; attempt < kExchangeAttempts; ++attempt) {
    result = Exchange(request, length, reply, expectedLength);
    if (result == RESULT_OK) break;
  }
  return result;
}

// Reads: the reply must come from the addressed slave with the same function.
std::uint16_t CheckReadReply(const std::uint8_t* reply, std::uint16_t slave, std::uint8_t function) {
  if (reply[0] != static_cast<std::uint8_t>(slave) || reply[1] != function) return RESULT_RESPONSE;
  return RESULT_OK;
}

// Writes: the reply repeats the first `compared` bytes of the request, except
// after a broadcast, which gets no reply.
std::uint16_t CheckWriteReply(const std::uint8_t* reply, const std::uint8_t* request, std::uint16_t compared) {
  if (request[0] != 0 && std::memcmp(reply, request, compared) != 0) return RESULT_RESPONSE;
  return RESULT_OK;
}

std::uint16_t WriteTransaction(std::uint8_t* request, std::uint16_t length, std::uint16_t compared) {
  std::uint8_t reply[kReplyBufferSize];
  const std::uint16_t result = ExchangeWithRetries(request, length, reply, compared);
  if (result != RESULT_OK) return result;
  return CheckWriteReply(reply, request, compared);
}

}  // namespace

void SetExchangeLinkMode(std::uint16_t mode) {
  if (mode <= kLinkUdp) linkMode = mode;
}
std::uint16_t ExchangeLinkMode() { return linkMode; }
void SetExchangeEcho(bool on) { echoOn = on; }

void ClearFrameRecords() {
  sentLength = 0;
  receivedLength = 0;
}

void RecordSentFrame(const std::uint8_t* bytes, std::uint16_t length) {
  if (length > kSlotSentCapacity) length = 0;
  std::memcpy(sentRecord, bytes, length);
  sentLength = length;
}

void RecordReceivedFrame(const std::uint8_t* bytes, std::uint16_t length) {
  if (length > kSlotReceivedCapacity) length = 0;
  std::memcpy(receivedRecord, bytes, length);
  receivedLength = length;
}

std::uint16_t CopyLastSentFrame(std::uint8_t* buffer) {
  std::memcpy(buffer, sentRecord, sentLength);
  return sentLength;
}

std::uint16_t CopyLastReceivedFrame(std::uint8_t* buffer) {
  std::memcpy(buffer, receivedRecord, receivedLength);
  return receivedLength;
}

std::uint16_t Exchange(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                       std::uint16_t expectedLength) {
  switch (linkMode) {
    case 1: return ExchangeAscii(request, length, reply, expectedLength);
    case kLinkTcp:
    case kLinkUdp: return ExchangeTcp(request, length, reply, expectedLength);
    case kLinkRtuOverTcp: return ExchangeRtuOverTcp(request, length, reply, expectedLength);
    default: return ExchangeRtu(request, length, reply, expectedLength);
  }
}

std::uint16_t ExchangeRtu(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                          std::uint16_t expectedLength) {
  const std::uint16_t frameLength = linklayer::AppendCrc(request, length);
  const std::uint16_t replyLength = expectedLength + 2;
  ClearFrameRecords();

  if (!linklayer::IsSerialPortOpen()) return RESULT_NO_CONNECTION;
  linklayer::WaitFrameGap();
  linklayer::PurgeSerialPort();
  std::memset(reply, 0, replyLength);
  if (!linklayer::SerialWrite(request, frameLength)) return RESULT_WRITE;
  if (echoOn) linklayer::SerialRead(echoScratch, frameLength);  // our own frame, heard back
  RecordSentFrame(request, frameLength);

  if (request[0] == 0) {  // broadcast: no slave answers
    linklayer::WaitSerialFrameSent(frameLength);
    return RESULT_OK;
  }

  const int got = linklayer::SerialReadFrame(reply, replyLength, RtuReplyComplete);
  if (got < 0) return RESULT_READ;
  RecordReceivedFrame(reply, static_cast<std::uint16_t>(got));
  return CheckRtuReply(reply, got, replyLength);
}

std::uint16_t CheckRtuReply(const std::uint8_t* reply, int got, int replyLength) {
  if (got == 0) return RESULT_TIMEOUT;
  if (got >= 2 && reply[1] > modbus::EXCEPTION_FLAG) {
    // Exception reply: address, function | 0x80, code, CRC.
    if (got < 5) return RESULT_BYTES_MISSING;
    if (linklayer::ComputeCrc16(reply, 5) != 0) return RESULT_CRC;
    return static_cast<std::uint16_t>(RESULT_EXCEPTION_BASE + reply[2]);
  }
  if (got < replyLength) return RESULT_BYTES_MISSING;
  if (linklayer::ComputeCrc16(reply, static_cast<std::uint16_t>(got)) != 0) return RESULT_CRC;
  if (got != replyLength) return RESULT_RESPONSE;  // a whole frame, but not the one asked for
  return RESULT_OK;
}

std::uint16_t ExchangeAscii(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                            std::uint16_t expectedLength) {
  char text[kSlotSentCapacity];
  const std::uint16_t textLength = linklayer::BuildAsciiFrame(request, length, text);
  ClearFrameRecords();

  if (!linklayer::IsSerialPortOpen()) return RESULT_NO_CONNECTION;
  linklayer::PurgeSerialPort();
  std::memset(reply, 0, expectedLength + 2);
  const auto* textBytes = reinterpret_cast<const std::uint8_t*>(text);
  if (!linklayer::SerialWrite(textBytes, textLength)) return RESULT_WRITE;
  if (echoOn) linklayer::SerialRead(echoScratch, textLength);
  RecordSentFrame(textBytes, textLength);

  if (request[0] == 0) {
    linklayer::WaitSerialFrameSent(textLength);
    return RESULT_OK;
  }

  std::uint8_t received[kSlotReceivedCapacity];
  const std::uint16_t replyTextLength = 2 * expectedLength + 5;
  const int got = linklayer::SerialReadFrame(received, replyTextLength, AsciiReplyComplete);
  if (got < 0) return RESULT_READ;
  RecordReceivedFrame(received, static_cast<std::uint16_t>(got));
  if (got == 0) return RESULT_TIMEOUT;

  const char* rx = reinterpret_cast<const char*>(received);
  // ":" + address (2) + function (2): anything shorter carries no function code.
  if (got < 5) return RESULT_BYTES_MISSING;
  const std::uint8_t function =
      linklayer::JoinNibbles(linklayer::HexCharToNibble(rx[3]), linklayer::HexCharToNibble(rx[4]));
  if (function > modbus::EXCEPTION_FLAG) {
    // Exception replies are taken without an LRC or length check.
    if (got < 7) return RESULT_BYTES_MISSING;
    const std::uint8_t code =
        linklayer::JoinNibbles(linklayer::HexCharToNibble(rx[5]), linklayer::HexCharToNibble(rx[6]));
    return static_cast<std::uint16_t>(RESULT_EXCEPTION_BASE + code);
  }
  if (got != replyTextLength) return RESULT_BYTES_MISSING;
  if (!linklayer::CheckAsciiLrc(rx, static_cast<std::uint16_t>(got))) return RESULT_CRC;
  linklayer::DecodeHex(rx + 1, expectedLength, reply);
  return RESULT_OK;
}

std::uint16_t ExchangeSerialRaw(const std::uint8_t* bytes, std::uint16_t length) {
  ClearFrameRecords();
  if (!linklayer::IsSerialPortOpen()) return RESULT_NO_CONNECTION;
  linklayer::WaitFrameGap();
  linklayer::PurgeSerialPort();
  if (!linklayer::SerialWrite(bytes, length)) return RESULT_WRITE;
  // No purge after the write: on a real port it would discard the part of the
  // frame still waiting in the transmitter.
  RecordSentFrame(bytes, length);
  std::uint8_t received[kSlotReceivedCapacity];
  const int got = linklayer::SerialRead(received, kSlotReceivedCapacity);
  if (got < 0) return RESULT_READ;
  RecordReceivedFrame(received, static_cast<std::uint16_t>(got));
  return RESULT_OK;
}

std::uint16_t ExchangeRaw(const std::uint8_t* bytes, std::uint16_t length) {
  if (length > kMaxRawFrame) return RESULT_WRITE;
  return linkMode >= kLinkTcp ? ExchangeTcpRaw(bytes, length) : ExchangeSerialRaw(bytes, length);
}

std::uint16_t ReadBits(std::uint16_t slave, std::uint16_t function, std::uint16_t address, std::uint16_t quantity,
                       std::uint8_t* out) {
  if (quantity > kMaxReadBits) return RESULT_WRITE;
  std::uint8_t request[kRequestBufferSize];
  const auto code = static_cast<std::uint8_t>(function);
  const std::uint16_t length = PutHead(request, slave, code, address, quantity);
  std::uint8_t reply[kReplyBufferSize];
  std::uint16_t result = ExchangeWithRetries(request, length, reply, 3 + modbus::BitBytes(quantity));
  if (result == RESULT_OK) result = CheckReadReply(reply, slave, code);
  if (result != RESULT_OK) return result;
  for (int k = 0; k < quantity; ++k) out[k] = (reply[3 + k / 8] >> (k % 8)) & 1;
  return RESULT_OK;
}

std::uint16_t ReadRegisters(std::uint16_t slave, std::uint16_t function, std::uint16_t address,
                            std::uint16_t quantity, std::uint16_t* out) {
  if (quantity > kMaxReadRegisters) return RESULT_WRITE;
  std::uint8_t request[kRequestBufferSize];
  const auto code = static_cast<std::uint8_t>(function);
  const std::uint16_t length = PutHead(request, slave, code, address, quantity);
  std::uint8_t reply[kReplyBufferSize];
  std::uint16_t result = ExchangeWithRetries(request, length, reply, 3 + 2 * quantity);
  if (result == RESULT_OK) result = CheckReadReply(reply, slave, code);
  if (result != RESULT_OK) return result;
  for (int i = 0; i < quantity; ++i) out[i] = Get16(reply + 3 + 2 * i);
  return RESULT_OK;
}

std::uint16_t WriteSingleCoil(std::uint16_t slave, std::uint16_t address, std::uint8_t value) {
  std::uint8_t request[kRequestBufferSize];
  const std::uint16_t length = PutHead(request, slave, modbus::FC_WRITE_SINGLE_COIL, address,
                                       value != 0 ? modbus::COIL_ON : modbus::COIL_OFF);
  return WriteTransaction(request, length, 6);
}

std::uint16_t WriteSingleRegister(std::uint16_t slave, std::uint16_t address, std::uint16_t value) {
  std::uint8_t request[kRequestBufferSize];
  const std::uint16_t length = PutHead(request, slave, modbus::FC_WRITE_SINGLE_REGISTER, address, value);
  return WriteTransaction(request, length, 6);
}

std::uint16_t WriteMultipleCoils(std::uint16_t slave, std::uint16_t address, std::uint16_t count,
                                 const std::uint8_t* coils) {
  if (count > kMaxWriteCoils) return RESULT_WRITE;
  std::uint8_t request[kRequestBufferSize];
  PutHead(request, slave, modbus::FC_WRITE_MULTIPLE_COILS, address, count);
  const std::uint16_t byteCount = modbus::BitBytes(count);
  request[6] = static_cast<std::uint8_t>(byteCount);
  std::memset(request + 7, 0, byteCount);
  for (int k = 0; k < count; ++k) {
    if (coils[k] != 0) request[7 + k / 8] |= static_cast<std::uint8_t>(1u << (k % 8));
  }
  return WriteTransaction(request, 7 + byteCount, 6);
}

std::uint16_t WriteMultipleRegisters(std::uint16_t slave, std::uint16_t address, std::uint16_t count,
                                     const std::uint16_t* values) {
  if (count > kMaxWriteRegisters) return RESULT_WRITE;
  std::uint8_t request[kRequestBufferSize];
  PutHead(request, slave, modbus::FC_WRITE_MULTIPLE_REGISTERS, address, count);
  request[6] = static_cast<std::uint8_t>(2 * count);
  for (int i = 0; i < count; ++i) Put16(request + 7 + 2 * i, values[i]);
  return WriteTransaction(request, 7 + 2 * count, 6);
}

std::uint16_t MaskWriteRegister(std::uint16_t slave, std::uint16_t address, std::uint16_t andMask,
                                std::uint16_t orMask) {
  std::uint8_t request[kRequestBufferSize];
  PutHead(request, slave, modbus::FC_MASK_WRITE_REGISTER, address, andMask);
  Put16(request + 6, orMask);
  return WriteTransaction(request, 8, 8);
}

std::uint16_t ReadWriteRegisters(std::uint16_t slave, std::uint16_t readAddress, std::uint16_t readQuantity,
                                 std::uint16_t writeAddress, std::uint16_t writeCount, std::uint16_t* values) {
  if (readQuantity > kMaxReadRegisters || writeCount > kMaxWriteRegisters) return RESULT_WRITE;
  std::uint8_t request[kRequestBufferSize];
  PutHead(request, slave, modbus::FC_WRITE_AND_READ_REGISTERS, readAddress, readQuantity);
  Put16(request + 6, writeAddress);
  Put16(request + 8, writeCount);
  request[10] = static_cast<std::uint8_t>(2 * writeCount);
  for (int i = 0; i < writeCount; ++i) Put16(request + 11 + 2 * i, values[i]);
  std::uint8_t reply[kReplyBufferSize];
  std::uint16_t result = ExchangeWithRetries(request, 11 + 2 * writeCount, reply, 3 + 2 * readQuantity);
  if (result == RESULT_OK) result = CheckReadReply(reply, slave, modbus::FC_WRITE_AND_READ_REGISTERS);
  if (result != RESULT_OK) return result;
  for (int i = 0; i < readQuantity; ++i) values[i] = Get16(reply + 3 + 2 * i);
  return RESULT_OK;
}

}  // namespace masterengine
