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

namespace {
struct Seen {
  bool flag = false;
  int count = 0;
  std::vector<std::string> others;
};
bool SetFlag(const std::string&, const std::string&, Seen* s, std::string*) { return s->flag = true; }
bool SetCount(const std::string& name, const std::string& v, Seen* s, std::string* error) {
  return ParseInt(v, 1, 9, &s->count) || (*error = RangeText(name, 1, 9), false);
}
bool Other(const std::string& arg, Seen* s, std::string* error) {
  if (arg[0] == '-') return *error = "unknown " + arg, false;
  s->others.push_back(arg);
  return true;
}
constexpr OptionRow<Seen> kRows[] = {{"--flag", false, SetFlag}, {"--count", true, SetCount}};

bool Walk(std::vector<std::string> args, Seen* seen, std::string* error) {
  return WalkOptions(args, kRows, "", Other, seen, error);
}
}  // namespace

TEST(Options, TableWalkStopsAtTheFirstBadArgument) {
  Seen seen;
  std::string error;
  ASSERT_TRUE(Walk({"a", "--headless", "--count", "3", "--flag", "b"}, &seen, &error)) << error;
  EXPECT_TRUE(seen.flag);
  EXPECT_EQ(seen.count, 3);
  EXPECT_EQ(seen.others, (std::vector<std::string>{"a", "b"}));  // "--headless" is nobody's

  // A flag takes no value: the next argument stays an argument of its own.
  seen = {};
  EXPECT_FALSE(Walk({"--flag", "--count", "0", "c"}, &seen, &error));
  EXPECT_EQ(error, "--count must be an integer between 1 and 9");
  EXPECT_TRUE(seen.others.empty());
  EXPECT_FALSE(Walk({"--count"}, &seen, &error));
  EXPECT_EQ(error, "--count needs a value");
  EXPECT_FALSE(Walk({"--flag=1"}, &seen, &error));
  EXPECT_EQ(error, "unknown --flag=1");
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
