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

// The command id of any format 0..19, given the program's ids of the ten.
constexpr int CommandIdOf(const int (&classicIds)[valuefmt::kFormatCount], int format) {
  return format < kFirstFormat ? classicIds[format] : kFormatCommandIds[format - kFirstFormat];
}

}  // namespace ordertexts
