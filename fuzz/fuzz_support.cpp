#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/serial_device.h"

namespace fuzzsupport {
namespace {

std::deque<Bytes> receiveChunks;
std::vector<Bytes> written;
std::function<Bytes(const Bytes&)> responder;

class ScriptedDevice : public platform::SerialDevice {
 public:
  bool configure(const platform::SerialLineSettings&) override { return true; }
  bool setTimeouts(const platform::SerialTimeouts&) override { return true; }
  int read(std::uint8_t* buffer, int maxCount) override {
    if (receiveChunks.empty() || maxCount <= 0) return 0;
    Bytes& chunk = receiveChunks.front();
    const std::size_t n = std::min(chunk.size(), static_cast<std::size_t>(maxCount));
    std::copy(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n), buffer);
    chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (chunk.empty()) receiveChunks.pop_front();
    return static_cast<int>(n);
  }
  int write(const std::uint8_t* bytes, int count) override {
    const Bytes frame(bytes, bytes + count);
    written.push_back(frame);
    if (responder) {
      Bytes answer = responder(frame);
      if (!answer.empty()) receiveChunks.push_back(std::move(answer));
    }
    return count;
  }
  bool purge(bool receive, bool) override {
    if (receive) receiveChunks.clear();
    return true;
  }
  std::uint32_t clearError() override { return 0; }
  int bytesWaiting() override {
    std::size_t n = 0;
    for (const Bytes& c : receiveChunks) n += c.size();
    return static_cast<int>(n);
  }
  bool setRts(bool) override { return true; }
  bool setDtr(bool) override { return true; }
  bool waitTransmitEmpty() override { return true; }
  std::uint32_t modemLines() override { return platform::kLineCts | platform::kLineDsr; }
  int pollDescriptor() const override { return -1; }
  // Bytes queued are readable at once; otherwise nothing comes: the wait takes
  // its whole time on the virtual clock (a wait without limit: the line hung up).
  int waitReadable(std::int64_t timeoutUs) const override {
    if (!receiveChunks.empty()) return 1;
    if (timeoutUs < 0) return -1;
    AdvanceClockUs(static_cast<std::uint64_t>(timeoutUs));
    return 0;
  }
};

}  // namespace

void InstallScriptedSerial() {
  platform::SetSerialDeviceOpener([](const std::string&, platform::SerialOpenError*) {
    return std::unique_ptr<platform::SerialDevice>(new ScriptedDevice);
  });
}

void QueueSerialChunk(const Bytes& chunk) {
  if (!chunk.empty()) receiveChunks.push_back(chunk);
}

void ClearSerial() {
  receiveChunks.clear();
  written.clear();
}

const std::vector<Bytes>& SerialWrites() { return written; }

void SetSerialResponder(std::function<Bytes(const Bytes&)> r) { responder = std::move(r); }

Bytes InputReader::take(std::size_t count) {
  const std::size_t n = std::min(count, size_ - pos_);
  Bytes out(data_ + pos_, data_ + pos_ + n);
  pos_ += n;
  return out;
}

std::vector<std::string> SplitArguments(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) args.emplace_back();
    else args.back().push_back(static_cast<char>(data[i]));
  }
  return args;
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

}  // namespace fuzzsupport
