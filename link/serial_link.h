#pragma once
// The one serial port of a Modbus program: plain functions over module state.
// Reads, writes and purges come from the communication thread; open, close and
// the setters from the user-interface thread while that thread is stopped.
#include <cstdint>
#include <string>

#include "platform/serial_device.h"

namespace linklayer {

// Line options (bit values)
constexpr std::uint8_t kOptionDsrFlow = 1;  // "DTRDSR"
constexpr std::uint8_t kOptionCtsFlow = 2;  // "RTSCTS"
constexpr std::uint8_t kOptionRtsToggle = 4;  // "RTS": RTS on only while transmitting
constexpr std::uint8_t kOptionXonXoff = 8;

// portNumber 1..8 maps to a device path through platform::SerialPortPath.
// parity: 0 none, 1 odd, 2 even. stopBits: 0 one, 2 two.
bool OpenSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits);
bool CloseSerialPort();
bool IsSerialPortOpen();
// Discards received bytes not yet read; bytes still being sent go out.
bool PurgeSerialPort();
bool SetSerialTimeouts(std::uint32_t readInterval, std::uint32_t readMultiplier, std::uint32_t readConstant,
                       std::uint32_t writeMultiplier, std::uint32_t writeConstant);
bool SerialWrite(const std::uint8_t* bytes, std::uint16_t count);
int SerialRead(std::uint8_t* buffer, std::uint16_t maxCount);
// A write returns once the bytes are queued. This waits the time count
// characters take on the line at the open port's settings, plus the 3.5
// characters of silence that end a frame: after a frame that gets no reply (a
// broadcast) the next one must not follow it without a gap.
void WaitSerialFrameSent(std::uint16_t count);

// The silence that ends an RTU frame, t3.5: 3.5 character times, and a fixed
// 1750 us above 19200 baud (the Modbus serial line rules).
std::uint32_t FrameGapUs(std::uint32_t baudRate, std::uint32_t bitsPerCharacter);
// The t3.5 of the open port's settings.
std::uint32_t SerialFrameGapUs();
// Waits up to timeoutUs for received bytes. 1: bytes (or a line error) are
// waiting; 0: the time passed; -1: no port, or the line hung up.
int WaitSerialReadable(std::uint32_t timeoutUs);
// Whether bytes[0..have) form a whole frame.
using FrameComplete = bool (*)(const std::uint8_t* bytes, int have);
// Reads like SerialRead, within the same time-outs, but returns as soon as
// `complete` says the bytes read so far form a whole frame.
int SerialReadFrame(std::uint8_t* buffer, std::uint16_t maxCount, FrameComplete complete);
// Waits what is left of the t3.5 silence since the last byte on the line (the
// last one read, or the estimated end of the last write), so that a request
// never follows the previous frame without the gap, however fast the polls.
// Bytes that arrive meanwhile are read and dropped, and the silence starts
// again after them (for at most the time of the longest frame).
void WaitFrameGap();

void SetLineOptions(std::uint8_t options);
void SetRtsReleaseDelay(std::uint16_t milliseconds);

// Why the last OpenSerialPort failed (the system's text), for messages and logs.
platform::SerialOpenError LastSerialOpenError();

// Baud tables of the serial time-outs: ms per byte and the RTU inter-character interval.
std::uint32_t TimeoutMultiplierForBaud(std::uint32_t baudRate);
std::uint32_t ReadIntervalForBaud(std::uint32_t baudRate);
// The slave's RTU frame gap (silence threshold) for a baud rate; 0 for a rate not in the table.
std::uint16_t SlaveFrameGapForBaud(std::uint32_t baudRate);

}  // namespace linklayer
