#pragma once
// The bus scanner's use of the master engine, for the scan window and zelmor
// --headless --scan: setting the link to a combination's line settings, handing
// a probe to the one-shot slot 0 (so that it goes through the poll thread and
// shows in the traffic monitor) and reading its outcome. Qt-free.
#include <cstdint>
#include <string>

#include "master/core/bus_scan.h"
#include "master/core/zelmor_files.h"
#include "platform/messages.h"

namespace busscan {

// The connection settings of a line setting: base with the baud rate, parity
// and framing replaced (8 data bits, one stop bit) and the probe's time-out.
zelmor::CommSettings SettingsForLine(const zelmor::CommSettings& base, const ScanPlan& plan, const LineSetting& line);

// Closes the link and opens it again with the line setting; the poll thread
// runs afterwards. A serial read then ends at the probe's time-out whatever
// its length. Empty on success, else the failure text. Over TCP the current
// connection is kept when it is up (connected is set), else opened.
std::string OpenScanLine(const zelmor::CommSettings& base, const ScanPlan& plan, const LineSetting& line, bool connected);

// Hands the probe of a combination to slot 0; the engine posts message to
// owner when it is done. 1 accepted, 0 refused (slot 0 busy).
int SubmitProbe(platform::WindowHandle owner, std::uint32_t message, const ScanPlan& plan, const Combination& c);

// The probe's result once the engine has reported resultCode for slot 0.
ProbeResult CollectProbe(const ScanPlan& plan, const Combination& c, std::uint16_t resultCode);

// The longest a probe can take before the caller gives up waiting for the
// engine's report (the poll thread may first finish a poll's transaction).
int ProbeWaitBoundMs(const ScanPlan& plan, const zelmor::CommSettings& base);

}  // namespace busscan

namespace regscan {
struct RegisterScanPlan;
}

namespace busscan {

// A read of the register scan through slot 0: 1 accepted, 0 refused.
int SubmitRegisterRead(platform::WindowHandle owner, std::uint32_t message, const regscan::RegisterScanPlan& plan,
                       int address, int count);
// The values of that read (count items: registers, or 0/1 per bit) once it
// reported RESULT_OK; values holds modbus::MAX_READ_BITS items.
void CollectRegisterRead(const regscan::RegisterScanPlan& plan, int count, std::uint16_t* values);

}  // namespace busscan
