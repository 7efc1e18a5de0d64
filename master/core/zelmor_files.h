#pragma once
// zelmor's binary files and records, Qt-free: the communication settings record
// (92 bytes; 72 in older workspaces), the poll document ".zmd" and the
// workspace ".zmw". All integers 32-bit little-endian.
#include <cstdint>
#include <string>
#include <vector>

#include "common/archive.h"

namespace zelmor {

// ---- Communication settings ------------------------------------------------------

constexpr int kCommSettingsSize = 92;
constexpr int kOldCommSettingsSize = 72;  // ends after the IP address text
constexpr int kTcpPortChoice = 8;         // Port 0..7 = serial port 1..8, 8 = TCP/IP
constexpr int kIpAddressField = 20;
constexpr int kIpAddressMaxLength = 15;

struct CommSettings {
  std::int32_t port = 0;
  std::int32_t baudIndex = 2;  // 9600
  std::int32_t dataBits = 1;   // 0 = 7, 1 = 8
  std::int32_t parity = 2;     // even
  std::int32_t stopBits = 0;   // 0 = one, 1 = two
  std::int32_t timeout = 1000;
  std::int32_t dtrDsr = 0;
  std::int32_t rtsCts = 0;
  std::int32_t rtsToggle = 1;
  std::int32_t asciiMode = 0;  // "RTU/ASCII"
  std::int32_t clrRtsDelay = 1;
  std::int32_t servicePort = 502;
  std::int32_t connected = 0;
  std::string ipAddress = "0.0.0.0";
  std::int32_t delayBetweenPolls = 10;
  std::int32_t echo = 0;
  // Kept apart from the 92-byte record, so that older programs still read it
  // (they fall back to Modbus/TCP and ipAddress): the network transport of the
  // TCP/IP choice, and the remote as typed (host name, IPv4 or IPv6 address;
  // "" = ipAddress). ipAddress keeps the remote when it is a dotted IPv4 address.
  std::int32_t transport = 0;  // kTransport*
  std::string host;
  bool operator==(const CommSettings&) const = default;
};

constexpr int kTransportModbusTcp = 0;
constexpr int kTransportRtuOverTcp = 1;
constexpr int kTransportUdp = 2;
constexpr int kTransportCount = 3;
constexpr int kHostMaxLength = 253;  // the longest DNS name

// The remote to connect to: host, or ipAddress when no other was given.
std::string RemoteHost(const CommSettings& settings);
// Takes the remote as typed: a dotted address goes to ipAddress (host empty),
// anything else to host (ipAddress keeps its value for older readers).
void SetRemoteHost(CommSettings* settings, const std::string& text);
// Whether the settings carry something the 92-byte record cannot.
bool HasNetworkExtras(const CommSettings& settings);

// The ranges the connection dialog and the headless options accept; a workspace
// whose settings leave them is refused.
constexpr int kMinTimeout = 50, kMaxTimeout = 100000;
constexpr int kMaxDelayBetweenPolls = 1000;
constexpr int kMaxClrRtsDelay = 10;
constexpr int kMaxServicePort = 65535;
constexpr int kParityChoices = 3;  // none, odd, even

// True when every numbered choice and number of the settings is in its range
// (flags count any non-zero value as set).
bool CommSettingsInRange(const CommSettings& settings);

void WriteCommSettings(archive::Writer& out, const CommSettings& settings);
// Reads a block of `size` bytes (92, or 72 for the older layout; the fields after
// the IP address then keep the values `settings` had). False when short.
bool ReadCommSettings(archive::Reader& in, int size, CommSettings* settings);

// ---- Poll document ".zmd" --------------------------------------------------------

constexpr std::int32_t kDocumentMarker = 3500;
// A block after the placement that older versions never read: its marker ("ZMX1"),
// the display format when it is one of 10..19 (the format field before it holds
// valuefmt::ClassicFormat of it) and the path of the window's register map. It is
// written only when there is something to say, so other files keep their bytes.
constexpr std::int32_t kDocumentExtensionMarker = 0x31584D5A;
constexpr std::size_t kMaxRegisterMapPath = 1024;

struct PollDocumentData {
  std::int32_t address = 0;
  std::int32_t function = 3;
  std::int32_t length = 10;
  std::int32_t scanRate = 1000;
  std::int32_t slaveId = 1;
  std::int32_t displayFormat = 0;
  std::int32_t enable = 1;
  std::int32_t oneBased = 1;
  std::uint32_t textColor = 9;
  std::uint32_t reservedColor = 0x00FFFFFF;
  archive::LogFont font;
  bool hasPlacement = false;  // only files with the marker carry one
  archive::WindowPlacement placement;
  std::string registerMap;  // the attached register map's path, "" for none
  bool operator==(const PollDocumentData&) const = default;
};

// The largest .zmd is 148 bytes (a 31-character face name); anything past this is
// not a poll document.
constexpr std::size_t kMaxPollDocumentFileSize = 4096;

enum class DocumentReadResult {
  kOk,
  kFormatError,  // "File format error": older layout with a function outside 0..3; keep the defaults
  kTruncated,    // "Unexpected file format.": the file ended early or its poll definition
                 // is out of range; do not open
};

// The first field of the poll definition (function, length, address, slave, scan
// rate) outside its range, as "address 70000 is not 0..65535"; "" when it is good.
std::string PollDefinitionProblem(const PollDocumentData& document);
// As PollDefinitionProblem, and a display format that is not 0..9: the check of a
// document polled without a window, which cannot fall back to another format.
std::string PollDocumentProblem(const PollDocumentData& document);

std::vector<std::uint8_t> EncodePollDocument(const PollDocumentData& document);
// Decodes into *document, which holds the defaults on entry. The older layout's
// function 0..3 is turned into 1..4 so that the document can register its poll.
// A poll definition out of range is refused as kTruncated, *problem (when given)
// saying which field; the display format, enable and one-based fields are left to
// the reader.
DocumentReadResult DecodePollDocument(const std::vector<std::uint8_t>& bytes, PollDocumentData* document,
                                      std::string* problem = nullptr);

// ---- Workspace ".zmw" ------------------------------------------------------------

constexpr std::int32_t kWorkspaceVersion = 3600;
constexpr int kWorkspaceRecordSize = 560;
constexpr int kWorkspaceTitleField = 256;
constexpr int kWorkspacePathField = 260;

struct WorkspaceDocument {
  archive::WindowPlacement placement;
  std::string title;  // at most 255 characters
  std::string path;   // at most 259 characters
  bool operator==(const WorkspaceDocument&) const = default;
};

struct WorkspaceData {
  std::int32_t version = kWorkspaceVersion;
  CommSettings settings;
  archive::WindowPlacement mainPlacement;
  std::vector<WorkspaceDocument> documents;
};

// 4 + 92 + 44 bytes and 560 per document: a limit of 1 MiB holds over 1800
// documents, far more windows than the program can poll.
constexpr std::size_t kMaxWorkspaceFileSize = 1024 * 1024;

enum class WorkspaceReadResult {
  kOk,
  kFormatError,  // "File format error": unknown version
  kTruncated,    // settings block or main placement incomplete, or a setting out of
                 // range: change nothing
};

std::vector<std::uint8_t> EncodeWorkspace(const WorkspaceData& workspace);
// *workspace.settings holds the current settings on entry: an older file replaces
// only its first 72 bytes. A truncated last document record is ignored.
// A workspace whose settings have network extras (HasNetworkExtras) ends with
// one more block after the documents: kNetworkBlockMarker, the transport and
// the host text. It is shorter than a document record, so older readers, which
// read records while a whole one remains, never see it.
WorkspaceReadResult DecodeWorkspace(const std::vector<std::uint8_t>& bytes, WorkspaceData* workspace);
constexpr std::int32_t kNetworkBlockMarker = 0x54454E5A;  // "ZNET"
// Case-insensitive check of the ".zmw" extension of a path.
bool HasWorkspaceExtension(const std::string& path);
// A path that contains ".zmw" anywhere (case-insensitive) is opened as a workspace.
bool LooksLikeWorkspace(const std::string& path);

}  // namespace zelmor
