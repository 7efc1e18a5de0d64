// Identity entries as vantor's --identity and the profile write them.
#include "slave/core/identity_entries.h"

#include <gtest/gtest.h>

using identityentries::IdentityEntry;

TEST(IdentityEntries, OptionTextByNumberOrName) {
  IdentityEntry e;
  std::string error;
  ASSERT_TRUE(identityentries::ParseEntry("5:VendorName=Acme = Co", &e, &error));
  EXPECT_EQ(e.slaveId, 5);
  EXPECT_EQ(e.objectId, 0);
  EXPECT_EQ(e.text, "Acme = Co");
  ASSERT_TRUE(identityentries::ParseEntry("255:0x80=", &e, &error));
  EXPECT_EQ(e.objectId, 0x80);
  ASSERT_TRUE(identityentries::ParseEntry("1:6=app", &e, &error));
  EXPECT_EQ(e.objectId, 6);
  for (const char* bad : {"5:Vendor=x", "256:0=x", "5:0x100=x", "5:256=x", "5:0=", "5=x", "x:0=a", "5:0xG=a"})
    EXPECT_EQ(identityentries::ParseEntry(bad, &e, &error), std::string(bad) == "5:0=") << bad;
}

TEST(IdentityEntries, ProfileValueRoundTripAndDamage) {
  const std::vector<IdentityEntry> entries = {
      {1, 0, "Acme; 100%"}, {1, 0x80, std::string("\x01\xFF=\n", 4)}, {247, 4, "Pump"}};
  const std::string value = identityentries::EncodeEntries(entries);
  EXPECT_EQ(value, "1:0x00=Acme%3B 100%25;1:0x80=%01%FF=%0A;247:0x04=Pump");
  std::vector<IdentityEntry> back;
  ASSERT_TRUE(identityentries::DecodeEntries(value, &back));
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[1].text, entries[1].text);
  EXPECT_EQ(back[2].slaveId, 247);
  EXPECT_TRUE(identityentries::DecodeEntries("", &back));
  EXPECT_TRUE(back.empty());
  // Damaged values stop at the fault and keep what came before it.
  EXPECT_FALSE(identityentries::DecodeEntries("1:0x00=a;1:0x01=b%4", &back));
  EXPECT_EQ(back.size(), 1u);
  EXPECT_FALSE(identityentries::DecodeEntries("1:0x00=a;garbage", &back));
  EXPECT_FALSE(identityentries::DecodeEntries("1:0x00=%ZZ", &back));
}
