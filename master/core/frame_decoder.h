#pragma once
// The frame decoder behind the test center's and the traffic monitor's
// "Decode Frame": one RTU, ASCII or Modbus/TCP frame, request or reply, taken
// apart field by field into lines of text (slave, function and its name,
// addresses, quantities, byte count, values, exception and its name, and
// whether the CRC or LRC is right). Qt-free; a frame that is cut short, too
// long or has a wrong check gives lines that say so, never more.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace framedecode {

enum class Framing : int { kAuto = 0, kRtu = 1, kAscii = 2, kTcp = 3 };
enum class Direction : int { kAuto = 0, kRequest = 1, kReply = 2 };

struct Decoded {
  Framing framing = Framing::kRtu;  // the framing used (kAuto resolved)
  Direction direction = Direction::kRequest;  // the direction that fits (kAuto when none does)
  bool fits = false;      // the PDU has the length its function calls for
  bool checkGood = true;  // CRC or LRC right (always true over TCP)
  std::vector<std::string> lines;
};

// kAuto framing: ':' first -> ASCII; an MBAP header whose length field matches
// the frame -> TCP; otherwise RTU. kAuto direction tries the request first,
// then the reply, and says which one fits.
Decoded DecodeFrame(const std::vector<std::uint8_t>& frame, Framing framing, Direction direction);

// The bytes of a pasted frame: hex pairs separated by blanks, commas or
// periods, or an ASCII frame (":0103...LRC", CR LF optional), taken as its
// characters. False with *error set for anything else.
bool ParseFrameInput(std::string_view text, std::vector<std::uint8_t>* bytes, std::string* error);

// "Read Holding Registers"; "" for a code without a name.
const char* FunctionName(int function);
// The program's exception texts; "" for an unknown code.
const char* ExceptionName(int code);

}  // namespace framedecode
