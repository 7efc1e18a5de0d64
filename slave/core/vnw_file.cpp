#include "slave/core/vnw_file.h"

#include <algorithm>
#include <cctype>

namespace vnw {

std::vector<std::uint8_t> Encode(const Workspace& workspace) {
  archive::Writer writer;
  writer.int32(kVersion);
  slavesettings::Write(writer, workspace.settings);
  writer.placement(workspace.mainPlacement);
  for (const DocumentRecord& record : workspace.documents) {
    writer.placement(record.placement);
    writer.fixedString(record.title, kTitleSize);
    writer.fixedString(record.path, kPathSize);
  }
  return writer.bytes();
}

DecodeResult Decode(const std::uint8_t* data, std::size_t size, Workspace* out) {
  archive::Reader reader(data, size);
  const std::int32_t version = reader.int32();
  if (!reader.ok()) return DecodeResult::Truncated;
  if (version != kVersion && version != kOlderVersion) return DecodeResult::FormatError;
  const bool older = version == kOlderVersion;

  slavesettings::SlaveSettings settings = out->settings;
  if (!slavesettings::Read(reader, &settings, older)) return DecodeResult::Truncated;
  slavesettings::Sanitize(&settings);
  if (reader.remaining() < static_cast<std::size_t>(archive::kPlacementSize)) return DecodeResult::Truncated;
  archive::WindowPlacement mainPlacement = reader.placement();

  out->version = version;
  out->settings = settings;
  out->mainPlacement = mainPlacement;
  out->documents.clear();
  while (reader.remaining() >= static_cast<std::size_t>(kRecordSize)) {
    DocumentRecord record;
    record.placement = reader.placement();
    record.title = reader.fixedString(kTitleSize);
    record.path = reader.fixedString(kPathSize);
    out->documents.push_back(std::move(record));
  }
  return DecodeResult::Ok;
}

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

bool HasWorkspaceExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  return Lower(path.substr(dot + 1)) == kExtension;
}

bool NamesWorkspace(const std::string& path) { return Lower(path).find(".vnw") != std::string::npos; }

}  // namespace vnw
