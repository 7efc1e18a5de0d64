#include "master/core/automation_values.h"

#include <bit>

#include "common/value_format.h"

namespace zelmor::automation {

namespace {

bool InRange(int index, int last) { return index >= 0 && index <= last; }

void PutWord(std::uint8_t* image, int registerIndex, std::uint16_t word) {
  image[2 * registerIndex] = static_cast<std::uint8_t>(word & 0xFF);
  image[2 * registerIndex + 1] = static_cast<std::uint8_t>(word >> 8);
}

void Put32(std::uint8_t* image, int index, std::uint32_t bits, bool inverse) {
  const auto low = static_cast<std::uint16_t>(bits & 0xFFFF), high = static_cast<std::uint16_t>(bits >> 16);
  PutWord(image, 2 * index, inverse ? high : low);
  PutWord(image, 2 * index + 1, inverse ? low : high);
}

void Put64(std::uint8_t* image, int index, std::uint64_t bits, bool inverse) {
  for (int k = 0; k < 4; ++k) {
    const auto word = static_cast<std::uint16_t>(bits >> (16 * k));  // least significant first
    PutWord(image, 4 * index + (inverse ? 3 - k : k), word);
  }
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
  if (InRange(index, kLastLong)) Put32(image, index, static_cast<std::uint32_t>(value), inverse);
}

float Float(const std::uint8_t* image, int index, bool inverse) {
  if (!InRange(index, kLastLong)) return 0.0f;
  return std::bit_cast<float>(valuefmt::Compose32(image, 2 * index, inverse));
}

void SetFloat(std::uint8_t* image, int index, float value, bool inverse) {
  if (InRange(index, kLastLong)) Put32(image, index, std::bit_cast<std::uint32_t>(value), inverse);
}

double Double(const std::uint8_t* image, int index, bool inverse) {
  if (!InRange(index, kLastDouble)) return 0.0;
  return std::bit_cast<double>(valuefmt::Compose64(image, 4 * index, inverse));
}

void SetDouble(std::uint8_t* image, int index, double value, bool inverse) {
  if (InRange(index, kLastDouble)) Put64(image, index, std::bit_cast<std::uint64_t>(value), inverse);
}

std::int16_t Coil(const std::uint8_t* image, int index) {
  if (!InRange(index, kLastCoil)) return 0;
  return image[index] != 0 ? 1 : 0;
}

void SetCoil(std::uint8_t* image, int index, std::int16_t value) {
  if (InRange(index, kLastCoil)) image[index] = value != 0 ? 1 : 0;
}

bool RequestAcceptable(int slaveId, int function, int address, int length, int scanRate) {
  if (slaveId < 1 || slaveId > 255 || function < 1 || function > 4) return false;
  if (address < 0 || address > 65535 || scanRate < 20 || scanRate > 60000) return false;
  const int maxLength = function <= 2 ? 2000 : 127;
  return length >= 1 && length <= maxLength;
}

bool WriteAcceptable(int function, int slaveId, int address, int count) {
  if (slaveId < 0 || slaveId > 255 || address < 0 || address > 65535) return false;
  switch (function) {
    case 5:
    case 6: return count == 1;
    case 15: return count >= 1 && count <= 2000;
    case 16: return count >= 1 && count <= 127;
    default: return false;
  }
}

}  // namespace zelmor::automation
