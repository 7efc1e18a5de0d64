#include "common/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace archive {

void Writer::int32(std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void Writer::uint16(std::uint16_t value) {
  bytes_.push_back(static_cast<std::uint8_t>(value));
  bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Writer::raw(const void* data, std::size_t count) {
  auto p = static_cast<const std::uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
}

void Writer::prefixedString(const std::string& text) {
  std::size_t n = text.size();
  if (n < 0xFF) {
    byte(static_cast<std::uint8_t>(n));
  } else if (n < 0xFFFE) {
    byte(0xFF);
    uint16(static_cast<std::uint16_t>(n));
  } else {
    byte(0xFF);
    uint16(0xFFFF);
    uint32(static_cast<std::uint32_t>(n));
  }
  raw(text.data(), n);
}

void Writer::fixedString(const std::string& text, std::size_t size) {
  if (size == 0) return;
  std::size_t n = std::min(text.size(), size - 1);
  raw(text.data(), n);
  zeros(size - n);
}

void Writer::placement(const WindowPlacement& p) {
  for (std::int32_t v : {p.length, p.flags, p.showCommand, p.minX, p.minY, p.maxX, p.maxY, p.left, p.top,
                         p.right, p.bottom})
    int32(v);
}

void Writer::logFontMetrics(const LogFont& f) {
  for (std::int32_t v : {f.height, f.width, f.escapement, f.orientation, f.weight}) int32(v);
  for (std::uint8_t v : {f.italic, f.underline, f.strikeOut, f.charSet, f.outPrecision, f.clipPrecision,
                         f.quality, f.pitchAndFamily})
    byte(v);
}

bool Reader::take(std::size_t count) {
  if (!ok_ || count > size_ - pos_) {
    ok_ = false;
    return false;
  }
  return true;
}

std::int32_t Reader::int32() {
  if (!take(4)) return 0;
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(data_[pos_ + i]) << (8 * i);
  pos_ += 4;
  return static_cast<std::int32_t>(v);
}

std::uint16_t Reader::uint16() {
  if (!take(2)) return 0;
  auto v = static_cast<std::uint16_t>(data_[pos_] | (data_[pos_ + 1] << 8));
  pos_ += 2;
  return v;
}

std::uint8_t Reader::byte() {
  if (!take(1)) return 0;
  return data_[pos_++];
}

bool Reader::raw(void* out, std::size_t count) {
  if (!take(count)) return false;
  std::memcpy(out, data_ + pos_, count);
  pos_ += count;
  return true;
}

std::string Reader::prefixedString(std::size_t maxLength) {
  std::size_t n = byte();
  if (n == 0xFF) {
    n = uint16();
    if (n == 0xFFFF) n = static_cast<std::uint32_t>(int32());
  }
  if (!ok_ || !take(n)) return {};
  std::string text(reinterpret_cast<const char*>(data_ + pos_), n);
  pos_ += n;
  if (text.size() > maxLength) text.resize(maxLength);
  return text;
}

std::string Reader::fixedString(std::size_t size) {
  if (!take(size)) return {};
  const char* p = reinterpret_cast<const char*>(data_ + pos_);
  std::string text(p, strnlen(p, size));
  pos_ += size;
  return text;
}

WindowPlacement Reader::placement() {
  WindowPlacement p;
  p.length = int32();
  p.flags = int32();
  p.showCommand = int32();
  p.minX = int32();
  p.minY = int32();
  p.maxX = int32();
  p.maxY = int32();
  p.left = int32();
  p.top = int32();
  p.right = int32();
  p.bottom = int32();
  return p;
}

void Reader::logFontMetrics(LogFont* f) {
  f->height = int32();
  f->width = int32();
  f->escapement = int32();
  f->orientation = int32();
  f->weight = int32();
  f->italic = byte();
  f->underline = byte();
  f->strikeOut = byte();
  f->charSet = byte();
  f->outPrecision = byte();
  f->clipPrecision = byte();
  f->quality = byte();
  f->pitchAndFamily = byte();
}

bool ReadFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error) {
  bytes->clear();
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
  bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed && error) *error = "read error";
  return !failed;
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
  std::string temp = path + ".saving~";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (error) *error = std::strerror(errno ? errno : EIO);
      ::close(fd);
      ::unlink(temp.c_str());
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  bool synced = ::fsync(fd) == 0;
  int syncErrno = errno;
  bool closed = ::close(fd) == 0;
  if (!synced || !closed) {
    if (error) *error = std::strerror(synced ? errno : syncErrno);
    ::unlink(temp.c_str());
    return false;
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    if (error) *error = std::strerror(errno);
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace archive
