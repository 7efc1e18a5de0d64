#pragma once
// The slave's device functions: read exception status (07), diagnostics (08),
// get comm event counter (0B), report slave id (17) and read device
// identification (43/14). Reply builders over the identity table and the link
// counters; no I/O. ServePdu hands these requests here.
#include <cstdint>

namespace slaveengine {

bool IsDeviceFunction(std::uint8_t function);

// Builds the reply PDU of a device function request sent to `unit` (the same
// contract as ServePdu: reply may be the request itself). Returns its length.
std::uint16_t ServeDeviceFunction(std::uint8_t unit, const std::uint8_t* pdu, std::uint16_t pduLength,
                                  std::uint8_t* reply);

}  // namespace slaveengine
