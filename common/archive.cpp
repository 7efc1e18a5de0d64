#include "common/archive.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
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

namespace {

// Reads up to maxSize + 1 bytes, so that a file that grows past the limit while
// it is read is still caught.
bool ReadAll(int fd, std::size_t maxSize, std::vector<std::uint8_t>* bytes, std::string* error) {
  std::uint8_t chunk[65536];
  for (;;) {
    const std::size_t room = maxSize + 1 - bytes->size();
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, room));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (error) *error = std::strerror(errno);
      return false;
    }
    if (n == 0) return true;
    bytes->insert(bytes->end(), chunk, chunk + n);
    if (bytes->size() > maxSize) {
      if (error) *error = kFileTooLargeText;
      return false;
    }
  }
}


// Creates "<path>.<6 random letters>.saving~" exclusively, never through a link
// (mkstemp's rule, with the mode a plain creation would get: 0666 less the umask).
int CreateTemporary(const std::string& path, std::string* temp) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint8_t noise[6];
    if (::getrandom(noise, sizeof noise, 0) != static_cast<ssize_t>(sizeof noise)) {
      const auto clock = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
      for (std::size_t i = 0; i < sizeof noise; ++i)
        noise[i] = static_cast<std::uint8_t>((clock >> (8 * i)) + static_cast<unsigned>(attempt) * 31u);
    }
    std::string suffix;
    for (std::uint8_t b : noise) suffix += kLetters[b % (sizeof kLetters - 1)];
    *temp = path + "." + suffix + ".saving~";
    const int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool ReadFile(const std::string& path, std::vector<std::uint8_t>* bytes, std::string* error, std::size_t maxSize) {
  bytes->clear();
  // O_NONBLOCK: opening a FIFO without a writer returns at once instead of waiting.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  struct stat info {};
  bool ok = false;
  if (::fstat(fd, &info) != 0) {
    if (error) *error = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    if (error) *error = kNotRegularFileText;
  } else if (static_cast<std::uint64_t>(info.st_size) > maxSize) {
    if (error) *error = kFileTooLargeText;
  } else {
    ok = ReadAll(fd, maxSize, bytes, error);
  }
  ::close(fd);
  if (!ok) bytes->clear();
  return ok;
}

bool WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes, std::string* error) {
  std::string temp;
  const int fd = CreateTemporary(path, &temp);
  if (fd < 0) {
    if (error) *error = std::strerror(errno);
    return false;
  }
  // The replaced file keeps its permission bits (a private file stays private).
  struct stat previous {};
  bool ok = true;
  if (::stat(path.c_str(), &previous) == 0 && S_ISREG(previous.st_mode))
    ok = ::fchmod(fd, previous.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int failure = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    failure = errno;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    failure = errno;
  }
  if (!ok) {
    if (error) *error = std::strerror(failure ? failure : EIO);
    ::unlink(temp.c_str());
  }
  return ok;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace archive
