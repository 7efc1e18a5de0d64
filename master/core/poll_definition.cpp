#include "master/core/poll_definition.h"

namespace zelmor {
namespace {

bool Outside(int value, int min, int max, PollField field, PollFieldError* error) {
  if (value >= min && value <= max) return false;
  *error = {field, value, min, max};
  return true;
}

}  // namespace

PollFieldError CheckPollDefinition(int slaveId, int function, int address, int length, int scanRate) {
  PollFieldError e;
  if (Outside(function, kFirstPollFunction, kLastPollFunction, PollField::kFunction, &e) ||
      Outside(length, 1, MaxPollLength(function), PollField::kLength, &e) ||
      Outside(address, 0, kMaxPollAddress, PollField::kAddress, &e) ||
      Outside(slaveId, kMinPollSlave, kMaxPollSlave, PollField::kSlave, &e) ||
      Outside(scanRate, kMinScanRate, kMaxScanRate, PollField::kScanRate, &e))
    return e;
  return {};
}

std::string DescribePollError(const PollFieldError& error) {
  const char* name = "";
  switch (error.field) {
    case PollField::kNone: return {};
    case PollField::kFunction: name = "function"; break;
    case PollField::kLength: name = "length"; break;
    case PollField::kAddress: name = "address"; break;
    case PollField::kSlave: name = "slave"; break;
    case PollField::kScanRate: name = "scan rate"; break;
  }
  return std::string(name) + " " + std::to_string(error.value) + " is not " + std::to_string(error.min) + ".." +
         std::to_string(error.max);
}

}  // namespace zelmor
