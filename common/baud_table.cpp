#include "common/baud_table.h"

#include <cstdio>

namespace baudtable {
namespace {

struct BaudEntry {
  std::uint32_t baud;
  int listPosition;
  std::uint32_t multiplier;
  std::uint32_t readInterval;
};

// Indexed by the stored baud index. The odd order (300..1200 at the end) is the
// stored value that profiles and workspace files already carry.
constexpr BaudEntry kBaudTable[kBaudCount] = {
    {2400, 3, 4, 960},    {4800, 4, 2, 480},    {9600, 5, 2, 240},     {14400, 6, 1, 180},
    {19200, 7, 1, 120},   {38400, 8, 1, 60},    {56000, 9, 1, 32},     {57600, 10, 1, 32},
    {115200, 11, 1, 32},  {300, 0, 32, 1720},   {600, 1, 16, 1720},    {1200, 2, 8, 1720},
};

constexpr const char* kListTexts[kBaudCount] = {
    "300 Baud",   "600 Baud",   "1200 Baud",  "2400 Baud",  "4800 Baud",  "9600 Baud",
    "14400 Baud", "19200 Baud", "38400 Baud", "56000 Baud", "57600 Baud", "115200 Baud",
};

bool ValidIndex(int index) { return index >= 0 && index < kBaudCount; }

}  // namespace

std::uint32_t BaudRateForIndex(int index) { return ValidIndex(index) ? kBaudTable[index].baud : 0; }

int IndexForBaudRate(std::uint32_t baudRate) {
  for (int i = 0; i < kBaudCount; ++i)
    if (kBaudTable[i].baud == baudRate) return i;
  return -1;
}

int ListPositionForIndex(int index) { return ValidIndex(index) ? kBaudTable[index].listPosition : -1; }

int IndexForListPosition(int position) {
  for (int i = 0; i < kBaudCount; ++i)
    if (kBaudTable[i].listPosition == position) return i;
  return -1;
}

const char* ListText(int position) { return ValidIndex(position) ? kListTexts[position] : nullptr; }

std::uint32_t TimeoutMultiplierForIndex(int index) { return ValidIndex(index) ? kBaudTable[index].multiplier : 0; }

std::uint32_t ReadIntervalForIndex(int index) { return ValidIndex(index) ? kBaudTable[index].readInterval : 0; }

const char* ParityLetter(int parity) {
  switch (parity) {
    case 0: return "N";
    case 1: return "O";
    case 2: return "E";
    default: return "?";
  }
}

std::string SerialStatusText(int portIndex, int baudIndex, int dataBitsChoice, int parity, int stopBitsChoice) {
  char text[64];
  std::snprintf(text, sizeof text, "Port %d: %d-%d-%s-%d", portIndex + 1, static_cast<int>(BaudRateForIndex(baudIndex)),
                dataBitsChoice == 1 ? 8 : 7, ParityLetter(parity), stopBitsChoice == 1 ? 2 : 1);
  return text;
}

}  // namespace baudtable
