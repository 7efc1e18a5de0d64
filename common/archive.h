#pragma once
// Binary archives of the document and workspace files: 32-bit little-endian
// fields, length-prefixed strings, the 44-byte window-placement record and the
// logical-font record. Qt-free, so the file codecs can be tested on byte images.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// The Windows WINDOWPLACEMENT record (44 bytes on disk).
struct WindowPlacement {
  std::int32_t length = 44;
  std::int32_t flags = 0;
  std::int32_t showCommand = 1;  // 1 normal, 2 minimised, 3 maximised
  std::int32_t minX = -1, minY = -1;
  std::int32_t maxX = -1, maxY = -1;
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const WindowPlacement&) const = default;
};
constexpr int kPlacementSize = 44;
constexpr int kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3;

// The Windows LOGFONT record: 28 bytes of metrics and flags, then the face name.
struct LogFont {
  std::int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 0;
  std::uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 0;
  std::uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
  std::string faceName;  // at most 31 characters
  bool operator==(const LogFont&) const = default;
};
constexpr int kLogFontMetricsSize = 28;
constexpr int kFaceNameMax = 31;

class Writer {
 public:
  void int32(std::int32_t value);
  void uint32(std::uint32_t value) { int32(static_cast<std::int32_t>(value)); }
  void uint16(std::uint16_t value);
  void byte(std::uint8_t value) { bytes_.push_back(value); }
  void raw(const void* data, std::size_t count);
  void zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
  // Length-prefixed string: one length byte below 255; else 0xFF and a 16-bit length
  // below 0xFFFE; else 0xFF, 0xFFFF and a 32-bit length. No terminator.
  void prefixedString(const std::string& text);
  // Fixed-size NUL-terminated text field (truncated to size - 1 characters).
  void fixedString(const std::string& text, std::size_t size);
  void placement(const WindowPlacement& placement);
  void logFontMetrics(const LogFont& font);  // the first 28 bytes
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads fields from a byte image. Every read checks the remaining size; after the
// first short read ok() is false and further reads return zero values.
class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  explicit Reader(const std::vector<std::uint8_t>& bytes) : Reader(bytes.data(), bytes.size()) {}
  std::int32_t int32();
  std::uint16_t uint16();
  std::uint8_t byte();
  bool raw(void* out, std::size_t count);
  std::string prefixedString(std::size_t maxLength = 0xFFFFFFFFu);
  std::string fixedString(std::size_t size);
  WindowPlacement placement();
  void logFontMetrics(LogFont* font);
  bool ok() const { return ok_; }
  std::size_t remaining() const { return size_ - pos_; }
  std::size_t position() const { return pos_; }

 private:
  bool take(std::size_t count);
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// Largest file ReadFile takes when the caller names no limit of its own: far above
// any document or list the suite writes. Each file format names a tighter limit
// beside its codec.
constexpr std::size_t kDefaultMaxFileSize = 16u * 1024 * 1024;
constexpr const char* kNotRegularFileText = "not a regular file";
constexpr const char* kFileTooLargeText = "file too large";

// Writes all `size` bytes to `fd`, again after EINTR and short writes. False
// with errno set (EIO for a write that took nothing) on failure.
bool WriteAll(int fd, const void* data, std::size_t size);

// Reads a whole regular file of at most maxSize bytes. False with a message when it
// cannot be read. A device, FIFO or directory is refused without reading (a FIFO
// never blocks the caller), and so is a file larger than maxSize.
bool ReadFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error,
              std::size_t maxSize = kDefaultMaxFileSize);
// Writes a temporary file with a fresh unique name beside the target (created
// exclusively, never through a link), flushes it to disk and renames it over the
// target, so a save that fails halfway never destroys the previous file and leaves
// no temporary behind. The target keeps its permission bits; a new file gets
// 0666 less the umask.
bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error);

}  // namespace archive
