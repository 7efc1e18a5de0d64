#pragma once
// The rules of one poll definition (slave, read function, address, length, scan
// rate), in one place: the poll definition dialog, the document's readers,
// automation and headless all check against these. Qt-free.
#include <string>

#include "common/modbus_protocol.h"
#include "master/engine/comm_interface.h"

namespace zelmor {

constexpr int kMinPollSlave = 1;
constexpr int kMaxPollSlave = modbus::MAX_UNIT_ID;
constexpr int kFirstPollFunction = modbus::FC_READ_COILS;
constexpr int kLastPollFunction = modbus::FC_READ_INPUT_REGISTERS;
constexpr int kMaxPollAddress = modbus::MAX_ADDRESS;
constexpr int kMaxPollBits = modbus::MAX_READ_BITS;
// Register polls may read up to 127 registers, past the protocol's 125.
constexpr int kMaxPollRegisters = masterengine::kMaxReadRegisters;
constexpr int kMinScanRate = 20;
constexpr int kMaxScanRate = 60000;

// Largest length of a poll of function 1..4.
constexpr int MaxPollLength(int function) {
  return modbus::IsBitRead(function) ? kMaxPollBits : kMaxPollRegisters;
}

enum class PollField { kNone, kFunction, kLength, kAddress, kSlave, kScanRate };

struct PollFieldError {
  PollField field = PollField::kNone;
  int value = 0;
  int min = 0;
  int max = 0;
  explicit operator bool() const { return field != PollField::kNone; }
};

// The first field outside its range, checked in the order function, length
// (whose range follows the function), address, slave, scan rate; field kNone
// when the definition is good.
PollFieldError CheckPollDefinition(int slaveId, int function, int address, int length, int scanRate);

// "length 300 is not 1..127" and the like; "" for no error.
std::string DescribePollError(const PollFieldError& error);

}  // namespace zelmor

namespace zelmor {

struct PollRange {
  int min = 0;
  int max = 0;
};

// The range of one field, as CheckPollDefinition applies it; the length's
// follows the function.
constexpr PollRange PollFieldRange(PollField field, int function) {
  switch (field) {
    case PollField::kFunction: return {kFirstPollFunction, kLastPollFunction};
    case PollField::kLength: return {1, MaxPollLength(function)};
    case PollField::kAddress: return {0, kMaxPollAddress};
    case PollField::kSlave: return {kMinPollSlave, kMaxPollSlave};
    case PollField::kScanRate: return {kMinScanRate, kMaxScanRate};
    case PollField::kNone: break;
  }
  return {};
}

}  // namespace zelmor
