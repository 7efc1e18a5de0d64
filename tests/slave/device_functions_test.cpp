// vantor's device functions through the engine in every framing: device
// identification read back by zelmor's reader across "more follows" replies,
// report slave id, diagnostics with the counts of the link, 07 and 0B.
#include <gtest/gtest.h>

#include "common/device_objects.h"
#include "common/modbus_protocol.h"
#include "master/core/device_identification.h"
#include "slave/engine/identity.h"
#include "slave/engine/link_counters.h"
#include "slave_test_support.h"

using namespace slavetest;

namespace {

constexpr platform::WindowHandle kView = 0x100;

class DeviceFunctionsTest : public ::testing::TestWithParam<Framing> {
 protected:
  void SetUp() override {
    slaveengine::InitEngine();
    slaveidentity::ClearAllObjects();
    slavecounters::ClearCounters();
    slaveengine::RegisterSlot(kView, platform::WM_ENGINE_NOTIFY, 0, 5, slaveengine::kHoldingRegisters, 0, 10);
  }
  void TearDown() override { slaveidentity::ClearAllObjects(); }
  std::optional<Bytes> Ask(std::uint8_t unit, const Bytes& pdu) { return Transact(GetParam(), unit, pdu); }
  // Reads a category with zelmor's reader; the objects or the reader's fault.
  std::string ReadAll(std::uint8_t code, std::uint8_t first, std::vector<devid::DeviceObject>* objects) {
    devid::Reading reading(code, first);
    while (!reading.done()) {
      Bytes request(devid::kMaxRequestPdu);
      request.resize(reading.NextRequest(request.data()));
      const std::optional<Bytes> reply = Ask(5, request);
      if (!reply) return "no reply";
      if (std::string fault = reading.TakeReply(reply->data(), static_cast<int>(reply->size())); !fault.empty())
        return fault;
    }
    *objects = reading.objects();
    return {};
  }
};

}  // namespace

TEST_P(DeviceFunctionsTest, IdentificationByCategoryWithContinuation) {
  std::vector<devid::DeviceObject> objects;
  ASSERT_EQ(ReadAll(modbus::READ_DEVICE_ID_BASIC, 0, &objects), "");
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0].value, "vantor");
  EXPECT_FALSE(objects[2].value.empty()) << "the revision is the program's version";

  ASSERT_TRUE(slaveidentity::SetObject(5, modbus::DEVICE_OBJECT_VENDOR_NAME, "Acme"));
  ASSERT_TRUE(slaveidentity::SetObject(5, 4, "Pump controller"));
  // Private objects of 200 bytes each: an extended read needs several replies.
  for (int id = 0x80; id < 0x84; ++id)
    ASSERT_TRUE(slaveidentity::SetObject(5, static_cast<std::uint8_t>(id), std::string(200, static_cast<char>('a' + id - 0x80))));
  EXPECT_FALSE(slaveidentity::SetObject(5, 0x90, std::string(slaveidentity::kMaxObjectLength + 1, 'x')));

  ASSERT_EQ(ReadAll(modbus::READ_DEVICE_ID_REGULAR, 0, &objects), "");
  ASSERT_EQ(objects.size(), 4u);
  EXPECT_EQ(objects[0].value, "Acme");
  EXPECT_EQ(objects[3].id, 4);
  ASSERT_EQ(ReadAll(modbus::READ_DEVICE_ID_EXTENDED, 0, &objects), "");
  ASSERT_EQ(objects.size(), 8u);
  EXPECT_EQ(objects[7].id, 0x83);
  EXPECT_EQ(objects[7].value, std::string(200, 'd'));

  // One reply at a time: the first extended reply says which object follows.
  const std::optional<Bytes> first = Ask(5, Bytes{0x2B, 0x0E, 3, 0x80});
  ASSERT_TRUE(first && first->size() > 7);
  EXPECT_EQ((*first)[3], 0x83) << "conformity: extended and individual access";
  EXPECT_EQ((*first)[4], modbus::DEVICE_ID_MORE_FOLLOWS);
  EXPECT_EQ((*first)[5], 0x81);
  // Another slave id keeps the defaults.
  ASSERT_EQ(ReadAll(modbus::READ_DEVICE_ID_INDIVIDUAL, 4, &objects), "");
  EXPECT_EQ(objects[0].value, "Pump controller");
}

TEST_P(DeviceFunctionsTest, IdentificationExceptions) {
  EXPECT_EQ(Ask(5, Bytes{0x2B, 0x0E, 4, 0x05}), Exception(0x2B, 2)) << "individual object not set";
  EXPECT_EQ(Ask(5, Bytes{0x2B, 0x0E, 5, 0x00}), Exception(0x2B, 3)) << "bad read code";
  EXPECT_EQ(Ask(5, Bytes{0x2B, 0x0E, 0, 0x00}), Exception(0x2B, 3));
  EXPECT_EQ(Ask(5, Bytes{0x2B, 0x0E, 1}), Exception(0x2B, 3)) << "no object id";
  EXPECT_EQ(Ask(5, Bytes{0x2B, 0x0D, 1, 0}), Exception(0x2B, 1)) << "another MEI type";
  // A stream from an object outside the category starts over at object 0.
  const std::optional<Bytes> restarted = Ask(5, Bytes{0x2B, 0x0E, 1, 0x40});
  ASSERT_TRUE(restarted && restarted->size() > 8);
  EXPECT_EQ((*restarted)[7], 0);
  EXPECT_EQ(Ask(6, Bytes{0x2B, 0x0E, 1, 0}), std::nullopt) << "an unserved slave id stays silent";
}

TEST_P(DeviceFunctionsTest, ReportSlaveIdAndStatusFunctions) {
  ASSERT_TRUE(slaveidentity::SetObject(5, 1, "P-7"));
  const std::optional<Bytes> reply = Ask(5, Bytes{0x11});
  ASSERT_TRUE(reply);
  devid::SlaveIdReply parsed;
  ASSERT_EQ(devid::ParseReportSlaveIdReply(reply->data(), static_cast<int>(reply->size()), &parsed), "");
  EXPECT_EQ(parsed.slaveId, 5);
  EXPECT_EQ(parsed.runIndicator, modbus::RUN_INDICATOR_ON);
  EXPECT_EQ(parsed.additional.rfind("vantor P-7 ", 0), 0u) << parsed.additional;
  EXPECT_EQ(Ask(5, Bytes{0x07}), (Bytes{0x07, 0x00}));
  // 0B: status 0, then the requests answered without exception so far (17 and
  // 07). Over TCP the server loop counts (identify_pymodbus_test checks it).
  const std::uint8_t answered = GetParam() == Framing::Tcp ? 0 : 2;
  EXPECT_EQ(Ask(5, Bytes{0x0B}), (Bytes{0x0B, 0, 0, 0, answered}));
}

TEST_P(DeviceFunctionsTest, DiagnosticsEchoCountersAndClear) {
  EXPECT_EQ(Ask(5, Bytes{0x08, 0, 0, 0xAB, 0xCD, 0x12}), (Bytes{0x08, 0, 0, 0xAB, 0xCD, 0x12}));
  EXPECT_EQ(Ask(5, Pdu16(3, {100, 1})), Exception(3, 2));
  // Over TCP the server loop counts, not the request step tested here.
  if (GetParam() == Framing::Tcp) GTEST_SKIP() << "TCP counts: identify_pymodbus_test";
  Ask(6, Pdu16(3, {0, 1}));  // another slave's request: on the bus, not for us
  // Counted before the reply is built: bus messages, all four requests so far
  // (this one included); server messages, the five addressed to 5.
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0B, 0})), Pdu16(8, {0x0B, 4}));
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0D, 0})), Pdu16(8, {0x0D, 1})) << "one exception reply";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0E, 0})), Pdu16(8, {0x0E, 5}));
  Ask(0, Pdu16(8, {0x00, 0x1234}));  // a broadcast is not answered
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0F, 0})), Pdu16(8, {0x0F, 1}));
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0C, 1})), Exception(8, 3)) << "counter requests carry data 0";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x02, 0})), Exception(8, 1)) << "unsupported sub-function";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x13, 0})), Exception(8, 1));
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0A, 0})), Pdu16(8, {0x0A, 0}));
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0D, 0})), Pdu16(8, {0x0D, 0})) << "cleared";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0B, 0})), Pdu16(8, {0x0B, 2}));
  EXPECT_EQ(Ask(5, Pdu16(8, {0x01, 0xFF00})), Pdu16(8, {0x01, 0xFF00})) << "restart echoes";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x0B, 0})), Pdu16(8, {0x0B, 1})) << "and clears the counters";
  EXPECT_EQ(Ask(5, Pdu16(8, {0x01, 0x1234})), Exception(8, 3));
}

INSTANTIATE_TEST_SUITE_P(AllFramings, DeviceFunctionsTest,
                         ::testing::Values(Framing::Rtu, Framing::Ascii, Framing::Tcp),
                         [](const auto& info) { return std::string(FramingName(info.param)); });
