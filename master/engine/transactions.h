#pragma once
// Master transactions: build each Modbus request, exchange it over the active
// link (RTU, ASCII, Modbus/TCP, RTU over TCP or Modbus/UDP), check the reply and turn it into values plus
// one result code. Everything here runs on the poll thread, one transaction at a
// time, and takes no lock. The last frame sent and received are kept for the
// traffic monitor.
#include <cstdint>

#include "common/modbus_protocol.h"
#include "master/engine/comm_interface.h"
#include "master/engine/result_codes.h"

namespace masterengine {

// Reply buffers hold the largest serial reply (259 bytes) with room to spare.
constexpr int kReplyBufferSize = 260;
// A request before framing: type 23 with 127 registers is 265 bytes; +2 for the CRC.
constexpr int kRequestBufferSize = 272;

// The request limits (kMaxReadBits, kMaxReadRegisters, kMaxWriteCoils,
// kMaxWriteRegisters) are those of comm_interface.h; a raw frame may be as long
// as a slot's data.
constexpr std::uint16_t kMaxRawFrame = kRequestDataBytes;

void SetExchangeLinkMode(std::uint16_t mode);  // 0 RTU, 1 ASCII, 2 Modbus/TCP, 3 RTU over TCP, 4 Modbus/UDP
std::uint16_t ExchangeLinkMode();
void SetExchangeEcho(bool on);

// Copy the records out; return the length (0 when nothing is recorded).
std::uint16_t CopyLastSentFrame(std::uint8_t* buffer);      // kSlotSentCapacity bytes
std::uint16_t CopyLastReceivedFrame(std::uint8_t* buffer);  // kSlotReceivedCapacity bytes

// Record keeping for the exchanges (also used by the Modbus/TCP exchange).
void ClearFrameRecords();
// A frame longer than the record is recorded with length 0.
void RecordSentFrame(const std::uint8_t* bytes, std::uint16_t length);
void RecordReceivedFrame(const std::uint8_t* bytes, std::uint16_t length);

// Exchanges a request (slave address first, no checksum or header; the buffer has
// two spare bytes for the CRC) for a reply of expectedLength bytes in the same
// form. reply must hold kReplyBufferSize bytes.
std::uint16_t Exchange(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                       std::uint16_t expectedLength);
std::uint16_t ExchangeRtu(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                          std::uint16_t expectedLength);
std::uint16_t ExchangeAscii(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                            std::uint16_t expectedLength);
// Modbus/TCP and Modbus/UDP (the link tells the framing of the reply apart).
std::uint16_t ExchangeTcp(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                          std::uint16_t expectedLength);
// RTU frames on a TCP stream: as ExchangeRtu, over the network link.
std::uint16_t ExchangeRtuOverTcp(std::uint8_t* request, std::uint16_t length, std::uint8_t* reply,
                                 std::uint16_t expectedLength);
// The result of an RTU reply of `got` bytes (0: none came) where replyLength
// bytes (CRC included) were expected: an exception after its 5 bytes, else the
// whole frame with a good CRC and of the expected length.
std::uint16_t CheckRtuReply(const std::uint8_t* reply, int got, int replyLength);
// Raw frames (type 0): sent as given; the reply is only in the received record.
std::uint16_t ExchangeRaw(const std::uint8_t* bytes, std::uint16_t length);
std::uint16_t ExchangeSerialRaw(const std::uint8_t* bytes, std::uint16_t length);
std::uint16_t ExchangeTcpRaw(const std::uint8_t* bytes, std::uint16_t length);

// Transactions. Counts beyond the limits above are refused with RESULT_WRITE
// before anything is sent.
std::uint16_t ReadBits(std::uint16_t slave, std::uint16_t function, std::uint16_t address, std::uint16_t quantity,
                       std::uint8_t* out);  // out[k] 0 or 1
std::uint16_t ReadRegisters(std::uint16_t slave, std::uint16_t function, std::uint16_t address,
                            std::uint16_t quantity, std::uint16_t* out);
std::uint16_t WriteSingleCoil(std::uint16_t slave, std::uint16_t address, std::uint8_t value);
std::uint16_t WriteSingleRegister(std::uint16_t slave, std::uint16_t address, std::uint16_t value);
std::uint16_t WriteMultipleCoils(std::uint16_t slave, std::uint16_t address, std::uint16_t count,
                                 const std::uint8_t* coils);  // one byte per coil, on when not 0
std::uint16_t WriteMultipleRegisters(std::uint16_t slave, std::uint16_t address, std::uint16_t count,
                                     const std::uint16_t* values);
std::uint16_t MaskWriteRegister(std::uint16_t slave, std::uint16_t address, std::uint16_t andMask,
                                std::uint16_t orMask);
// values carries the registers to write in and, on success, the read registers out.
std::uint16_t ReadWriteRegisters(std::uint16_t slave, std::uint16_t readAddress, std::uint16_t readQuantity,
                                 std::uint16_t writeAddress, std::uint16_t writeCount, std::uint16_t* values);

}  // namespace masterengine
