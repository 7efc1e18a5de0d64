#pragma once
// The slave's workspace file (.vnw): version, settings block, main window
// placement, then one 560-byte record per open document. Qt-free.
#include <cstdint>
#include <string>
#include <vector>

#include "common/archive.h"
#include "slave/core/slave_settings.h"

namespace vnw {

constexpr std::int32_t kVersion = 3000;       // written
constexpr std::int32_t kOlderVersion = 2000;  // read: 48-byte settings block
constexpr int kRecordSize = 560;
constexpr int kTitleSize = 256;
constexpr int kPathSize = 260;
constexpr const char* kExtension = "vnw";
// 4 + 52 + 44 bytes and 560 per document: 1 MiB holds over 1800 documents, far
// more windows than the engine has slots.
constexpr std::size_t kMaxFileSize = 1024 * 1024;

struct DocumentRecord {
  archive::WindowPlacement placement;
  std::string title;  // at most 255 characters are stored
  std::string path;   // at most 259 characters are stored
  bool operator==(const DocumentRecord&) const = default;
};

struct Workspace {
  std::int32_t version = kVersion;
  slavesettings::SlaveSettings settings;
  archive::WindowPlacement mainPlacement;
  std::vector<DocumentRecord> documents;
};

enum class DecodeResult {
  Ok,
  FormatError,  // unknown version: "File format error"
  Truncated,    // settings block or main placement incomplete: leave everything as it is
};

std::vector<std::uint8_t> Encode(const Workspace& workspace);

// Decodes a file image. *out->settings must hold the current settings on entry:
// the older layout has no UID field and keeps the current one. Document records
// are read while 560 bytes remain; a shorter tail is ignored.
DecodeResult Decode(const std::uint8_t* data, std::size_t size, Workspace* out);
inline DecodeResult Decode(const std::vector<std::uint8_t>& bytes, Workspace* out) {
  return Decode(bytes.data(), bytes.size(), out);
}

// True when the path's extension is "vnw" in any case (the save rule).
bool HasWorkspaceExtension(const std::string& path);
// True when the path contains ".vnw" anywhere (the open-document rule).
bool NamesWorkspace(const std::string& path);

}  // namespace vnw
