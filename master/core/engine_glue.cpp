#include "master/core/engine_glue.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/baud_table.h"
#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "common/word_order.h"
#include "master/core/poll_results.h"
#include "link/serial_link.h"
#include "master/engine/comm_interface.h"
#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "resources/zelmor_resources.h"

namespace zelmor {

namespace me = masterengine;
namespace text = res::text;

namespace {

TcpConnectFunction tcpConnect = nullptr;

// The background open: its thread, and its answer once the thread has ended.
std::thread openThread;
bool openPending = false;  // touched by the caller's thread only
std::string openFailure;   // written by the worker, read after the join

const char* TcpFailureText(std::uint16_t answer) {
  return answer == me::RESULT_WSA_STARTUP     ? text::kTcpWsaStartupError
         : answer == me::RESULT_BAD_IP        ? text::kTcpInvalidAddress
         : answer == me::RESULT_HOST_NOT_FOUND ? text::kTcpHostNotFound
                                              : text::kTcpConnectFailed;
}

std::uint16_t NetworkLinkMode(const CommSettings& s) {
  return s.transport == kTransportRtuOverTcp ? me::kLinkRtuOverTcp
         : s.transport == kTransportUdp      ? me::kLinkUdp
                                             : me::kLinkTcp;
}

}  // namespace

void SetTcpConnectFunction(TcpConnectFunction function) { tcpConnect = function; }

void PrepareLink(const CommSettings& s) {
  auto options = static_cast<std::uint8_t>((s.dtrDsr ? 1 : 0) | (s.rtsCts ? 2 : 0) | (s.rtsToggle ? 4 : 0));
  me::SetLineOptions(options);
  me::SetDelayBetweenPolls(static_cast<std::uint32_t>(s.delayBetweenPolls < 0 ? 0 : s.delayBetweenPolls));
  me::SetRtsReleaseDelay(static_cast<std::uint16_t>(s.clrRtsDelay < 0 ? 0 : s.clrRtsDelay));
  me::SetEcho(s.echo != 0);
}

std::string OpenLink(const CommSettings& s) {
  if (s.port == kTcpPortChoice) {
    // The name is looked up here, on the thread that connects (never the window's).
    const std::string host = RemoteHost(s);
    const auto port = static_cast<std::uint16_t>(s.servicePort);
    const auto timeout = static_cast<std::uint32_t>(s.timeout);
    std::uint16_t answer = tcpConnect != nullptr ? tcpConnect(host.c_str(), port, timeout)
                                                 : me::NetConnect(NetworkLinkMode(s), host.c_str(), port, timeout);
    return answer == me::RESULT_OK ? std::string() : std::string(TcpFailureText(answer));
  }
  std::uint32_t baud = baudtable::BaudRateForIndex(s.baudIndex);
  if (s.port < 0 || s.port >= kTcpPortChoice || baud == 0) return text::kPortNotAvailable;
  if (!me::OpenSerialPort(s.port + 1, baud, s.dataBits == 1 ? 8 : 7, s.parity, s.stopBits == 1 ? 2 : 0)) {
    // The device and the system's reason on a second line: a missing adapter
    // and a missing dialout membership need different cures.
    std::string failure = text::kPortNotAvailable;
    const std::string reason = platform::SerialOpenErrorText(linklayer::LastSerialOpenError());
    if (!reason.empty()) failure += "\n" + platform::SerialPortPath(s.port + 1) + ": " + reason;
    return failure;
  }
  return std::string();
}

ConnectOutcome StartLink(const CommSettings& s) {
  ConnectOutcome outcome;
  bool tcp = s.port == kTcpPortChoice;
  if (!tcp) {
    std::uint32_t multiplier = baudtable::TimeoutMultiplierForIndex(s.baudIndex);
    std::uint32_t interval = s.asciiMode ? 1000 : baudtable::ReadIntervalForIndex(s.baudIndex);
    me::SetSerialTimeouts(interval, multiplier, static_cast<std::uint32_t>(s.timeout), multiplier, 200);
  }
  me::SetLinkMode(tcp ? NetworkLinkMode(s) : (s.asciiMode ? me::kLinkAscii : me::kLinkRtu));
  if (!me::StartPolling()) {
    // A link without its thread would look connected but never poll: close it again.
    if (tcp)
      me::TcpDisconnect();
    else
      me::CloseSerialPort();
    outcome.message = text::kThreadError;
    return outcome;
  }
  outcome.connected = true;
  return outcome;
}

ConnectOutcome ConnectLink(const CommSettings& s) {
  PrepareLink(s);
  ConnectOutcome outcome;
  outcome.message = OpenLink(s);
  if (!outcome.message.empty()) return outcome;
  return StartLink(s);
}

bool BeginBackgroundOpen(const CommSettings& settings, std::function<void()> done) {
  if (openPending) return false;
  openPending = true;
  openFailure.clear();
  openThread = std::thread([settings, done = std::move(done)] {
    openFailure = OpenLink(settings);
    if (done) done();
  });
  return true;
}

bool BackgroundOpenPending() { return openPending; }

std::string CollectBackgroundOpen() {
  if (!openPending) return std::string();
  if (openThread.joinable()) openThread.join();
  openPending = false;
  return openFailure;
}

bool LinkIsOpen() { return !openPending && me::IsConnected(); }

void DisconnectLink() {
  me::StopPolling();
  me::CloseSerialPort();
  me::TcpDisconnect();
}

namespace {

void PutWord(std::uint8_t* values, int index, std::uint16_t word) {
  values[2 * index] = static_cast<std::uint8_t>(word);
  values[2 * index + 1] = static_cast<std::uint8_t>(word >> 8);
}

// The document keeps 32- and 64-bit values in native order (the lowest register
// holds the least significant word); the engine undoes the inverse formats.
constexpr auto kNativeOrder = wordorder::Order::kCDAB;

void PutValueWords(std::uint8_t* values, int firstIndex, std::uint64_t bits, int count) {
  std::uint16_t words[4];
  wordorder::Split(bits, count, kNativeOrder, words);
  for (int w = 0; w < count; ++w) PutWord(values, firstIndex + w, words[w]);
}

}  // namespace

std::uint16_t CopyPollValues(int slot, int function, int displayFormat, std::uint8_t* values) {
  if (modbus::IsBitRead(function)) return me::ReadResultBytes(slot, values);
  if (displayFormat >= valuefmt::kFormatCount) {
    // The other orders: the registers as they came, each value turned into native order.
    static std::uint16_t words[kValueBytes / 2];
    std::memset(words, 0, sizeof words);
    std::uint16_t result = me::ReadResultRegisters(slot, words);
    const int n = valuefmt::RegistersPerValue(displayFormat);
    const wordorder::Order order = valuefmt::OrderOf(displayFormat);
    for (int k = 0; k + n <= kValueBytes / 2; k += n) PutValueWords(values, k, wordorder::Join(words + k, n, order), n);
    return result;
  }
  switch (displayFormat) {
    case valuefmt::kFloat:
    case valuefmt::kFloatInverse:
    case valuefmt::kLong:
    case valuefmt::kLongInverse: {
      static std::uint32_t longs[kValueBytes / 4];
      std::memset(longs, 0, sizeof longs);
      std::uint16_t result = me::ReadResultLongs(
          slot, longs, displayFormat == valuefmt::kFloatInverse || displayFormat == valuefmt::kLongInverse);
      for (int k = 0; k < kValueBytes / 4; ++k) PutValueWords(values, 2 * k, longs[k], 2);
      return result;
    }
    case valuefmt::kDouble:
    case valuefmt::kDoubleInverse: {
      static double doubles[kValueBytes / 8];
      std::memset(doubles, 0, sizeof doubles);
      std::uint16_t result = me::ReadResultDoubles(slot, doubles, displayFormat == valuefmt::kDoubleInverse);
      for (int k = 0; k < kValueBytes / 8; ++k)
        PutValueWords(values, 4 * k, std::bit_cast<std::uint64_t>(doubles[k]), 4);
      return result;
    }
    default: {
      static std::uint16_t words[kValueBytes / 2];
      std::memset(words, 0, sizeof words);
      std::uint16_t result = me::ReadResultRegisters(slot, words);
      for (int k = 0; k < kValueBytes / 2; ++k) PutWord(values, k, words[k]);
      return result;
    }
  }
}

namespace {

double Ms(std::uint64_t us) { return static_cast<double>(us) / 1000.0; }
double MeanMs(const me::ResponseTimes& t) { return t.count == 0 ? 0.0 : Ms(t.totalUs) / t.count; }

}  // namespace

std::uint16_t CopyRawValues(int slot, int function, int count, std::uint16_t* out) {
  const bool bits = modbus::IsBitRead(function);
  const int most = bits ? kValueBytes : kValueBytes / 2;
  const int n = count < 0 ? 0 : count < most ? count : most;
  std::uint16_t result = 0;
  if (bits) {
    std::uint8_t bytes[kValueBytes] = {};
    result = me::ReadResultBytes(slot, bytes);
    for (int k = 0; k < n; ++k) out[k] = bytes[k] != 0 ? 1 : 0;
  } else {
    std::uint16_t words[kValueBytes / 2] = {};
    result = me::ReadResultRegisters(slot, words);
    std::memcpy(out, words, static_cast<std::size_t>(n) * sizeof *out);
  }
  return result;
}

std::string StatisticsLine(const me::ResponseTimes& t) {
  if (t.count == 0) return text::kStatisticsNone;
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, text::kStatisticsFormat, Ms(t.lastUs), Ms(t.minUs), MeanMs(t), Ms(t.maxUs),
                static_cast<unsigned>(t.count));
  return buffer;
}

std::vector<std::string> ResponseTimeValues(const me::ResponseTimes& t) {
  std::vector<std::string> values;
  for (double ms : {Ms(t.lastUs), Ms(t.minUs), MeanMs(t), Ms(t.maxUs)}) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, text::kMillisecondsFormat, ms);
    values.push_back(t.count == 0 ? std::string("-") : std::string(buffer));
  }
  values.push_back(std::to_string(t.count));
  return values;
}

std::string TimingFields(const me::ResponseTimes& t, int delimiter) {
  const char separator = delimiter == kLogComma ? ',' : delimiter == kLogTab ? '\t' : ' ';
  std::string fields;
  const double figures[4] = {Ms(t.lastUs), Ms(t.minUs), MeanMs(t), Ms(t.maxUs)};
  for (int i = 0; i < 4; ++i) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, text::kTimingFieldFormats[i], figures[i]);
    fields += separator;
    if (t.count == 0) {
      // Nothing timed yet: the field's name and a dash ("last -").
      const std::string format = text::kTimingFieldFormats[i];
      fields += format.substr(0, format.find('%')) + "-";
    } else {
      fields += buffer;
    }
  }
  return fields;
}

int WrittenRegisterCount(int displayFormat, int wordCount) {
  if (displayFormat >= valuefmt::kFormatCount) {
    const int n = valuefmt::RegistersPerValue(displayFormat);
    return wordCount / n * n;
  }
  switch (displayFormat) {
    case valuefmt::kFloatInverse:
    case valuefmt::kLongInverse:
      return wordCount / 2 * 2;
    case valuefmt::kDoubleInverse:
      return wordCount / 4 * 4;
    default:
      return wordCount;
  }
}

int HandOverWriteValues(int displayFormat, const std::uint16_t* words, int wordCount) {
  if (displayFormat >= valuefmt::kFormatCount) {
    // The other orders go as registers, each value split in its order.
    const int n = valuefmt::RegistersPerValue(displayFormat);
    const wordorder::Order order = valuefmt::OrderOf(displayFormat);
    std::uint16_t ordered[kValueBytes / 2];
    const int count = std::min(wordCount / n * n, kValueBytes / 2);
    for (int k = 0; k + n <= count; k += n) wordorder::Split(wordorder::Join(words + k, n, kNativeOrder), n, order, ordered + k);
    return me::SetWriteRegisters(0, count, ordered);
  }
  switch (displayFormat) {
    case valuefmt::kFloatInverse:
    case valuefmt::kLongInverse: {
      std::uint32_t longs[kValueBytes / 4];
      int count = std::min(wordCount / 2, kValueBytes / 4);
      for (int k = 0; k < count; ++k) longs[k] = wordorder::Join32(words + 2 * k, kNativeOrder);
      return me::SetWriteLongs(0, count, longs, true);
    }
    case valuefmt::kDoubleInverse: {
      double doubles[kValueBytes / 8];
      int count = std::min(wordCount / 4, kValueBytes / 8);
      for (int k = 0; k < count; ++k) doubles[k] = wordorder::JoinDouble(words + 4 * k, kNativeOrder);
      return me::SetWriteDoubles(0, count, doubles, true);
    }
    default:
      return me::SetWriteRegisters(0, wordCount, words);
  }
}

}  // namespace zelmor
