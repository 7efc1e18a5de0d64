#pragma once
// The slave's communication settings: 13 32-bit little-endian fields (52 bytes),
// the block stored in .vnw workspaces and, except the connected flag, in the
// profile section "CommSetup". Qt-free.
#include <cstdint>
#include <string>

#include "common/archive.h"

namespace slavesettings {

constexpr int kRecordSize = 52;
constexpr int kOlderRecordSize = 48;  // workspaces of version 2000: no UID field
constexpr int kTcpPort = 8;           // Port value of the "TCP/IP" choice
constexpr int kPortChoices = 9;       // "Port 1" .. "Port 8", "TCP/IP"
constexpr int kBaudIndexCount = 12;
constexpr int kMaxRtsDelay = 10;

struct SlaveSettings {
  std::int32_t port = 0;          // 0..7 serial port 1..8, 8 TCP/IP
  std::int32_t baudRate = 2;      // baud-rate index (2 = 9600)
  std::int32_t dataBits = 1;      // 0 = 7, 1 = 8
  std::int32_t parity = 0;        // 0 none, 1 odd, 2 even
  std::int32_t stopBits = 0;      // 0 one, 1 two
  std::int32_t timeout = 1000;    // kept and stored, unused by the slave
  std::int32_t dtrDsr = 0;
  std::int32_t rtsCts = 0;
  std::int32_t rts = 1;           // RTS toggle
  std::int32_t rtuAscii = 0;      // 0 RTU, 1 ASCII
  std::int32_t clrRtsDelay = 1;   // ms
  std::int32_t connected = 0;     // not in the profile
  std::int32_t uid = 0;           // "Ignore Unit ID" (TCP only)
  bool operator==(const SlaveSettings&) const = default;
};

// Profile keys of section "CommSetup", in the order a successful connect made with
// the dialog writes them.
struct ProfileKey {
  const char* name;
  std::int32_t SlaveSettings::*field;
};
constexpr int kProfileKeyCount = 12;
extern const ProfileKey kProfileKeys[kProfileKeyCount];
constexpr const char* kSection = "CommSetup";
constexpr const char* kAutoEnableKey = "AutoEnable";

// Values that came from a file or the profile are forced into their ranges; an
// out-of-range field takes its default.
void Sanitize(SlaveSettings* settings);

// Line options for the serial link: bit 0 DSR, bit 1 CTS, bit 2 RTS toggle.
std::uint8_t FlowControlFlags(const SlaveSettings& settings);

bool IsTcp(const SlaveSettings& settings);

// The network transport of the "TCP/IP" choice. It is kept apart from the
// 52-byte record (profile key kTransportKey, beside the listen address), so
// the record, and the programs that read it, stay as they were; the values
// follow slavetcp::Framing.
constexpr int kTransportModbusTcp = 0;
constexpr int kTransportRtuOverTcp = 1;
constexpr int kTransportUdp = 2;
constexpr int kTransportCount = 3;
constexpr const char* kTransportKey = "ListenTransport";
// What a server serves, for the status bar: "Modbus/TCP 0.0.0.0:502",
// "RTU over TCP [::1]:1502", "Modbus/UDP ...".
std::string ServingText(int transport, const std::string& address, unsigned port);

// Writes all 13 fields (52 bytes), or the first 12 (48 bytes) for the older layout.
void Write(archive::Writer& writer, const SlaveSettings& settings, bool olderLayout = false);
// Reads 52 bytes, or 48 for the older layout (the UID field then keeps what
// *settings held). False (and *settings untouched) when the block is short.
bool Read(archive::Reader& reader, SlaveSettings* settings, bool olderLayout = false);

}  // namespace slavesettings
