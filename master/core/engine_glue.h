#pragma once
// The master program's two uses of the engine's communication interface that
// both the window and the headless runner need: opening/closing the link with a
// settings record, and copying a poll's values out in the word order of its
// display format. Qt-free.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "master/core/zelmor_files.h"
#include "master/engine/comm_interface.h"

namespace zelmor {

constexpr int kValueBytes = masterengine::kRequestDataBytes;

struct ConnectOutcome {
  bool connected = false;
  std::string message;  // the failure text for the user; empty on success
};

// Hands the line options, delay between polls, RTS delay and echo to the
// engine, opens the TCP connection or the serial port, and on success sets the
// serial time-outs and the link mode and starts the poll thread. Blocks for as
// long as the TCP connect takes (the window uses the three steps below instead).
ConnectOutcome ConnectLink(const CommSettings& settings);

// The connect in three steps, so that the slow part can leave the window's thread:
// 1. hand the line options, delays and echo to the engine;
void PrepareLink(const CommSettings& settings);
// 2. open the TCP connection or the serial port; the failure text, empty on success;
std::string OpenLink(const CommSettings& settings);
// 3. set the serial time-outs and the link mode and start the poll thread. A
//    thread that does not start closes the link again.
ConnectOutcome StartLink(const CommSettings& settings);

// The TCP connect used by OpenLink: the engine's unless replaced (tests replace
// it with a connect whose duration and answer they control; nullptr restores it).
using TcpConnectFunction = std::uint16_t (*)(const char* ipAddress, std::uint16_t port, std::uint32_t timeoutMs);
void SetTcpConnectFunction(TcpConnectFunction function);

// Step 2 for TCP on a worker thread. Only one thread may touch the link at a
// time, so from BeginBackgroundOpen until CollectBackgroundOpen the caller's
// thread leaves the link alone (LinkIsOpen answers false without asking it).
// done runs on the worker thread once the connect has ended. False when an
// open is already pending.
bool BeginBackgroundOpen(const CommSettings& settings, std::function<void()> done);
bool BackgroundOpenPending();
// Waits for the worker (at most the connect's own time-out) and returns its
// failure text, empty on success. Nothing pending: empty.
std::string CollectBackgroundOpen();
// Serial port open or TCP connected; false while a background open is pending.
bool LinkIsOpen();
// Stops the poll thread first, then closes the serial port and the TCP connection.
void DisconnectLink();

// Copies the slot's values into a 2000-byte value image: one byte per item for
// functions 1 and 2; for 3 and 4, 16-bit little-endian words with 32-bit and
// 64-bit values already in native order (the inverse formats are undone here).
// Returns the slot's result code.
std::uint16_t CopyPollValues(int slot, int function, int displayFormat, std::uint8_t* values);

// The slot's last good reply as it came over the wire, for recordings: `count`
// registers in the device's own byte and word order (functions 3 and 4), or
// bits as 0/1 (1 and 2). Returns the slot's result code.
std::uint16_t CopyRawValues(int slot, int function, int count, std::uint16_t* out);

// Response times as the poll window's "Statistics" line shows them.
std::string StatisticsLine(const masterengine::ResponseTimes& times);
// The values of the error counters window's section, in the order of its
// labels: last, minimum, mean, maximum ("51.2 ms", "-" before the first reply)
// and the number of replies timed.
std::vector<std::string> ResponseTimeValues(const masterengine::ResponseTimes& times);
// The fields a headless line ends with under --timing ("last 51.2 ms", ...),
// each preceded by the delimiter's separator (a blank for fixed width).
std::string TimingFields(const masterengine::ResponseTimes& times, int delimiter);
// Hands the data of the accepted one-shot write in slot 0 to the engine:
// wordCount registers of native-order storage (ParseValueEntry's words). The
// inverse formats go as whole values in their word order (Float and Long
// Inverse as 32-bit values with the halves swapped, Double Inverse as 64-bit
// values reversed), so a trailing part of a value is dropped; every other
// format goes register by register, low word first. Returns the setter's 1, or
// 0 when the engine refused (no whole value, too many, slot 0 not pending).
int HandOverWriteValues(int displayFormat, const std::uint16_t* words, int wordCount);
// The number of registers HandOverWriteValues sends for wordCount words.
int WrittenRegisterCount(int displayFormat, int wordCount);

}  // namespace zelmor
