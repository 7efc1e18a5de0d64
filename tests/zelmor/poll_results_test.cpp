#include "master/app/core/poll_results.h"

#include <gtest/gtest.h>

#include <set>

using namespace zelmor;

TEST(PollResults, ErrorTextsAndCounters) {
  struct Row {
    std::uint16_t result;
    const char* text;
    int counter;
  };
  const Row rows[] = {
      {0, "", kNoCounter},
      {1, "Timeout Error", 0},
      {2, "CRC Error", 1},
      {3, "Response Error", 2},
      {4, "Write Error", 3},
      {5, "Read Error", 4},
      {6, "No Connection", 5},
      {7, "Not possible to start communication thread", 6},
      {11, "Bytes Missing Error", 7},
      {129, "Illigal Function", 8},
      {130, "Illigal Data Address", 9},
      {131, "Illegal Data Value", 10},
      {132, "Slave Device Failure", 11},
      {133, "ACKNOWLEDGE", 12},
      {134, "SLAVE DEVICE BUSY", 13},
      {135, "NAK-NEGATIVE ACKNOWLEDGMENT", 14},
      {128 + 11, "Exception Error 11", 15},
      {128 + 127, "Exception Error 127", 15},
      {8, "Unknown Error", 16},
      {9, "Unknown Error", 16},
      {10, "Unknown Error", 16},
      {12, "Unknown Error", 16},
      {14, "Unknown Error", 16},
  };
  std::set<int> counters;
  for (const Row& row : rows) {
    EXPECT_EQ(ErrorTextForResult(row.result), row.text) << row.result;
    EXPECT_EQ(ErrorCounterForResult(row.result), row.counter) << row.result;
    if (row.counter >= 0) counters.insert(row.counter);
  }
  EXPECT_EQ(counters.size(), 17u);
  // Only the low seven bits of an exception result count.
  EXPECT_EQ(NormalizeResult(128 + 128 + 2), 130);
  EXPECT_EQ(ErrorTextForResult(256 + 2), "Illigal Data Address");
}

namespace {
std::vector<std::uint8_t> Words(std::initializer_list<std::uint16_t> words) {
  std::vector<std::uint8_t> image;
  for (std::uint16_t w : words) {
    image.push_back(static_cast<std::uint8_t>(w));
    image.push_back(static_cast<std::uint8_t>(w >> 8));
  }
  return image;
}
}  // namespace

TEST(PollResults, LogLineLayouts) {
  auto values = Words({1, 0xFFFE});
  LogPoll poll{3, 0, 2, 0, true, values.data(), values.size()};
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogComma), "12:00:05,<40001>,1,-2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogTab), "12:00:05\t<40001>\t1\t-2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 0, kLogFixed), "12:00:05 <40001>      1     -2");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 1, kLogComma), "12:00:05,<40001>,Timeout Error");
  EXPECT_EQ(ComposeLogLine("12:00:05", poll, 130, kLogFixed), "12:00:05 <40001> Illigal Data Address");
}

TEST(PollResults, LogLineSkipsEmptyHalvesOfWideValues) {
  // Ten registers as five floats 1.0 (low word first in the document image).
  std::vector<std::uint8_t> values;
  for (int k = 0; k < 5; ++k)
    for (std::uint16_t w : {std::uint16_t{0}, std::uint16_t{0x3F80}}) {
      values.push_back(static_cast<std::uint8_t>(w));
      values.push_back(static_cast<std::uint8_t>(w >> 8));
    }
  LogPoll poll{4, 19999, 10, 4, true, values.data(), values.size()};
  EXPECT_EQ(ComposeLogLine("01:02:03", poll, 0, kLogComma),
            "01:02:03,<320000>,1.000000,1.000000,1.000000,1.000000,1.000000");
  std::string fixed = ComposeLogLine("01:02:03", poll, 0, kLogFixed);
  EXPECT_EQ(fixed.rfind("01:02:03 <320000>        1.000000  ", 0), 0u) << fixed;
}
