#include "master/core/zelmor_files.h"

#include <algorithm>
#include <cctype>

#include "common/baud_table.h"
#include "common/value_format.h"
#include "master/core/poll_definition.h"

namespace zelmor {

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

bool CommSettingsInRange(const CommSettings& s) {
  auto within = [](int value, int min, int max) { return value >= min && value <= max; };
  return within(s.port, 0, kTcpPortChoice) && within(s.baudIndex, 0, baudtable::kBaudCount - 1) &&
         within(s.dataBits, 0, 1) && within(s.parity, 0, kParityChoices - 1) && within(s.stopBits, 0, 1) &&
         within(s.timeout, kMinTimeout, kMaxTimeout) && within(s.clrRtsDelay, 0, kMaxClrRtsDelay) &&
         within(s.servicePort, 0, kMaxServicePort) && within(s.delayBetweenPolls, 0, kMaxDelayBetweenPolls);
}

void WriteCommSettings(archive::Writer& out, const CommSettings& s) {
  for (std::int32_t v : {s.port, s.baudIndex, s.dataBits, s.parity, s.stopBits, s.timeout, s.dtrDsr, s.rtsCts,
                         s.rtsToggle, s.asciiMode, s.clrRtsDelay, s.servicePort, s.connected})
    out.int32(v);
  out.fixedString(s.ipAddress, kIpAddressField);
  out.int32(s.delayBetweenPolls);
  out.int32(s.echo);
  out.zeros(12);  // three reserved fields
}

bool ReadCommSettings(archive::Reader& in, int size, CommSettings* settings) {
  if (size != kCommSettingsSize && size != kOldCommSettingsSize) return false;
  if (in.remaining() < static_cast<std::size_t>(size)) return false;
  CommSettings s = *settings;
  for (std::int32_t* field : {&s.port, &s.baudIndex, &s.dataBits, &s.parity, &s.stopBits, &s.timeout, &s.dtrDsr,
                              &s.rtsCts, &s.rtsToggle, &s.asciiMode, &s.clrRtsDelay, &s.servicePort, &s.connected})
    *field = in.int32();
  s.ipAddress = in.fixedString(kIpAddressField);
  if (size == kCommSettingsSize) {
    s.delayBetweenPolls = in.int32();
    s.echo = in.int32();
    std::uint8_t reserved[12];
    in.raw(reserved, sizeof reserved);
  }
  if (!in.ok()) return false;
  *settings = s;
  return true;
}

std::string PollDefinitionProblem(const PollDocumentData& d) {
  return DescribePollError(CheckPollDefinition(d.slaveId, d.function, d.address, d.length, d.scanRate));
}

std::string PollDocumentProblem(const PollDocumentData& d) {
  std::string problem = PollDefinitionProblem(d);
  if (problem.empty() && !valuefmt::IsValidFormat(d.displayFormat))
    problem = "display format " + std::to_string(d.displayFormat) + " is not 0..9";
  return problem;
}

namespace {

void WriteExtension(archive::Writer& out, const PollDocumentData& d) {
  if (d.displayFormat < valuefmt::kFormatCount && d.registerMap.empty()) return;
  out.int32(kDocumentExtensionMarker);
  out.int32(d.displayFormat);
  out.prefixedString(d.registerMap.substr(0, kMaxRegisterMapPath));
}

// Reads the extension block when the bytes after the placement are one; anything
// else there is ignored, as older versions ignore the block.
void ReadExtension(const std::uint8_t* data, std::size_t size, PollDocumentData* d) {
  archive::Reader in(data, size);
  if (in.int32() != kDocumentExtensionMarker || !in.ok()) return;
  const std::int32_t format = in.int32();
  std::string map = in.prefixedString(kMaxRegisterMapPath);
  if (!in.ok()) return;
  if (valuefmt::IsValidFormat(format)) d->displayFormat = format;
  d->registerMap = std::move(map);
}

}  // namespace

std::vector<std::uint8_t> EncodePollDocument(const PollDocumentData& d) {
  archive::Writer out;
  out.int32(kDocumentMarker);
  for (std::int32_t v : {d.address, d.function, d.length, d.scanRate, d.slaveId,
                         std::int32_t{valuefmt::StoredFormat(d.displayFormat)}, d.enable, d.oneBased})
    out.int32(v);
  out.uint32(d.textColor);
  out.uint32(d.reservedColor);
  out.logFontMetrics(d.font);
  out.prefixedString(d.font.faceName.substr(0, archive::kFaceNameMax));
  out.placement(d.placement);
  WriteExtension(out, d);
  return out.bytes();
}

DocumentReadResult DecodePollDocument(const std::vector<std::uint8_t>& bytes, PollDocumentData* document,
                                      std::string* problem) {
  archive::Reader in(bytes);
  PollDocumentData d = *document;
  std::int32_t first = in.int32(), second = in.int32(), third = in.int32();
  if (!in.ok()) return DocumentReadResult::kTruncated;
  bool marked = first == kDocumentMarker;
  if (marked) {
    d.address = second;
    d.function = third;
    d.length = in.int32();
  } else {
    if (second < 0 || second > kLastPollFunction - kFirstPollFunction) return DocumentReadResult::kFormatError;
    d.address = first;
    d.function = kFirstPollFunction + second;  // the older layout stored the list index 0..3
    d.length = third;
  }
  d.scanRate = in.int32();
  d.slaveId = in.int32();
  d.displayFormat = in.int32();
  d.enable = in.int32();
  d.oneBased = in.int32();
  d.textColor = static_cast<std::uint32_t>(in.int32());
  d.reservedColor = static_cast<std::uint32_t>(in.int32());
  in.logFontMetrics(&d.font);
  d.font.faceName = in.prefixedString(archive::kFaceNameMax);
  if (marked) {
    d.placement = in.placement();
    d.hasPlacement = true;
    if (in.ok()) ReadExtension(bytes.data() + in.position(), in.remaining(), &d);
  } else {
    d.hasPlacement = false;
  }
  if (!in.ok()) return DocumentReadResult::kTruncated;
  // Address, length and slave become 16-bit engine arguments and label
  // arithmetic: a file may not carry what the definition dialog would refuse.
  std::string outOfRange = PollDefinitionProblem(d);
  if (!outOfRange.empty()) {
    if (problem) *problem = outOfRange;
    return DocumentReadResult::kTruncated;
  }
  *document = d;
  return DocumentReadResult::kOk;
}

std::string RemoteHost(const CommSettings& s) { return s.host.empty() ? s.ipAddress : s.host; }

void SetRemoteHost(CommSettings* s, const std::string& text) {
  const bool dotted = !text.empty() && text.size() <= static_cast<std::size_t>(kIpAddressMaxLength) &&
                      text.find_first_not_of("0123456789.") == std::string::npos;
  if (dotted) {
    s->ipAddress = text;
    s->host.clear();
  } else {
    s->host = text;
  }
}

bool HasNetworkExtras(const CommSettings& s) { return s.transport != kTransportModbusTcp || !s.host.empty(); }

std::vector<std::uint8_t> EncodeWorkspace(const WorkspaceData& w) {
  archive::Writer out;
  out.int32(kWorkspaceVersion);
  WriteCommSettings(out, w.settings);
  out.placement(w.mainPlacement);
  for (const WorkspaceDocument& doc : w.documents) {
    out.placement(doc.placement);
    out.fixedString(doc.title, kWorkspaceTitleField);
    out.fixedString(doc.path, kWorkspacePathField);
  }
  if (HasNetworkExtras(w.settings)) {
    out.int32(kNetworkBlockMarker);
    out.int32(w.settings.transport);
    out.prefixedString(RemoteHost(w.settings).substr(0, kHostMaxLength));
  }
  return out.bytes();
}

WorkspaceReadResult DecodeWorkspace(const std::vector<std::uint8_t>& bytes, WorkspaceData* workspace) {
  archive::Reader in(bytes);
  std::int32_t version = in.int32();
  if (!in.ok()) return WorkspaceReadResult::kTruncated;
  int blockSize;
  if (version == 3500 || version == 3501)
    blockSize = kOldCommSettingsSize;
  else if (version == kWorkspaceVersion)
    blockSize = kCommSettingsSize;
  else
    return WorkspaceReadResult::kFormatError;
  CommSettings settings = workspace->settings;
  if (!ReadCommSettings(in, blockSize, &settings) || !CommSettingsInRange(settings))
    return WorkspaceReadResult::kTruncated;
  archive::WindowPlacement main = in.placement();
  if (!in.ok()) return WorkspaceReadResult::kTruncated;
  std::vector<WorkspaceDocument> documents;
  while (in.remaining() >= static_cast<std::size_t>(kWorkspaceRecordSize)) {
    WorkspaceDocument doc;
    doc.placement = in.placement();
    doc.title = in.fixedString(kWorkspaceTitleField);
    doc.path = in.fixedString(kWorkspacePathField);
    documents.push_back(doc);
  }
  settings.transport = kTransportModbusTcp;
  settings.host.clear();
  if (in.remaining() >= 4 && in.int32() == kNetworkBlockMarker) {
    const std::int32_t transport = in.int32();
    const std::string host = in.prefixedString(kHostMaxLength);
    if (!in.ok() || transport < 0 || transport >= kTransportCount) return WorkspaceReadResult::kTruncated;
    settings.transport = transport;
    SetRemoteHost(&settings, host);
  }
  workspace->version = version;
  workspace->settings = settings;
  workspace->mainPlacement = main;
  workspace->documents = std::move(documents);
  return WorkspaceReadResult::kOk;
}

bool HasWorkspaceExtension(const std::string& path) {
  std::string lower = Lower(path);
  auto slash = lower.find_last_of('/');
  std::string name = slash == std::string::npos ? lower : lower.substr(slash + 1);
  auto dot = name.find_last_of('.');
  return dot != std::string::npos && name.substr(dot) == ".zmw";
}

bool LooksLikeWorkspace(const std::string& path) { return Lower(path).find(".zmw") != std::string::npos; }

}  // namespace zelmor
