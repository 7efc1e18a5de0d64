#pragma once
// The Modbus vocabulary both programs speak: function codes, exception codes and
// the protocol's limits, named once. Qt-free; code switches on these names, so a
// limit changes in one place. Limits of our own engines (frame buffers, the
// master's wider register counts) stay with the engines and are named there.
#include <cstdint>

namespace modbus {

// ---- Function codes -----------------------------------------------------------
constexpr std::uint8_t FC_READ_COILS = 0x01;
constexpr std::uint8_t FC_READ_DISCRETE_INPUTS = 0x02;
constexpr std::uint8_t FC_READ_HOLDING_REGISTERS = 0x03;
constexpr std::uint8_t FC_READ_INPUT_REGISTERS = 0x04;
constexpr std::uint8_t FC_WRITE_SINGLE_COIL = 0x05;
constexpr std::uint8_t FC_WRITE_SINGLE_REGISTER = 0x06;
constexpr std::uint8_t FC_WRITE_MULTIPLE_COILS = 0x0F;
constexpr std::uint8_t FC_WRITE_MULTIPLE_REGISTERS = 0x10;
constexpr std::uint8_t FC_MASK_WRITE_REGISTER = 0x16;
constexpr std::uint8_t FC_WRITE_AND_READ_REGISTERS = 0x17;
// Diagnostics and identification (serial-line and device functions).
constexpr std::uint8_t FC_READ_EXCEPTION_STATUS = 0x07;
constexpr std::uint8_t FC_DIAGNOSTICS = 0x08;
constexpr std::uint8_t FC_GET_COMM_EVENT_COUNTER = 0x0B;
constexpr std::uint8_t FC_GET_COMM_EVENT_LOG = 0x0C;
constexpr std::uint8_t FC_REPORT_SLAVE_ID = 0x11;
constexpr std::uint8_t FC_READ_FILE_RECORD = 0x14;
constexpr std::uint8_t FC_WRITE_FILE_RECORD = 0x15;
constexpr std::uint8_t FC_READ_FIFO_QUEUE = 0x18;
constexpr std::uint8_t FC_ENCAPSULATED_INTERFACE = 0x2B;
constexpr std::uint8_t MEI_READ_DEVICE_ID = 0x0E;
// The master's one-shot slot also sends hand-made frames under this type.
constexpr std::uint8_t FC_RAW_FRAME = 0x00;

// An exception reply carries the request's function code with this bit set.
constexpr std::uint8_t EXCEPTION_FLAG = 0x80;

// ---- Exception codes ----------------------------------------------------------
constexpr std::uint8_t EXCEPTION_ILLEGAL_FUNCTION = 0x01;
constexpr std::uint8_t EXCEPTION_ILLEGAL_DATA_ADDRESS = 0x02;
constexpr std::uint8_t EXCEPTION_ILLEGAL_DATA_VALUE = 0x03;
constexpr std::uint8_t EXCEPTION_SLAVE_OR_SERVER_FAILURE = 0x04;
constexpr std::uint8_t EXCEPTION_ACKNOWLEDGE = 0x05;
constexpr std::uint8_t EXCEPTION_SLAVE_OR_SERVER_BUSY = 0x06;
constexpr std::uint8_t EXCEPTION_NEGATIVE_ACKNOWLEDGE = 0x07;
constexpr std::uint8_t EXCEPTION_MEMORY_PARITY = 0x08;
constexpr std::uint8_t EXCEPTION_GATEWAY_PATH = 0x0A;
constexpr std::uint8_t EXCEPTION_GATEWAY_TARGET = 0x0B;

// ---- Limits of one request ----------------------------------------------------
constexpr int MAX_READ_BITS = 2000;           // 01, 02
constexpr int MAX_WRITE_BITS = 1968;          // 15
constexpr int MAX_READ_REGISTERS = 125;       // 03, 04, the read part of 23
constexpr int MAX_WRITE_REGISTERS = 123;      // 16
constexpr int MAX_WR_WRITE_REGISTERS = 121;   // the write part of 23
constexpr int MAX_WR_READ_REGISTERS = 125;
constexpr int MAX_SLAVE_ID = 247;             // highest unicast address on a serial line
constexpr int MAX_UNIT_ID = 255;              // the one-byte address/unit field
constexpr int BROADCAST_ADDRESS = 0;
constexpr int MAX_PDU_LENGTH = 253;           // function code and data
constexpr int MAX_RTU_ADU_LENGTH = 256;       // address + PDU + CRC
constexpr int MBAP_HEADER_LENGTH = 7;         // transaction, protocol, length, unit
constexpr int MAX_TCP_ADU_LENGTH = 260;       // MBAP header + PDU

// Values of a 05 request.
constexpr std::uint16_t COIL_ON = 0xFF00;
constexpr std::uint16_t COIL_OFF = 0x0000;

// ---- Function classes ---------------------------------------------------------
constexpr bool IsBitRead(int function) {
  return function == FC_READ_COILS || function == FC_READ_DISCRETE_INPUTS;
}
constexpr bool IsRegisterRead(int function) {
  return function == FC_READ_HOLDING_REGISTERS || function == FC_READ_INPUT_REGISTERS;
}
constexpr bool IsRead(int function) { return IsBitRead(function) || IsRegisterRead(function); }
// The writes a broadcast may carry and whose reply echoes the request's first fields.
constexpr bool IsEchoWrite(int function) {
  return function == FC_WRITE_SINGLE_COIL || function == FC_WRITE_SINGLE_REGISTER ||
         function == FC_WRITE_MULTIPLE_COILS || function == FC_WRITE_MULTIPLE_REGISTERS;
}
// Functions whose data are coils (one bit each) rather than registers.
constexpr bool IsBitFunction(int function) {
  return IsBitRead(function) || function == FC_WRITE_SINGLE_COIL || function == FC_WRITE_MULTIPLE_COILS;
}
// Every function code both programs serve or poll.
constexpr bool IsSupportedFunction(int function) {
  return IsRead(function) || IsEchoWrite(function) || function == FC_MASK_WRITE_REGISTER ||
         function == FC_WRITE_AND_READ_REGISTERS;
}

// Bytes that hold `count` bits, packed eight to a byte.
constexpr int BitBytes(int count) { return (count + 7) / 8; }

// Highest data address (register or coil) of a request.
constexpr int MAX_ADDRESS = 65535;

}  // namespace modbus
