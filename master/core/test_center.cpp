#include "master/core/test_center.h"

#include "master/engine/comm_interface.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "common/archive.h"
#include "link/checksums.h"

namespace zelmor {

namespace {

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }
bool IsSeparator(char c) { return c == ' ' || c == ',' || c == '.'; }

FrameParse Failure(std::size_t position) {
  FrameParse parse;
  parse.errorPosition = position;
  return parse;
}

// A list file holds at most 100 lines of at most a few hundred characters;
// anything larger is refused as unreadable.
constexpr std::size_t kMaxListFileBytes = 4 * 1024 * 1024;

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FrameParse ParseFrameText(std::string_view text) {
  if (text.empty()) return Failure(0);
  if (text.size() > kMaxFrameTextLength) return Failure(kMaxFrameTextLength);
  FrameParse parse;
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (!IsHexDigit(text[pos])) return Failure(pos);
    if (pos + 1 >= text.size()) return Failure(pos);  // a single digit at the end
    if (!IsHexDigit(text[pos + 1])) return Failure(pos + 1);
    parse.bytes.push_back(
        linklayer::JoinNibbles(linklayer::HexCharToNibble(text[pos]), linklayer::HexCharToNibble(text[pos + 1])));
    pos += 2;
    if (pos == text.size()) break;
    if (!IsSeparator(text[pos])) return Failure(pos);
    ++pos;  // a separator may also end the text
  }
  parse.ok = true;
  return parse;
}

int CheckKindForLink(int chosen, std::uint16_t linkMode) {
  if (linkMode == masterengine::kLinkRtuOverTcp) return kCheckCrc;
  if (linkMode == masterengine::kLinkUdp) return -1;
  return chosen;
}

void AppendCheck(std::vector<std::uint8_t>* frame, int kind) {
  if (kind == kCheckCrc) {
    const std::uint16_t crc = linklayer::ComputeCrc16(frame->data(), static_cast<std::uint16_t>(frame->size()));
    frame->push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame->push_back(static_cast<std::uint8_t>(crc >> 8));
    return;
  }
  // Position 0 is the ":" of an ASCII frame; the hex pairs follow it.
  const std::size_t pairs = frame->empty() ? 0 : (frame->size() - 1) / 2;
  std::uint8_t sum = 0;
  for (std::size_t k = 0; k < pairs; ++k) {
    const char high = static_cast<char>((*frame)[1 + 2 * k]);
    const char low = static_cast<char>((*frame)[2 + 2 * k]);
    sum = static_cast<std::uint8_t>(
        sum + linklayer::JoinNibbles(linklayer::HexCharToNibble(high), linklayer::HexCharToNibble(low)));
  }
  const auto lrc = static_cast<std::uint8_t>(-sum);
  frame->push_back(static_cast<std::uint8_t>(linklayer::NibbleToHexChar(lrc >> 4)));
  frame->push_back(static_cast<std::uint8_t>(linklayer::NibbleToHexChar(lrc & 0x0F)));
  frame->push_back(0x0D);
  frame->push_back(0x0A);
}

std::string TestCenterLine(unsigned number, bool sent, const std::uint8_t* bytes, std::size_t count) {
  char head[24];
  std::snprintf(head, sizeof head, "%03u-%s", number, sent ? "Tx:" : "Rx:");
  std::string line = head;
  line.reserve(line.size() + 3 * count);
  for (std::size_t i = 0; i < count; ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X ", bytes[i]);
    line += byte;
  }
  return line;
}

bool ParseTestCenterText(std::string_view content, std::vector<std::string>* entries) {
  entries->clear();
  std::size_t pos = 0;
  // Lines end in CR LF (as written) or LF alone (files edited on Linux).
  auto nextLine = [&](std::string* line) {
    if (pos >= content.size()) return false;
    std::size_t end = content.find('\n', pos);
    const std::size_t next = end == std::string_view::npos ? content.size() : end + 1;
    if (end == std::string_view::npos) end = content.size();
    std::string_view text = content.substr(pos, end - pos);
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    line->assign(text);
    pos = next;
    return true;
  };
  std::string line;
  if (!nextLine(&line) || line != kTestCenterFileMarker) return false;
  while (static_cast<int>(entries->size()) < kMaxTestCenterEntries && nextLine(&line)) entries->push_back(line);
  return true;
}

std::string ComposeTestCenterText(const std::vector<std::string>& entries) {
  if (entries.empty()) return {};
  std::string text = std::string(kTestCenterFileMarker) + "\r\n";
  for (const std::string& entry : entries) text += entry + "\r\n";
  return text;
}

ListFileResult ReadTestCenterFile(const std::string& path, std::vector<std::string>* entries) {
  entries->clear();
  // A device, FIFO or directory is refused without reading (no hang on a pipe).
  std::vector<std::uint8_t> bytes;
  if (!archive::ReadFile(path, &bytes, nullptr, kMaxListFileBytes)) return ListFileResult::kOpenError;
  const std::string_view content(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return ParseTestCenterText(content, entries) ? ListFileResult::kOk : ListFileResult::kNotTestCenterFile;
}

ListFileResult WriteTestCenterFile(const std::string& path, const std::vector<std::string>& entries) {
  const std::string text = ComposeTestCenterText(entries);
  return SaveListFileBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

ListFileResult SaveListFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return ListFileResult::kOpenError;
  if (exists && !S_ISREG(info.st_mode)) {
    // A device or a pipe: there is no previous content to protect.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return ListFileResult::kOpenError;
    const bool written = WriteAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    return written && closed ? ListFileResult::kOk : ListFileResult::kWriteError;
  }
  // The file must be creatable (or writable) where it is, as an in-place write would need.
  if ((exists && ::access(path.c_str(), W_OK) != 0) || ::access(DirectoryOf(path).c_str(), W_OK) != 0)
    return ListFileResult::kOpenError;
  std::string error;
  return archive::WriteFileAtomically(path, bytes, &error) ? ListFileResult::kOk : ListFileResult::kWriteError;
}

}  // namespace zelmor
