#pragma once
// The master program's two uses of the engine's communication interface that
// both the window and the headless runner need: opening/closing the link with a
// settings record, and copying a poll's values out in the word order of its
// display format. Qt-free.
#include <cstdint>
#include <string>

#include "master/app/core/zelmor_files.h"

namespace zelmor {

constexpr int kValueBytes = 2000;

struct ConnectOutcome {
  bool connected = false;
  std::string message;  // the failure text for the user; empty on success
};

// Hands the line options, delay between polls, RTS delay and echo to the
// engine, opens the TCP connection or the serial port, and on success sets the
// serial time-outs and the link mode and starts the poll thread.
ConnectOutcome ConnectLink(const CommSettings& settings);
// Stops the poll thread first, then closes the serial port and the TCP connection.
void DisconnectLink();

// Copies the slot's values into a 2000-byte value image: one byte per item for
// functions 1 and 2; for 3 and 4, 16-bit little-endian words with 32-bit and
// 64-bit values already in native order (the inverse formats are undone here).
// Returns the slot's result code.
std::uint16_t CopyPollValues(int slot, int function, int displayFormat, std::uint8_t* values);

}  // namespace zelmor
