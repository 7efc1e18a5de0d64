#include "common/baud_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using namespace baudtable;

TEST(BaudTable, ListIsAscendingAndEveryIndexMapsBothWays) {
  std::uint32_t previous = 0;
  for (int position = 0; position < kBaudCount; ++position) {
    int index = IndexForListPosition(position);
    ASSERT_GE(index, 0) << position;
    EXPECT_EQ(ListPositionForIndex(index), position);
    std::uint32_t baud = BaudRateForIndex(index);
    EXPECT_GT(baud, previous) << "list must be ascending at position " << position;
    previous = baud;
    // The list text names the same rate.
    EXPECT_EQ(std::strtoul(ListText(position), nullptr, 10), baud);
    EXPECT_EQ(IndexForBaudRate(baud), index);
  }
}

TEST(BaudTable, StoredIndicesKeepTheirHistoricValues) {
  // Profiles and workspaces carry these numbers; a reordering would break them.
  EXPECT_EQ(BaudRateForIndex(0), 2400u);
  EXPECT_EQ(BaudRateForIndex(2), 9600u);
  EXPECT_EQ(BaudRateForIndex(8), 115200u);
  EXPECT_EQ(BaudRateForIndex(9), 300u);
  EXPECT_EQ(BaudRateForIndex(11), 1200u);
  EXPECT_EQ(IndexForListPosition(2), 11);  // "1200 Baud" is stored as 11
  EXPECT_EQ(IndexForListPosition(11), 8);  // "115200 Baud" is stored as 8
  EXPECT_STREQ(ListText(0), "300 Baud");
  EXPECT_STREQ(ListText(11), "115200 Baud");
}

TEST(BaudTable, TimeoutsFollowTheRate) {
  EXPECT_EQ(TimeoutMultiplierForIndex(9), 32u);
  EXPECT_EQ(ReadIntervalForIndex(9), 1720u);
  EXPECT_EQ(TimeoutMultiplierForIndex(2), 2u);
  EXPECT_EQ(ReadIntervalForIndex(2), 240u);
  EXPECT_EQ(TimeoutMultiplierForIndex(8), 1u);
  EXPECT_EQ(ReadIntervalForIndex(8), 32u);
  EXPECT_EQ(ReadIntervalForIndex(0), 960u);
}

TEST(BaudTable, OutOfRangeValuesAreRejected) {
  for (int bad : {-1, 12, 1000}) {
    EXPECT_EQ(BaudRateForIndex(bad), 0u);
    EXPECT_EQ(ListPositionForIndex(bad), -1);
    EXPECT_EQ(IndexForListPosition(bad), -1);
    EXPECT_EQ(ListText(bad), nullptr);
    EXPECT_EQ(TimeoutMultiplierForIndex(bad), 0u);
  }
  EXPECT_EQ(IndexForBaudRate(9601), -1);
}

TEST(BaudTable, StatusPaneText) {
  EXPECT_EQ(SerialStatusText(0, 2, 1, 2, 0), "Port 1: 9600-8-E-1");
  EXPECT_EQ(SerialStatusText(0, 2, 1, 0, 0), "Port 1: 9600-8-N-1");
  EXPECT_EQ(SerialStatusText(7, 11, 0, 1, 1), "Port 8: 1200-7-O-2");
  EXPECT_EQ(SerialStatusText(2, 8, 1, 2, 1), "Port 3: 115200-8-E-2");
}
