#pragma once
// The communication settings in the profile, section "CommSetup".
#include "master/core/zelmor_files.h"

namespace fw {
class Profile;
}

namespace zelmor {

// Reads every key with its default; values out of range fall back to the default.
CommSettings ReadCommSettings(const fw::Profile& profile);
// Writes the fifteen keys in their fixed order (after a successful connection).
void WriteCommSettings(fw::Profile& profile, const CommSettings& settings);
int ReadAutoEnable(const fw::Profile& profile);
void WriteAutoEnable(fw::Profile& profile, int autoEnable);

}  // namespace zelmor

#include <QString>

namespace zelmor {
// The status bar's communication pane: "Port 1: 9600-8-E-1", "0.0.0.0: 502"
// (Modbus/TCP) or "RTU over TCP 127.0.0.1:502", "Modbus/UDP [::1]:502".
QString CommPaneText(const CommSettings& settings);
}  // namespace zelmor
