#pragma once
// The multiple-write dialogs' exchange with the engine's one-shot slot: handing
// over a value list after SubmitOneShot, and copying the registers read back by
// a function 23 request into a value list. Qt-free.
#include <cstdint>

#include "master/app/core/value_list.h"

namespace zelmor {

// Hands the first `size` registers of the list to slot 0 in the word order of
// the display format: inverse formats as whole values with their high part
// first, every other format register by register as stored (so the low word of
// a 32- or 64-bit value goes first). False when the engine refused the data.
bool HandOverWriteValues(int displayFormat, const RegisterValues& values, int size);

// Copies the values of slot 0's last good reply into *values (at most the
// 128 registers of a list), undoing the inverse word order. Returns the slot's
// result code.
std::uint16_t CopyReadBackValues(int displayFormat, RegisterValues* values);

}  // namespace zelmor
