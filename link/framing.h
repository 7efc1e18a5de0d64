#pragma once
// The wire framing both programs write: the RTU CRC after a binary frame, the
// ASCII frame text (":" hex LRC CR LF) and the Modbus/TCP MBAP header. Pure
// functions over caller buffers; the receiving side checks with checksums.h.
#include <cstdint>

namespace linklayer {

// How a frame's check goes out: kSpoiled is the fault injector's wrong check
// (the CRC with its low byte inverted, the LRC plus one), so that the peer sees
// a checksum error.
enum class Check : std::uint8_t { kGood, kSpoiled };

// Appends the CRC of frame[0..length) low byte first; frame needs length + 2
// bytes. Returns length + 2.
std::uint16_t AppendCrc(std::uint8_t* frame, std::uint16_t length, Check check = Check::kGood);

// Characters of the ASCII frame of `length` binary bytes.
constexpr std::uint16_t AsciiFrameLength(std::uint16_t length) { return static_cast<std::uint16_t>(2 * length + 5); }
// Writes ":" + upper-case hex of bytes + LRC + CR LF into text (AsciiFrameLength
// characters, no terminator). Returns the character count.
std::uint16_t BuildAsciiFrame(const std::uint8_t* bytes, std::uint16_t length, char* text,
                              Check check = Check::kGood);

constexpr int kMbapHeaderSize = 6;  // before the unit id
// The 6 bytes before the unit id: transaction id, protocol id 0, then the count
// of the bytes that follow (unit id and PDU).
void PutMbapHeader(std::uint8_t* frame, std::uint16_t transactionId, std::uint16_t followingLength);
// The count of bytes after the header that a received MBAP header announces
// (its length field, 0..65535), or -1 when its protocol id is not 0.
int MbapFollowingLength(const std::uint8_t* header);

// Where an RTU frame ends, from its first bytes (address, function code, and
// the byte count where the function has one), CRC included. Returns the whole
// frame length, 0 while more bytes are needed to tell, or -1 when the function
// code does not fix the length (the receiver then waits for the t3.5 silence).
// A length is only a candidate: the receiver ends the frame there if the CRC
// is good and otherwise keeps reading until the silence.
int RtuRequestLength(const std::uint8_t* frame, int have);
int RtuReplyLength(const std::uint8_t* frame, int have);

}  // namespace linklayer
