#pragma once
// The read-back of a function 23 request into a value list. Qt-free.
#include <cstdint>

#include "master/core/value_list.h"

namespace zelmor {

// Copies the values of slot 0's last good reply into *values (at most the
// 128 registers of a list), undoing the inverse word order. Returns the slot's
// result code.
std::uint16_t CopyReadBackValues(int displayFormat, RegisterValues* values);

}  // namespace zelmor
