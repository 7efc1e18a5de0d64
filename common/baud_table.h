#pragma once
// The baud-rate index of the communication settings (stored in the profile and in
// workspace files), the baud rate it stands for, its position in the dialogs'
// ascending baud list, the serial time-out values derived from it, and the
// status-bar text of a serial link. Shared by the master and the slave shell.
#include <cstdint>
#include <string>

namespace baudtable {

constexpr int kBaudCount = 12;
constexpr int kDefaultBaudIndex = 2;  // 9600

// Index 0..11 -> baud rate; 0 for an index outside the table.
std::uint32_t BaudRateForIndex(int index);
// Baud rate -> index; -1 for a rate not in the table.
int IndexForBaudRate(std::uint32_t baudRate);
// Index -> position in the ascending dialog list; -1 outside the table.
int ListPositionForIndex(int index);
// Position in the dialog list -> index; -1 outside the list.
int IndexForListPosition(int position);
// Text of a dialog list position ("300 Baud" ... "115200 Baud"); nullptr outside the list.
const char* ListText(int position);

// Serial time-outs of an index: ms per byte (read and write multiplier) and the
// read interval in ms. 0 for an index outside the table.
std::uint32_t TimeoutMultiplierForIndex(int index);
std::uint32_t ReadIntervalForIndex(int index);

// Parity letter for 0 none, 1 odd, 2 even ("N", "O", "E"); "?" otherwise.
const char* ParityLetter(int parity);

// "Port %d: %d-%d-%s-%d": port index 0..7 (shown as index + 1), baud index,
// data-bits choice (0 = 7, 1 = 8), parity 0..2, stop-bits choice (0 = one, 1 = two).
std::string SerialStatusText(int portIndex, int baudIndex, int dataBitsChoice, int parity, int stopBitsChoice);

}  // namespace baudtable
