// The value entries of the write dialogs and headless writes: what each
// display format accepts and the words it stores, the hex entry, the messages,
// and the result texts of a write.
#include <gtest/gtest.h>

#include "master/core/poll_results.h"
#include "master/core/write_values.h"

using namespace zelmor;

namespace {

struct Entry {
  int format;
  const char* text;
  std::vector<std::uint16_t> words;  // native order; empty: refused
  const char* message = "";
};

std::string Check(const Entry& e) {
  std::vector<std::uint16_t> words;
  EntryFailure failure;
  bool ok = ParseValueEntry(e.format, e.text, &words, &failure);
  if (ok) return words == e.words ? "" : "other words";
  if (!e.words.empty()) return "refused: " + EntryFailureText(failure);
  return EntryFailureText(failure) == e.message ? "" : "message " + EntryFailureText(failure);
}

}  // namespace

TEST(WriteValues, EntriesByFormat) {
  const Entry entries[] = {
      {0, " -32768 ", {0x8000}},
      {0, "32768", {}, "Please enter an integer between -32768 and 32767."},
      {1, "65535", {0xFFFF}},
      {1, "-1", {}, "Please enter an integer between 0 and 65535."},
      {1, "1.5", {}, "Please enter an integer."},
      {2, "7fff", {0x7FFF}},
      {2, "12 3", {}, "Please enter a hex number"},
      {2, "0x12", {}, "Please enter a hex number"},
      {2, "-1", {}, "Please enter a hex number"},
      {2, "", {}, "Please enter a hex number"},
      {2, "12345", {}, "Please enter no more than 4 characters."},
      {3, "1000000000000001", {0x8001}},
      {3, "102", {}, "Please enter a binary number of 1 to 16 digits"},
      // 1.5f is 0x3FC00000: the low word first in storage.
      {4, "1.5", {0x0000, 0x3FC0}},
      {5, "-2", {0x0000, 0xC000}},
      {4, "3.5e38", {}, "Please enter a number between -3.4e+38 and 3.4e+38."},
      {4, "inf", {}, "Please enter a number."},
      {6, "1", {0, 0, 0, 0x3FF0}},
      {7, "1.7e308", {}, "Please enter a number between -1.7e+307 and 1.7e+307."},
      {8, "-2", {0xFFFE, 0xFFFF}},
      {9, "2147483646", {0xFFFE, 0x7FFF}},
      {8, "2147483647", {}, "Please enter an integer between -2147483646 and 2147483646."},
  };
  for (const Entry& e : entries) EXPECT_EQ(Check(e), "") << "format " << e.format << " \"" << e.text << "\"";
}

TEST(WriteValues, StartingTextsReadBackTheirValue) {
  EXPECT_EQ(HexEntryText(0x00AB), "AB");
  EXPECT_EQ(HexEntryText(0), "0");
  // The texts a dialog starts with must pass its own check unchanged.
  const std::vector<std::uint16_t> images[] = {{0x8000, 0xC7C3}, {0xFFFF, 0x7F7F}, {0x1234, 0x5678, 0x9ABC, 0x4321}};
  for (int format : {0, 1, 2, 3, 8}) {
    std::vector<std::uint16_t> words;
    EntryFailure failure;
    ASSERT_TRUE(ParseValueEntry(format, ValueEntryText(format, images[0].data()), &words, &failure)) << format;
    EXPECT_EQ(words[0], images[0][0]) << format;
  }
  // The largest float lies above the entry range: it must be changed before a Send.
  EXPECT_EQ(ValueEntryText(4, images[1].data()), "3.40282e+38");
  std::vector<std::uint16_t> words;
  EntryFailure failure;
  EXPECT_FALSE(ParseValueEntry(4, ValueEntryText(4, images[1].data()), &words, &failure));
  EXPECT_EQ(ValueEntryText(6, images[2].data()), "2.47760414965993e+15");
}

TEST(WriteValues, ResultTexts) {
  EXPECT_EQ(WriteResultText(0), "Response ok");
  EXPECT_EQ(WriteResultText(1), "Timeout Error");
  EXPECT_EQ(WriteResultText(7), "Not possible to start communication thread");
  EXPECT_EQ(WriteResultText(11), "Unknown Error");  // the view calls it "Bytes Missing Error"
  EXPECT_EQ(WriteResultText(127), "Unknown Error");
  EXPECT_EQ(WriteResultText(129), "Illigal Function");
  EXPECT_EQ(WriteResultText(130), "Illigal Data Address");
  EXPECT_EQ(WriteResultText(135), "NAK-NEGATIVE ACKNOWLEDGMENT");
  EXPECT_EQ(WriteResultText(138), "Exception Error 10");
  EXPECT_EQ(WriteResultText(128 + 0x7F), "Exception Error 127");
}
