#include "master/core/automation_values.h"

#include <bit>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "common/word_order.h"
#include "master/core/poll_definition.h"

namespace zelmor::automation {

namespace {

bool InRange(int index, int last) { return index >= 0 && index <= last; }

void PutWord(std::uint8_t* image, int registerIndex, std::uint16_t word) {
  image[2 * registerIndex] = static_cast<std::uint8_t>(word & 0xFF);
  image[2 * registerIndex + 1] = static_cast<std::uint8_t>(word >> 8);
}

// Writes the `count` registers of a 32- or 64-bit element; inverse puts the most
// significant word first.
void PutWords(std::uint8_t* image, int index, std::uint64_t bits, int count, bool inverse) {
  std::uint16_t words[4];
  wordorder::Split(bits, count, wordorder::FromSwap(inverse), words);
  for (int k = 0; k < count; ++k) PutWord(image, count * index + k, words[k]);
}

}  // namespace

std::int16_t Register(const std::uint8_t* image, int index) {
  if (!InRange(index, kLastRegister)) return 0;
  return static_cast<std::int16_t>(image[2 * index] | (image[2 * index + 1] << 8));
}

void SetRegister(std::uint8_t* image, int index, std::int16_t value) {
  if (InRange(index, kLastRegister)) PutWord(image, index, static_cast<std::uint16_t>(value));
}

std::int32_t Long(const std::uint8_t* image, int index, bool inverse) {
  if (!InRange(index, kLastLong)) return 0;
  return static_cast<std::int32_t>(valuefmt::Compose32(image, 2 * index, inverse));
}

void SetLong(std::uint8_t* image, int index, std::int32_t value, bool inverse) {
  if (InRange(index, kLastLong)) PutWords(image, index, static_cast<std::uint32_t>(value), 2, inverse);
}

float Float(const std::uint8_t* image, int index, bool inverse) {
  if (!InRange(index, kLastLong)) return 0.0f;
  return std::bit_cast<float>(valuefmt::Compose32(image, 2 * index, inverse));
}

void SetFloat(std::uint8_t* image, int index, float value, bool inverse) {
  if (InRange(index, kLastLong)) PutWords(image, index, std::bit_cast<std::uint32_t>(value), 2, inverse);
}

double ValueInFormat(const std::uint8_t* image, int index, int format) {
  const int n = valuefmt::RegistersPerValue(format);
  double value = 0;
  if (n == 1 || !InRange(index, n == 2 ? kLastLong : kLastDouble)) return 0;
  valuefmt::CellNumber(image, kImageBytes, modbus::FC_READ_HOLDING_REGISTERS, format, n * index, n * (index + 1), true,
                       &value);
  return value;
}

void SetValueInFormat(std::uint8_t* image, int index, int format, double value) {
  const int n = valuefmt::RegistersPerValue(format);
  std::uint16_t words[4];
  if (n == 1 || !InRange(index, n == 2 ? kLastLong : kLastDouble) || !valuefmt::NumberRegisters(format, value, words))
    return;
  for (int w = 0; w < n; ++w) PutWord(image, n * index + w, words[w]);
}

double Double(const std::uint8_t* image, int index, bool inverse) {
  if (!InRange(index, kLastDouble)) return 0.0;
  return std::bit_cast<double>(valuefmt::Compose64(image, 4 * index, inverse));
}

void SetDouble(std::uint8_t* image, int index, double value, bool inverse) {
  if (InRange(index, kLastDouble)) PutWords(image, index, std::bit_cast<std::uint64_t>(value), 4, inverse);
}

std::int16_t Coil(const std::uint8_t* image, int index) {
  if (!InRange(index, kLastCoil)) return 0;
  return image[index] != 0 ? 1 : 0;
}

void SetCoil(std::uint8_t* image, int index, std::int16_t value) {
  if (InRange(index, kLastCoil)) image[index] = value != 0 ? 1 : 0;
}

bool RequestAcceptable(int slaveId, int function, int address, int length, int scanRate) {
  return !CheckPollDefinition(slaveId, function, address, length, scanRate);
}

bool WriteAcceptable(int function, int slaveId, int address, int count) {
  if (slaveId < 0 || slaveId > modbus::MAX_UNIT_ID || address < 0 || address > modbus::MAX_ADDRESS) return false;
  switch (function) {
    case modbus::FC_WRITE_SINGLE_COIL:
    case modbus::FC_WRITE_SINGLE_REGISTER: return count == 1;
    case modbus::FC_WRITE_MULTIPLE_COILS: return count >= 1 && count <= masterengine::kMaxWriteCoils;
    case modbus::FC_WRITE_MULTIPLE_REGISTERS: return count >= 1 && count <= masterengine::kMaxWriteRegisters;
    default: return false;
  }
}

}  // namespace zelmor::automation
