#pragma once
// The slave's one background thread: every pass it waits on the serial port
// (poll(), bounded so that the other duties keep their time), reads what it
// holds and cuts it into RTU or ASCII request frames, or runs one step of the
// Modbus/TCP server, hands complete requests to the slave engine and drives the
// engine's 500 ms window refresh. As the owner of the serial port it also frames
// and writes the serial replies, with the faults of their definition applied.
#include <cstdint>

namespace slaveloop {

enum LinkMode : std::uint16_t { kLinkRtu = 0, kLinkAscii = 1, kLinkTcp = 2 };

constexpr int kRtuBufferSize = 300;
constexpr int kAsciiBufferSize = 600;
constexpr int kPassPeriodMs = 10;
constexpr std::uint32_t kAsciiFrameTimeoutMs = 1000;
// Longest a reply may wait for the line (plus the per-byte time of the baud rate).
constexpr std::uint32_t kReplyWriteTimeoutMs = 1000;

// Ignored while the thread runs.
void SetLinkMode(std::uint16_t mode);
std::uint16_t GetLinkMode();

// 1 when the thread runs, 0 when it could not be created.
int StartReceiveThread();
// Stops the thread and waits for it to end.
void StopReceiveThread();
bool IsReceiveThreadRunning();

// Opens the serial port for the slave: sets the RTU silence threshold from the
// baud rate, then opens the port through the serial link (time-outs untouched,
// so reads return at once). parity: 0 none, 1 odd, 2 even; stopBits: 0 one, 2 two.
bool OpenSlaveSerialPort(int portNumber, std::uint32_t baudRate, int dataBits, int parity, int stopBits);
// Closes the serial port and tells the windows.
void CloseSlaveSerialPort();
// The frame gap of the baud table in ms, as reported since the first versions.
std::uint16_t RtuSilenceThreshold();
// The t3.5 silence that ends an RTU frame at the open port's settings. A request
// ends earlier, as soon as the bytes its function code needs are in and its CRC
// is good; an ASCII request ends at its LF.
std::uint32_t RtuFrameGapUs();

// The serial port is open or the TCP server is listening.
bool IsLinkOpen();

// One receive step each, as the thread runs them. Exposed so that tests can step
// the receivers deterministically.
void RtuStep();
void AsciiStep();
// Forgets partial frames (both receivers).
void ResetReceivers();

}  // namespace slaveloop

// The serial side of the slave engine's interface, served on the receive thread.
namespace slaveengine {

// Serves one binary serial request (address byte first, checksum already checked
// and not counted in `length`) and sends the answer through SendSerialReply, in
// the framing of the link mode. The definition's faults may drop it, replace it
// by an exception, spoil its checksum or hold it back. `reply` needs
// kReplyCapacity bytes and may be the request buffer itself (the reply is then
// built in place). Never reads request bytes at or past `length`.
void ServeSerialRequest(const std::uint8_t* request, std::uint16_t length, std::uint8_t* reply);

// totalLength counts the two checksum bytes of the binary frame. RTU appends the
// CRC; ASCII sends the frame as ":" hex LRC CR LF. Records and announces the frame.
void SendSerialReply(std::uint8_t* frame, std::uint16_t totalLength);
// frame[0..1] hold the address and the request's function code.
void SendSerialException(std::uint8_t* frame, std::uint8_t code);

// A delayed serial reply waits here; the receive loop calls this on every pass
// and it goes out once due. A new reply sends a waiting one first.
void SendDueSerialReply();
bool HasPendingSerialReply();
void DiscardPendingSerialReply();

}  // namespace slaveengine
