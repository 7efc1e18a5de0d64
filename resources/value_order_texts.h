#pragma once
// Menu texts and command ids of the display formats 10..19 (the other byte and
// word orders), shared by zelmor's and vantor's Display menus. They sit in a
// submenu of their own after the ten formats; each text has its own mnemonic.
#include "common/value_format.h"

namespace ordertexts {

constexpr const char* kOtherOrdersMenu = "&Word and Byte Orders";
constexpr int kFirstFormat = valuefmt::kFormatCount;
constexpr int kFormats = valuefmt::kAllFormatCount - valuefmt::kFormatCount;

// By format - kFirstFormat.
constexpr const char* kFormatMenuTexts[kFormats] = {
    "&Float BADC",         "Floa&t DCBA",         "&Double BADC",        "D&ouble DCBA",
    "&Long BADC",          "Lo&ng DCBA",          "&Unsigned Long ABCD", "Un&signed Long CDAB",
    "Unsigned Long &BADC", "Unsigned Lon&g DCBA",
};
constexpr int kFormatCommandIds[kFormats] = {32940, 32941, 32942, 32943, 32944, 32945, 32946, 32947, 32948, 32949};

// Status-bar prompts ("text\ntool tip"), by format - kFirstFormat.
constexpr const char* kFormatPrompts[kFormats] = {
    "Show register pairs as 32-bit floats, high word first, bytes swapped in each register\nFloat BADC",
    "Show register pairs as 32-bit floats, low word first, bytes swapped in each register\nFloat DCBA",
    "Show four registers as 64-bit floats, high word first, bytes swapped in each register\nDouble BADC",
    "Show four registers as 64-bit floats, low word first, bytes swapped in each register\nDouble DCBA",
    "Show register pairs as signed 32-bit integers, high word first, bytes swapped in each register\nLong BADC",
    "Show register pairs as signed 32-bit integers, low word first, bytes swapped in each register\nLong DCBA",
    "Show register pairs as unsigned 32-bit integers, high word first\nUnsigned Long ABCD",
    "Show register pairs as unsigned 32-bit integers, low word first\nUnsigned Long CDAB",
    "Show register pairs as unsigned 32-bit integers, high word first, bytes swapped in each register\n"
    "Unsigned Long BADC",
    "Show register pairs as unsigned 32-bit integers, low word first, bytes swapped in each register\n"
    "Unsigned Long DCBA",
};

// The prompt of one of the commands above, or nullptr for another id.
constexpr const char* FormatCommandPrompt(int id) {
  for (int i = 0; i < kFormats; ++i)
    if (kFormatCommandIds[i] == id) return kFormatPrompts[i];
  return nullptr;
}

// The command id of any format 0..19, given the program's ids of the ten.
constexpr int CommandIdOf(const int (&classicIds)[valuefmt::kFormatCount], int format) {
  return format < kFirstFormat ? classicIds[format] : kFormatCommandIds[format - kFirstFormat];
}

}  // namespace ordertexts
