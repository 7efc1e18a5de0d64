// Device identification requests, reply checks and continued readings.
#include "master/core/device_identification.h"

#include <gtest/gtest.h>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// A 43/14 reply PDU with the given objects (id, text).
Bytes Reply(std::uint8_t code, bool more, std::uint8_t next, const std::vector<std::pair<int, std::string>>& objects) {
  Bytes pdu = {modbus::FC_ENCAPSULATED_INTERFACE, modbus::MEI_READ_DEVICE_ID, code, 0x83,
               static_cast<std::uint8_t>(more ? 0xFF : 0x00), next, static_cast<std::uint8_t>(objects.size())};
  for (const auto& [id, text] : objects) {
    pdu.push_back(static_cast<std::uint8_t>(id));
    pdu.push_back(static_cast<std::uint8_t>(text.size()));
    pdu.insert(pdu.end(), text.begin(), text.end());
  }
  return pdu;
}

std::string Take(devid::Reading& reading, const Bytes& pdu) {
  return reading.TakeReply(pdu.data(), static_cast<int>(pdu.size()));
}

Bytes Next(const devid::Reading& reading) {
  Bytes pdu(devid::kMaxRequestPdu);
  pdu.resize(reading.NextRequest(pdu.data()));
  return pdu;
}

}  // namespace

TEST(DeviceIdReading, FollowsContinuationsAndCollectsObjects) {
  devid::Reading reading(modbus::READ_DEVICE_ID_REGULAR, 0);
  EXPECT_EQ(Next(reading), (Bytes{0x2B, 0x0E, 0x02, 0x00}));
  EXPECT_EQ(Take(reading, Reply(2, true, 2, {{0, "acme"}, {1, "P-1"}})), "");
  EXPECT_FALSE(reading.done());
  EXPECT_EQ(Next(reading), (Bytes{0x2B, 0x0E, 0x02, 0x02}));
  EXPECT_EQ(Take(reading, Reply(2, false, 0, {{2, "1.0"}, {4, "Box"}})), "");
  ASSERT_TRUE(reading.done());
  EXPECT_EQ(reading.requests(), 2);
  EXPECT_EQ(reading.conformity(), 0x83);
  ASSERT_EQ(reading.objects().size(), 4u);
  EXPECT_EQ(reading.objects()[3].id, 4);
  EXPECT_EQ(reading.objects()[3].value, "Box");
  EXPECT_EQ(devid::ObjectName(reading.objects()[3].id), "ProductName");
  EXPECT_EQ(devid::ObjectName(0x81), "Object 0x81");
}

TEST(DeviceIdReading, EndlessOrRepeatedMoreFollowsStops) {
  // Every reply names a new next object: the reading ends after the bound.
  devid::Reading endless(modbus::READ_DEVICE_ID_EXTENDED, 0x80);
  std::string fault;
  int replies = 0;
  for (int next = 0x81; next <= 0xFF && fault.empty(); ++next, ++replies)
    fault = Take(endless, Reply(3, true, static_cast<std::uint8_t>(next), {{next - 1, "x"}}));
  EXPECT_NE(fault.find("continuations"), std::string::npos) << fault;
  EXPECT_EQ(replies, devid::kMaxContinuations + 1);
  EXPECT_FALSE(endless.done());

  // A reply that sends the reader back to an object already asked for.
  devid::Reading loop(modbus::READ_DEVICE_ID_BASIC, 0);
  EXPECT_EQ(Take(loop, Reply(1, true, 1, {{0, "a"}})), "");
  EXPECT_NE(Take(loop, Reply(1, true, 0, {{1, "b"}})).find("again"), std::string::npos);
  // More follows with no object would never advance.
  devid::Reading empty(modbus::READ_DEVICE_ID_BASIC, 0);
  EXPECT_FALSE(Take(empty, Reply(1, true, 1, {})).empty());
}

TEST(DeviceIdReply, BadLengthsAndWrongIdsAreRefused) {
  devid::DeviceIdReply reply;
  auto parse = [&](const Bytes& pdu) {
    return devid::ParseReadDeviceIdReply(pdu.data(), static_cast<int>(pdu.size()), &reply);
  };
  EXPECT_EQ(parse(Reply(1, false, 0, {{0, "abc"}})), "");
  Bytes overlong = Reply(1, false, 0, {{0, "abc"}});
  overlong[8] = 40;  // the object claims more bytes than the reply holds
  EXPECT_NE(parse(overlong).find("claims 40 bytes"), std::string::npos);
  Bytes trailing = Reply(1, false, 0, {{0, "abc"}});
  trailing.push_back(0);
  EXPECT_NE(parse(trailing).find("after the last object"), std::string::npos);
  Bytes counted = Reply(1, false, 0, {{0, "abc"}});
  counted[6] = 2;  // two objects announced, one sent
  EXPECT_FALSE(parse(counted).empty());
  EXPECT_FALSE(parse(Bytes{0x2B, 0x0E, 0x01}).empty());
  EXPECT_FALSE(parse(Bytes{0x2B, 0x0D, 0x01, 0x01, 0x00, 0x00, 0x00}).empty());  // wrong MEI type
  EXPECT_FALSE(parse(Bytes{0x2B, 0x0E, 0x07, 0x01, 0x00, 0x00, 0x00}).empty());  // wrong read code
  EXPECT_FALSE(parse(Bytes{0x2B, 0x0E, 0x01, 0x01, 0x12, 0x00, 0x00}).empty());  // more follows 0x12
  EXPECT_EQ(parse(Bytes{0xAB, 0x02}), "exception 2");
  EXPECT_FALSE(parse(Bytes{0x03, 0x02}).empty());
  EXPECT_FALSE(parse(Bytes{}).empty());

  // Individual access answered with another code or several objects.
  devid::Reading single(modbus::READ_DEVICE_ID_INDIVIDUAL, 5);
  EXPECT_FALSE(Take(single, Reply(1, false, 0, {{5, "m"}})).empty());
  devid::Reading pair(modbus::READ_DEVICE_ID_INDIVIDUAL, 5);
  EXPECT_FALSE(Take(pair, Reply(4, false, 0, {{5, "m"}, {6, "n"}})).empty());
}

TEST(ReportSlaveId, RequestAndReplyChecks) {
  std::uint8_t pdu[1];
  ASSERT_EQ(devid::BuildReportSlaveIdRequest(pdu), 1);
  EXPECT_EQ(pdu[0], modbus::FC_REPORT_SLAVE_ID);
  devid::SlaveIdReply reply;
  const Bytes good = {0x11, 0x05, 0x07, 0xFF, 'a', 'b', 'c'};
  EXPECT_EQ(devid::ParseReportSlaveIdReply(good.data(), 7, &reply), "");
  EXPECT_EQ(reply.slaveId, 7);
  EXPECT_TRUE(reply.hasRunIndicator);
  EXPECT_EQ(reply.runIndicator, modbus::RUN_INDICATOR_ON);
  EXPECT_EQ(reply.additional, "abc");
  EXPECT_FALSE(devid::ParseReportSlaveIdReply(good.data(), 6, &reply).empty());  // count says 5, 4 present
  const Bytes exception = {0x91, 0x01};
  EXPECT_EQ(devid::ParseReportSlaveIdReply(exception.data(), 2, &reply), "exception 1");
}

TEST(DeviceObjectNames, NamesMapBothWays) {
  EXPECT_EQ(modbus::DeviceObjectIdFromName("vendorname"), 0);
  EXPECT_EQ(modbus::DeviceObjectIdFromName("UserApplicationName"), 6);
  EXPECT_EQ(modbus::DeviceObjectIdFromName("Vendor"), -1);
  EXPECT_EQ(devid::ObjectText(std::string("a\x01\\", 3)), "a\\x01\\x5C");
  EXPECT_EQ(devid::ObjectHex("AB"), "41 42");
}
