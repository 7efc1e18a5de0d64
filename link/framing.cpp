#include "link/framing.h"

#include "link/checksums.h"
#include "common/modbus_protocol.h"

namespace linklayer {

std::uint16_t AppendCrc(std::uint8_t* frame, std::uint16_t length, Check check) {
  std::uint16_t crc = ComputeCrc16(frame, length);
  if (check == Check::kSpoiled) crc ^= 0x00FF;
  frame[length] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[length + 1] = static_cast<std::uint8_t>(crc >> 8);
  return static_cast<std::uint16_t>(length + 2);
}

std::uint16_t BuildAsciiFrame(const std::uint8_t* bytes, std::uint16_t length, char* text, Check check) {
  std::uint8_t lrc = ComputeLrc(bytes, length);
  if (check == Check::kSpoiled) ++lrc;
  text[0] = ':';
  EncodeHex(bytes, length, text + 1);
  int n = 1 + 2 * length;
  text[n++] = NibbleToHexChar(static_cast<std::uint8_t>(lrc >> 4));
  text[n++] = NibbleToHexChar(static_cast<std::uint8_t>(lrc & 0x0F));
  text[n++] = '\r';
  text[n++] = '\n';
  return static_cast<std::uint16_t>(n);
}

void PutMbapHeader(std::uint8_t* frame, std::uint16_t transactionId, std::uint16_t followingLength) {
  frame[0] = static_cast<std::uint8_t>(transactionId >> 8);
  frame[1] = static_cast<std::uint8_t>(transactionId & 0xFF);
  frame[2] = 0;
  frame[3] = 0;
  frame[4] = static_cast<std::uint8_t>(followingLength >> 8);
  frame[5] = static_cast<std::uint8_t>(followingLength & 0xFF);
}

int MbapFollowingLength(const std::uint8_t* header) {
  if (header[2] != 0 || header[3] != 0) return -1;
  return (header[4] << 8) | header[5];
}

namespace {

constexpr int kCrcSize = 2;

// Length of a frame whose byte count sits at countAt, with `fixed` bytes before
// the counted data (the count byte included).
int CountedLength(const std::uint8_t* frame, int have, int countAt, int fixed) {
  if (have <= countAt) return 0;
  return fixed + frame[countAt] + kCrcSize;
}

// Read device identification reply: header of 8 bytes, then objects of
// id, length, value. Walks the objects present so far.
int DeviceIdReplyLength(const std::uint8_t* frame, int have) {
  constexpr int kHeader = 8;  // address, 0x2B, 0x0E, code, conformity, more, next, count
  if (have < 3) return 0;
  if (frame[2] != modbus::MEI_READ_DEVICE_ID) return -1;
  if (have < kHeader) return 0;
  int at = kHeader;
  for (int object = 0; object < frame[7]; ++object) {
    if (have < at + 2) return 0;
    at += 2 + frame[at + 1];
    if (at > modbus::MAX_RTU_ADU_LENGTH) return -1;
  }
  return at + kCrcSize;
}

}  // namespace

int RtuRequestLength(const std::uint8_t* frame, int have) {
  if (have < 2) return 0;
  switch (frame[1]) {
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS:
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS:
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER:
    case modbus::FC_DIAGNOSTICS:  // with one data word; longer queries end at the silence
      return 8;
    case modbus::FC_READ_EXCEPTION_STATUS:
    case modbus::FC_GET_COMM_EVENT_COUNTER:
    case modbus::FC_GET_COMM_EVENT_LOG:
    case modbus::FC_REPORT_SLAVE_ID:
      return 4;
    case modbus::FC_WRITE_MULTIPLE_COILS:
    case modbus::FC_WRITE_MULTIPLE_REGISTERS:
      return CountedLength(frame, have, 6, 7);
    case modbus::FC_READ_FILE_RECORD:
    case modbus::FC_WRITE_FILE_RECORD:
      return CountedLength(frame, have, 2, 3);
    case modbus::FC_MASK_WRITE_REGISTER:
      return 10;
    case modbus::FC_WRITE_AND_READ_REGISTERS:
      return CountedLength(frame, have, 10, 11);
    case modbus::FC_READ_FIFO_QUEUE:
      return 6;
    case modbus::FC_ENCAPSULATED_INTERFACE:
      if (have < 3) return 0;
      return frame[2] == modbus::MEI_READ_DEVICE_ID ? 7 : -1;
    default:
      return -1;
  }
}

int RtuReplyLength(const std::uint8_t* frame, int have) {
  if (have < 2) return 0;
  if (frame[1] & modbus::EXCEPTION_FLAG) return 5;
  switch (frame[1]) {
    case modbus::FC_READ_COILS:
    case modbus::FC_READ_DISCRETE_INPUTS:
    case modbus::FC_READ_HOLDING_REGISTERS:
    case modbus::FC_READ_INPUT_REGISTERS:
    case modbus::FC_GET_COMM_EVENT_LOG:
    case modbus::FC_REPORT_SLAVE_ID:
    case modbus::FC_READ_FILE_RECORD:
    case modbus::FC_WRITE_FILE_RECORD:
    case modbus::FC_WRITE_AND_READ_REGISTERS:
      return CountedLength(frame, have, 2, 3);
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER:
    case modbus::FC_WRITE_MULTIPLE_COILS:
    case modbus::FC_WRITE_MULTIPLE_REGISTERS:
    case modbus::FC_DIAGNOSTICS:
    case modbus::FC_GET_COMM_EVENT_COUNTER:
      return 8;
    case modbus::FC_READ_EXCEPTION_STATUS:
      return 5;
    case modbus::FC_MASK_WRITE_REGISTER:
      return 10;
    case modbus::FC_READ_FIFO_QUEUE:
      if (have < 4) return 0;
      return 4 + (frame[2] << 8 | frame[3]) + kCrcSize;
    case modbus::FC_ENCAPSULATED_INTERFACE:
      return DeviceIdReplyLength(frame, have);
    default:
      return -1;
  }
}

}  // namespace linklayer
