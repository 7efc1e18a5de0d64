#include "common/options.h"

#include <gtest/gtest.h>

using namespace cmdline;

TEST(Options, WalkerHandsOutValuesAndNamesAMissingOne) {
  const std::vector<std::string> args{"--baud", "9600", "file", "--tcp"};
  ArgWalker walk(args, "option ");
  std::string value, error;
  ASSERT_TRUE(walk.Next());
  ASSERT_TRUE(walk.Value(&value, &error));
  EXPECT_EQ(value, "9600");
  ASSERT_TRUE(walk.Next());
  EXPECT_EQ(walk.Arg(), "file");
  ASSERT_TRUE(walk.Next());
  EXPECT_FALSE(walk.Value(&value, &error));
  EXPECT_EQ(error, "option --tcp needs a value");
  EXPECT_FALSE(walk.Next());

  const std::vector<std::string> none;
  ArgWalker empty(none, "");
  EXPECT_FALSE(empty.Next());
}

TEST(Options, NumbersAreDigitsWithinTheirRange) {
  int n = -1;
  EXPECT_TRUE(ParseInt("0", 0, 65535, &n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(ParseInt("65535", 0, 65535, &n));
  EXPECT_EQ(n, 65535);
  EXPECT_TRUE(ParseInt("007", 1, 255, &n));
  EXPECT_EQ(n, 7);
  for (const char* bad : {"65536", "", "-1", "+5", " 5", "5 ", "0x10", "1e3", "99999999999999999999999"})
    EXPECT_FALSE(ParseInt(bad, 0, 65535, &n)) << bad;
  EXPECT_FALSE(ParseInt("0", 1, 255, &n));
  EXPECT_EQ(n, 7);  // untouched by a refusal
  EXPECT_FALSE(ParseInt("5", 1, 4, &n));  // one digit past a one-digit maximum
  EXPECT_TRUE(ParseInt("4", 1, 4, &n));
  EXPECT_EQ(n, 4);

  std::uint64_t big = 0;
  EXPECT_TRUE(ParseUnsigned("18446744073709551615", UINT64_MAX, &big));
  EXPECT_EQ(big, UINT64_MAX);
  EXPECT_FALSE(ParseUnsigned("18446744073709551616", UINT64_MAX, &big));

  EXPECT_EQ(RangeText("--count", 1, 1000000000), "--count must be an integer between 1 and 1000000000");
}

TEST(Options, SplitKeepsEmptyParts) {
  EXPECT_EQ(Split("1:3:0:10", ':'), (std::vector<std::string>{"1", "3", "0", "10"}));
  EXPECT_EQ(Split(":a:", ':'), (std::vector<std::string>{"", "a", ""}));
  EXPECT_EQ(Split("", ':'), (std::vector<std::string>{""}));
}

TEST(Options, SerialLineValues) {
  std::uint32_t baud = 0;
  EXPECT_TRUE(ParseBaud("4000000", &baud));
  EXPECT_EQ(baud, 4000000u);
  EXPECT_FALSE(ParseBaud("4000001", &baud));
  EXPECT_FALSE(ParseBaud("0", &baud));

  int parity = -1;
  for (const char* text : {"none", "N", "n"}) EXPECT_TRUE(ParseParity(text, &parity) && parity == kParityNone) << text;
  for (const char* text : {"odd", "O", "o"}) EXPECT_TRUE(ParseParity(text, &parity) && parity == kParityOdd) << text;
  for (const char* text : {"even", "E", "e"}) EXPECT_TRUE(ParseParity(text, &parity) && parity == kParityEven) << text;
  for (const char* text : {"X", "mark", "", "NONE", "Ne"}) EXPECT_FALSE(ParseParity(text, &parity)) << text;
  EXPECT_EQ(std::string() + ParityLetter(kParityNone) + ParityLetter(kParityOdd) + ParityLetter(kParityEven), "NOE");

  int bits = 0;
  EXPECT_TRUE(ParseDataBits("7", &bits));
  EXPECT_EQ(bits, 7);
  EXPECT_FALSE(ParseDataBits("9", &bits));

  // Two stop bits are the links' 2, not a list index 1.
  int stop = -1;
  EXPECT_TRUE(ParseStopBits("2", &stop));
  EXPECT_EQ(stop, 2);
  EXPECT_TRUE(ParseStopBits("1", &stop));
  EXPECT_EQ(stop, 0);
  EXPECT_FALSE(ParseStopBits("0", &stop));
  EXPECT_FALSE(ParseStopBits("1.5", &stop));
}
