#pragma once
// The typed accessors of a poll document's automation object over a 2000-byte
// value image (Values for the getters, WriteBuffer for the setters). Register
// i is bytes 2i..2i+1 (little-endian); a 32-bit element i covers registers 2i
// (low word) and 2i+1, a 64-bit element i registers 4i (lowest) to 4i+3; the
// inverse variants swap the two words or reverse the four. An index outside
// the accessor's range reads 0 and writes nothing. Qt-free.
#include <cstdint>

#include "master/engine/comm_interface.h"

namespace zelmor::automation {

constexpr int kImageBytes = masterengine::kRequestDataBytes;
constexpr int kLastRegister = masterengine::kMaxWriteRegisters - 1;
constexpr int kLastLong = masterengine::kMaxWriteLongs - 1;  // also the floats
constexpr int kLastDouble = masterengine::kMaxWriteDoubles - 1;
constexpr int kLastCoil = kImageBytes - 1;

std::int16_t Register(const std::uint8_t* image, int index);
void SetRegister(std::uint8_t* image, int index, std::int16_t value);
std::int32_t Long(const std::uint8_t* image, int index, bool inverse);
void SetLong(std::uint8_t* image, int index, std::int32_t value, bool inverse);
float Float(const std::uint8_t* image, int index, bool inverse);
void SetFloat(std::uint8_t* image, int index, float value, bool inverse);
double Double(const std::uint8_t* image, int index, bool inverse);
void SetDouble(std::uint8_t* image, int index, double value, bool inverse);
// Element `index` of any 32- or 64-bit display format (4..19) in that format's
// order; 0 (and nothing written) for the 16-bit formats and indices out of range.
double ValueInFormat(const std::uint8_t* image, int index, int format);
void SetValueInFormat(std::uint8_t* image, int index, int format, double value);
std::int16_t Coil(const std::uint8_t* image, int index);
void SetCoil(std::uint8_t* image, int index, std::int16_t value);

// Checks of the automation's CreateRequest: slave 1..255, function 1..4,
// protocol address 0..65535, length 1..2000 for functions 1 and 2 and 1..127
// for 3 and 4, scan rate 20..60000.
bool RequestAcceptable(int slaveId, int function, int address, int length, int scanRate);

// What a write method hands the scheduler: function, slave, write address and
// count within the limits of the request (coils 1..2000, registers 1..127).
// False for anything the scheduler would refuse or could not be given as data.
bool WriteAcceptable(int function, int slaveId, int address, int count);

}  // namespace zelmor::automation
