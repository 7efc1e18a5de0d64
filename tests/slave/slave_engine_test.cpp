// The slave engine's request handling over all three framings: the status scan,
// exceptions, limits, broadcasts, unit-id rules, truncated requests, value
// setters and notifications.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "platform/testing/message_recorder.h"
#include "slave_test_support.h"

using namespace slavetest;
using slaveengine::kCoils;
using slaveengine::kDiscreteInputs;
using slaveengine::kHoldingRegisters;
using slaveengine::kInputRegisters;
using platform::WM_ENGINE_NOTIFY;

namespace {

constexpr platform::WindowHandle kView = 0x100;

int Register(std::uint16_t id, std::uint16_t table, std::uint16_t start, std::uint16_t length,
             platform::WindowHandle owner = kView) {
  return slaveengine::RegisterSlot(owner, WM_ENGINE_NOTIFY, 0, id, table, start, length);
}

std::uint16_t RegisterAt(int slot, int index) {
  std::uint16_t words[slaveengine::kMaxRegisterLength] = {};
  EXPECT_EQ(slaveengine::ReadSlotRegisters(slot, words), 1);
  return words[index];
}

std::uint8_t CoilAt(int slot, int index) {
  std::uint8_t coils[slaveengine::kMaxBitLength] = {};
  EXPECT_EQ(slaveengine::ReadSlotCoils(slot, coils), 1);
  return coils[index];
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    slaveengine::InitEngine();
    slaveengine::SetIgnoreUnitId(false);
    slaveloop::SetLinkMode(slaveloop::kLinkRtu);
  }
  void TearDown() override { slaveengine::SetIgnoreUnitId(false); }
};

class FramingTest : public EngineTest, public ::testing::WithParamInterface<Framing> {
 protected:
  std::optional<Bytes> Ask(std::uint8_t unit, const Bytes& pdu) { return Transact(GetParam(), unit, pdu); }
};

TEST_F(EngineTest, RegistrationLimitsAndSlotReuse) {
  EXPECT_EQ(Register(256, kHoldingRegisters, 0, 10), -1);
  EXPECT_EQ(Register(1, 0, 0, 10), -1);
  EXPECT_EQ(Register(1, 5, 0, 10), -1);
  EXPECT_EQ(Register(1, kCoils, 0, 4097), -1);
  EXPECT_EQ(Register(1, kInputRegisters, 0, 2049), -1);
  EXPECT_EQ(Register(1, kDiscreteInputs, 0, 4096), 0);
  EXPECT_EQ(Register(1, kHoldingRegisters, 0, 2048), 1);
  for (int i = 2; i < slaveengine::kSlotCount; ++i) EXPECT_EQ(Register(2, kHoldingRegisters, 0, 1), i);
  EXPECT_EQ(Register(3, kHoldingRegisters, 0, 1), -1) << "the 33rd registration must fail";

  ASSERT_EQ(slaveengine::SetRegisterValue(5, 0, 0xBEEF), 1);
  EXPECT_EQ(slaveengine::ReleaseSlot(5), 1);
  EXPECT_EQ(slaveengine::ReleaseSlot(32), 0);
  EXPECT_EQ(slaveengine::ReleaseSlot(-1), 0);
  EXPECT_EQ(slaveengine::SetRegisterValue(5, 0, 1), 0) << "a free slot takes no values";
  EXPECT_EQ(Register(9, kHoldingRegisters, 0, 4), 5) << "the lowest free slot is taken again";
  EXPECT_EQ(RegisterAt(5, 0), 0) << "registration clears the data area";
}

TEST_F(EngineTest, SlaveIdServedRules) {
  EXPECT_FALSE(slaveengine::IsSlaveIdServed(0));
  const int slot = Register(7, kCoils, 0, 8);
  EXPECT_TRUE(slaveengine::IsSlaveIdServed(7));
  EXPECT_TRUE(slaveengine::IsSlaveIdServed(0));
  EXPECT_FALSE(slaveengine::IsSlaveIdServed(8));
  slaveengine::ReleaseSlot(slot);
  EXPECT_FALSE(slaveengine::IsSlaveIdServed(7));
  EXPECT_FALSE(slaveengine::IsSlaveIdServed(0));
}

TEST_P(FramingTest, ReadCoilsPacksBitsAndChecksRangeAndQuantity) {
  const int slot = Register(1, kCoils, 10, 16);
  for (int i : {0, 2, 3, 8, 15}) slaveengine::SetCoilValue(slot, i, 1);
  EXPECT_EQ(Ask(1, Pdu16(1, {10, 16})), (Bytes{1, 2, 0x0D, 0x81}));
  EXPECT_EQ(Ask(1, Pdu16(1, {12, 3})), (Bytes{1, 1, 0x03})) << "unused high bits are 0";
  EXPECT_EQ(Ask(1, Pdu16(1, {10, 17})), Exception(1, 2));
  EXPECT_EQ(Ask(1, Pdu16(1, {9, 1})), Exception(1, 2));
  EXPECT_EQ(Ask(1, Pdu16(1, {10, 0})), Exception(1, 3));
  EXPECT_EQ(Ask(1, Pdu16(1, {10, 2001})), Exception(1, 3));
  EXPECT_EQ(Ask(1, Pdu16(2, {10, 1})), Exception(2, 1)) << "no discrete-input definition";
}

TEST_P(FramingTest, ExactQuantityLimits) {
  const int coils = Register(1, kCoils, 0, 4096);
  const int inputs = Register(1, kDiscreteInputs, 0, 4096);
  const int holding = Register(1, kHoldingRegisters, 0, 2048);
  const int input = Register(1, kInputRegisters, 0, 2048);
  (void)coils;
  (void)inputs;
  (void)input;

  auto reply = Ask(1, Pdu16(1, {0, 2000}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), 2u + 250u);
  EXPECT_EQ(Ask(1, Pdu16(1, {0, 2001})), Exception(1, 3));
  reply = Ask(1, Pdu16(2, {0, 2000}));
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], 250);
  EXPECT_EQ(Ask(1, Pdu16(2, {0, 2001})), Exception(2, 3));

  reply = Ask(1, Pdu16(3, {0, 125}));
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], 250);
  EXPECT_EQ(Ask(1, Pdu16(3, {0, 126})), Exception(3, 3));
  reply = Ask(1, Pdu16(4, {0, 125}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->size(), 252u);
  EXPECT_EQ(Ask(1, Pdu16(4, {0, 126})), Exception(4, 3));

  Bytes coils1968 = Pdu16(15, {0, 1968});
  coils1968.push_back(246);
  coils1968.resize(coils1968.size() + 246, 0xFF);
  EXPECT_EQ(Ask(1, coils1968), Pdu16(15, {0, 1968}));
  Bytes coils1969 = Pdu16(15, {0, 1969});
  coils1969.push_back(247);
  coils1969.resize(coils1969.size() + 247, 0xFF);
  EXPECT_EQ(Ask(1, coils1969), Exception(15, 3));

  Bytes regs123 = Pdu16(16, {0, 123});
  regs123.push_back(246);
  regs123.resize(regs123.size() + 246, 0x11);
  EXPECT_EQ(Ask(1, regs123), Pdu16(16, {0, 123}));
  Bytes regs124 = Pdu16(16, {0, 124});
  regs124.push_back(248);
  regs124.resize(regs124.size() + 248, 0x11);
  EXPECT_EQ(Ask(1, regs124), Exception(16, 3));

  auto readWrite = [&](std::uint16_t readCount, std::uint16_t writeCount) {
    Bytes pdu = Pdu16(23, {0, readCount, 1000, writeCount});
    pdu.push_back(static_cast<std::uint8_t>(2 * writeCount));
    pdu.resize(pdu.size() + 2 * writeCount, 0x22);
    return Ask(1, pdu);
  };
  reply = readWrite(125, 121);
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[1], 250);
  EXPECT_EQ(readWrite(126, 121), Exception(23, 3));
  EXPECT_EQ(readWrite(125, 122), Exception(23, 3));
  EXPECT_EQ(RegisterAt(holding, 1000), 0x2222);
}

TEST_P(FramingTest, ReadRegistersHighByteFirst) {
  const int slot = Register(4, kInputRegisters, 100, 4);
  slaveengine::SetRegisterValue(slot, 1, 0x1234);
  slaveengine::SetRegisterValue(slot, 2, 0xABCD);
  EXPECT_EQ(Ask(4, Pdu16(4, {101, 2})), (Bytes{4, 4, 0x12, 0x34, 0xAB, 0xCD}));
  EXPECT_EQ(Ask(4, Pdu16(4, {103, 2})), Exception(4, 2)) << "range crosses the end";
  EXPECT_EQ(Ask(4, Pdu16(3, {101, 1})), Exception(3, 1)) << "table 3 has no definition";
}

TEST_P(FramingTest, WriteSingleCoilAcceptsOnlyTheTwoValues) {
  const int slot = Register(1, kCoils, 0, 8);
  EXPECT_EQ(Ask(1, Pdu16(5, {3, 0x1234})), Exception(5, 3));
  EXPECT_EQ(CoilAt(slot, 3), 0);
  EXPECT_EQ(Ask(1, Pdu16(5, {3, 0xFF00})), Pdu16(5, {3, 0xFF00}));
  EXPECT_EQ(CoilAt(slot, 3), 1);
  EXPECT_EQ(Ask(1, Pdu16(5, {3, 0x0000})), Pdu16(5, {3, 0x0000}));
  EXPECT_EQ(CoilAt(slot, 3), 0);
  EXPECT_EQ(Ask(1, Pdu16(5, {8, 0xFF00})), Exception(5, 2));
}

TEST_P(FramingTest, WriteSingleRegisterRange) {
  const int slot = Register(1, kHoldingRegisters, 20, 5);
  EXPECT_EQ(Ask(1, Pdu16(6, {24, 0xCAFE})), Pdu16(6, {24, 0xCAFE}));
  EXPECT_EQ(RegisterAt(slot, 4), 0xCAFE);
  EXPECT_EQ(Ask(1, Pdu16(6, {25, 1})), Exception(6, 2)) << "start + length is outside";
  EXPECT_EQ(Ask(1, Pdu16(6, {19, 1})), Exception(6, 2));
}

TEST_P(FramingTest, WriteMultipleCoilsAndRegisters) {
  const int coils = Register(1, kCoils, 0, 20);
  const int regs = Register(1, kHoldingRegisters, 0, 10);
  Bytes pdu = Pdu16(15, {2, 10});
  pdu.insert(pdu.end(), {2, 0xCD, 0x01});
  EXPECT_EQ(Ask(1, pdu), Pdu16(15, {2, 10}));
  const int expected[10] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(CoilAt(coils, 2 + i), expected[i]) << i;
  EXPECT_EQ(CoilAt(coils, 12), 0);

  Bytes badCount = Pdu16(15, {2, 10});
  badCount.insert(badCount.end(), {1, 0xFF});
  EXPECT_EQ(Ask(1, badCount), Exception(15, 3)) << "byte count must be ceil(quantity / 8)";

  Bytes regPdu = Pdu16(16, {8, 2});
  regPdu.insert(regPdu.end(), {4, 0x01, 0x02, 0x03, 0x04});
  EXPECT_EQ(Ask(1, regPdu), Pdu16(16, {8, 2}));
  EXPECT_EQ(RegisterAt(regs, 8), 0x0102);
  EXPECT_EQ(RegisterAt(regs, 9), 0x0304);
  Bytes past = Pdu16(16, {9, 2});
  past.insert(past.end(), {4, 0, 0, 0, 0});
  EXPECT_EQ(Ask(1, past), Exception(16, 2));
  Bytes wrongCount = Pdu16(16, {0, 2});
  wrongCount.insert(wrongCount.end(), {5, 0, 0, 0, 0, 0});
  EXPECT_EQ(Ask(1, wrongCount), Exception(16, 3));
}

TEST_P(FramingTest, MaskWriteRegister) {
  const int slot = Register(1, kHoldingRegisters, 0, 4);
  slaveengine::SetRegisterValue(slot, 2, 0x0012);
  EXPECT_EQ(Ask(1, Pdu16(22, {2, 0x00F2, 0x0025})), Pdu16(22, {2, 0x00F2, 0x0025}));
  EXPECT_EQ(RegisterAt(slot, 2), 0x0017);
  EXPECT_EQ(Ask(1, Pdu16(22, {4, 0xFFFF, 0})), Exception(22, 2));
}

TEST_P(FramingTest, ReadWriteMultipleWritesBeforeReading) {
  const int slot = Register(1, kHoldingRegisters, 0, 10);
  slaveengine::SetRegisterValue(slot, 3, 0x0303);
  Bytes pdu = Pdu16(23, {2, 3, 3, 2});
  pdu.insert(pdu.end(), {4, 0xAA, 0xBB, 0xCC, 0xDD});
  EXPECT_EQ(Ask(1, pdu), (Bytes{23, 6, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD}));
  EXPECT_EQ(RegisterAt(slot, 4), 0xCCDD);

  Bytes outside = Pdu16(23, {0, 1, 9, 2});
  outside.insert(outside.end(), {4, 1, 2, 3, 4});
  EXPECT_EQ(Ask(1, outside), Exception(23, 2)) << "the write range must lie inside too";
  EXPECT_EQ(RegisterAt(slot, 9), 0) << "nothing written on failure";
}

TEST_P(FramingTest, StatusIsTheLastTakingPartSlots) {
  Register(1, kHoldingRegisters, 0, 10);
  Register(2, kHoldingRegisters, 0, 100);  // other slave id: takes no part
  Register(1, kInputRegisters, 0, 100);     // other table: takes no part
  EXPECT_EQ(Ask(1, Pdu16(3, {50, 1})), Exception(3, 2));
  EXPECT_EQ(Ask(1, Pdu16(3, {0, 126})), Exception(3, 3));
  EXPECT_EQ(Ask(1, Pdu16(1, {0, 1})), Exception(1, 1));

  // Two definitions of the same slave: the first that holds the range serves.
  const int second = Register(1, kHoldingRegisters, 0, 20);
  slaveengine::SetRegisterValue(second, 15, 0x5151);
  EXPECT_EQ(Ask(1, Pdu16(3, {15, 1})), (Bytes{3, 2, 0x51, 0x51}));
}

TEST_P(FramingTest, UnsupportedFunctionGetsIllegalFunction) {
  Register(1, kHoldingRegisters, 0, 10);
  // 07 and 43/14 are served now (device_functions_test); 0C and 43/13 are not.
  EXPECT_EQ(Ask(1, Bytes{0x0C}), Exception(0x0C, 1));
  EXPECT_EQ(Ask(1, Bytes{0x2B, 0x0D, 1, 0}), Exception(0x2B, 1));
  if (GetParam() != Framing::Tcp) {
    EXPECT_EQ(Ask(0, Bytes{0x0C}), std::nullopt) << "addressed to 0 on a line: no answer at all";
  }
}

TEST_P(FramingTest, UnservedSlaveIdIsNotAnswered) {
  const int slot = Register(1, kHoldingRegisters, 0, 10);
  EXPECT_EQ(Ask(2, Pdu16(3, {0, 1})), std::nullopt);
  slaveengine::ReleaseSlot(slot);
  EXPECT_EQ(Ask(1, Pdu16(3, {0, 1})), std::nullopt) << "a released slot is never served";
}

// A request whose fields or data end before its byte count or quantity says
// must not be read past its end; it is answered with exception 3.
TEST_P(FramingTest, TruncatedRequestsGetIllegalDataValue) {
  Register(1, kHoldingRegisters, 0, 100);
  Register(1, kCoils, 0, 100);
  Bytes regs = Pdu16(16, {0, 4});
  regs.insert(regs.end(), {8, 1, 2, 3, 4});  // four of eight data bytes
  EXPECT_EQ(Ask(1, regs), Exception(16, 3));
  Bytes coils = Pdu16(15, {0, 16});
  coils.push_back(2);  // byte count without data
  EXPECT_EQ(Ask(1, coils), Exception(15, 3));
  Bytes rw = Pdu16(23, {0, 1, 0, 2});
  rw.insert(rw.end(), {4, 9, 9});
  EXPECT_EQ(Ask(1, rw), Exception(23, 3));
  EXPECT_EQ(Ask(1, Bytes{3, 0, 0}), Exception(3, 3)) << "quantity missing";
  EXPECT_EQ(Ask(1, Bytes{22, 0, 1, 0xFF, 0xFF}), Exception(22, 3)) << "or-mask missing";
  EXPECT_EQ(Ask(1, Bytes{6, 0}), Exception(6, 3));
  std::uint16_t words[100] = {};
  slaveengine::ReadSlotRegisters(0, words);
  for (std::uint16_t w : words) EXPECT_EQ(w, 0);
}

INSTANTIATE_TEST_SUITE_P(AllFramings, FramingTest, ::testing::Values(Framing::Rtu, Framing::Ascii, Framing::Tcp),
                         [](const auto& info) { return std::string(FramingName(info.param)); });

TEST_F(EngineTest, SerialBroadcastWritesEveryDefinitionSilently) {
  const int a = Register(1, kCoils, 0, 16);
  const int b = Register(2, kCoils, 0, 16);
  const int c = Register(3, kCoils, 100, 16);  // range does not hold the request
  for (Framing f : {Framing::Rtu, Framing::Ascii}) {
    Bytes pdu = Pdu16(15, {4, 4});
    pdu.insert(pdu.end(), {1, 0x0B});
    EXPECT_EQ(Transact(f, 0, pdu), std::nullopt);
    for (int slot : {a, b}) {
      EXPECT_EQ(CoilAt(slot, 4), 1);
      EXPECT_EQ(CoilAt(slot, 5), 1);
      EXPECT_EQ(CoilAt(slot, 6), 0);
      EXPECT_EQ(CoilAt(slot, 7), 1);
    }
    EXPECT_EQ(CoilAt(c, 4), 0);
    EXPECT_EQ(Transact(f, 0, Pdu16(5, {200, 0xFF00})), std::nullopt) << "no exception to a broadcast";
    EXPECT_EQ(Transact(f, 0, Pdu16(1, {0, 1})), std::nullopt) << "a broadcast read is not answered";
    for (int slot : {a, b}) slaveengine::SetCoilValue(slot, 4, 0);
  }
  const int regs = Register(1, kHoldingRegisters, 0, 4);
  const int regs2 = Register(9, kHoldingRegisters, 0, 4);
  EXPECT_EQ(Transact(Framing::Rtu, 0, Pdu16(6, {1, 0x4242})), std::nullopt);
  EXPECT_EQ(RegisterAt(regs, 1), 0x4242);
  EXPECT_EQ(RegisterAt(regs2, 1), 0x4242);
  // No request to address 0 is answered on a line, not even 22, 23 or an
  // unsupported function: every slave on a multi-drop bus would answer at once.
  for (Framing f : {Framing::Rtu, Framing::Ascii}) {
    EXPECT_EQ(Transact(f, 0, Pdu16(22, {1, 0, 0})), std::nullopt) << FramingName(f);
    Bytes rw = Pdu16(23, {0, 1, 0, 1});
    rw.insert(rw.end(), {2, 0, 0});
    EXPECT_EQ(Transact(f, 0, rw), std::nullopt) << FramingName(f);
    EXPECT_EQ(Transact(f, 0, Bytes{0x41, 0, 0}), std::nullopt) << FramingName(f) << ": unsupported function";
  }
  EXPECT_EQ(Transact(Framing::Rtu, 1, Bytes{0x41, 0, 0}), Exception(0x41, 1)) << "an addressed slave still says so";
  // Modbus/TCP keeps its rules for unit 0.
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(22, {1, 0, 0})), Exception(22, 1));
}

TEST_F(EngineTest, TcpBroadcastAndIgnoreUnitId) {
  const int a = Register(1, kCoils, 0, 16);
  const int b = Register(2, kCoils, 0, 16);
  Bytes pdu = Pdu16(15, {0, 3});
  pdu.insert(pdu.end(), {1, 0x05});
  EXPECT_EQ(Transact(Framing::Tcp, 0, pdu), std::nullopt) << "unit 0 writes are not answered";
  EXPECT_EQ(CoilAt(a, 0), 1);
  EXPECT_EQ(CoilAt(b, 0), 1);
  EXPECT_EQ(CoilAt(b, 2), 1);

  slaveengine::SetCoilValue(a, 0, 0);
  slaveengine::SetCoilValue(b, 0, 0);
  slaveengine::SetIgnoreUnitId(true);
  EXPECT_EQ(Transact(Framing::Tcp, 0, pdu), Pdu16(15, {0, 3}));
  EXPECT_EQ(CoilAt(a, 0), 1);
  EXPECT_EQ(CoilAt(b, 0), 0) << "with IgnoreUnitId only the lower slot is written";
  EXPECT_EQ(Transact(Framing::Tcp, 99, Pdu16(1, {0, 3})), (Bytes{1, 1, 0x05}));
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(5, {16, 0xFF00})), Exception(5, 2))
      << "with IgnoreUnitId a failed unit-0 write is answered";
  slaveengine::SetIgnoreUnitId(false);
  EXPECT_EQ(Transact(Framing::Tcp, 99, Pdu16(1, {0, 3})), std::nullopt);
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(1, {0, 3})), Exception(1, 1)) << "reads to unit 0 find no definition";
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(5, {16, 0xFF00})), std::nullopt) << "a failed broadcast is silent";
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(5, {0, 0x1234})), std::nullopt);

  const int regs = Register(1, kHoldingRegisters, 0, 4);
  slaveengine::SetRegisterValue(regs, 0, 0x00FF);
  EXPECT_EQ(Transact(Framing::Tcp, 0, Pdu16(22, {0, 0, 0})), Exception(22, 1)) << "no broadcast of 22";
  EXPECT_EQ(RegisterAt(regs, 0), 0x00FF);
  Bytes rw = Pdu16(23, {0, 1, 0, 1});
  rw.insert(rw.end(), {2, 0, 0});
  EXPECT_EQ(Transact(Framing::Tcp, 0, rw), Exception(23, 1)) << "no broadcast of 23";
  EXPECT_EQ(RegisterAt(regs, 0), 0x00FF);
}

// ServePdu is the step both transports share: it builds the reply PDU (in place
// too) and leaves framing, traffic records and the port to its callers.
TEST_F(EngineTest, ServePduBuildsTheReplyPduAndSendsNothing) {
  using slaveengine::Transport;
  const int regs = Register(1, kHoldingRegisters, 0, 4);
  slaveengine::SetRegisterValue(regs, 2, 0xBEEF);
  slaveengine::SetFrameObserver(ObserveFrame);
  ClearFrames();
  std::uint8_t reply[slaveengine::kReplyCapacity];
  const std::uint8_t read[] = {3, 0, 2, 0, 1};
  for (Transport t : {Transport::kSerial, Transport::kTcp}) {
    ASSERT_EQ(slaveengine::ServePdu(t, 1, read, 5, reply), 4);
    EXPECT_EQ(Bytes(reply, reply + 4), (Bytes{3, 2, 0xBE, 0xEF}));
    EXPECT_EQ(slaveengine::ServePdu(t, 7, read, 5, reply), 0) << "unit 7 is not served";
  }
  std::uint8_t inPlace[slaveengine::kReplyCapacity] = {6, 0, 3, 0x12, 0x34};
  ASSERT_EQ(slaveengine::ServePdu(Transport::kSerial, 1, inPlace, 5, inPlace), 5);
  EXPECT_EQ(Bytes(inPlace, inPlace + 5), (Bytes{6, 0, 3, 0x12, 0x34}));
  EXPECT_EQ(RegisterAt(regs, 3), 0x1234);
  slaveengine::SetFrameObserver(nullptr);
  std::uint8_t copy[slaveengine::kFrameCopySize];
  EXPECT_EQ(slaveengine::CopyLastSent(copy), 0);
  std::lock_guard<std::mutex> guard(Frames().lock);
  EXPECT_TRUE(Frames().sent.empty());
}

// The read-outs copy the definition's length (halved or quartered for the
// 32- and 64-bit views) and never more than the data area holds.
TEST_F(EngineTest, ReadOutsCopyOnlyTheDefinitionsLength) {
  const int regs = Register(1, kHoldingRegisters, 0, 7);
  for (int i = 0; i < 8; ++i) slaveengine::SetRegisterValue(regs, i, static_cast<std::uint16_t>(0x100 + i));
  std::uint16_t words[9];
  std::fill(std::begin(words), std::end(words), 0xEEEE);
  ASSERT_EQ(slaveengine::ReadSlotRegisters(regs, words), 1);
  EXPECT_EQ(words[6], 0x106);
  EXPECT_EQ(words[7], 0xEEEE) << "element 7 lies outside a definition of 7";
  std::uint32_t longs[4];
  std::fill(std::begin(longs), std::end(longs), 0xEEEEEEEEu);
  ASSERT_EQ(slaveengine::ReadSlotLongs(regs, longs, false), 1);
  EXPECT_EQ(longs[2], 0x01050104u);
  EXPECT_EQ(longs[3], 0xEEEEEEEEu) << "7 / 2 = 3 values";
  double doubles[2] = {-1.0, -1.0};
  ASSERT_EQ(slaveengine::ReadSlotDoubles(regs, doubles, false), 1);
  EXPECT_NE(doubles[0], -1.0);
  EXPECT_EQ(doubles[1], -1.0) << "7 / 4 = 1 value";

  const int coils = Register(1, kCoils, 0, 5);
  std::uint8_t bytes[6] = {9, 9, 9, 9, 9, 9};
  slaveengine::SetCoilValue(coils, 4, 1);
  slaveengine::SetCoilValue(coils, 5, 1);
  ASSERT_EQ(slaveengine::ReadSlotCoils(coils, bytes), 1);
  EXPECT_EQ(bytes[4], 1);
  EXPECT_EQ(bytes[5], 9);

  // A coil definition of 4096 elements read as registers stops at 2048 words.
  const int big = Register(1, kCoils, 0, 4096);
  std::vector<std::uint16_t> all(2049, 0xEEEE);
  ASSERT_EQ(slaveengine::ReadSlotRegisters(big, all.data()), 1);
  EXPECT_EQ(all[2047], 0);
  EXPECT_EQ(all[2048], 0xEEEE);
}

TEST_F(EngineTest, ValueSettersSwapWordsAndCheckIndices) {
  const int slot = Register(1, kHoldingRegisters, 0, 8);
  EXPECT_EQ(slaveengine::SetLongValue(slot, 0, 0x11223344, false), 1);
  EXPECT_EQ(RegisterAt(slot, 0), 0x3344);
  EXPECT_EQ(RegisterAt(slot, 1), 0x1122);
  EXPECT_EQ(slaveengine::SetLongValue(slot, 1, 0x11223344, true), 1);
  EXPECT_EQ(RegisterAt(slot, 2), 0x1122);
  EXPECT_EQ(RegisterAt(slot, 3), 0x3344);
  std::uint32_t longs[4] = {};
  slaveengine::ReadSlotLongs(slot, longs, true);
  EXPECT_EQ(longs[1], 0x11223344u);
  EXPECT_EQ(longs[0], 0x33441122u);

  EXPECT_EQ(slaveengine::SetDoubleValue(slot, 1, 1.5, true), 1);  // 0x3FF8000000000000
  EXPECT_EQ(RegisterAt(slot, 4), 0x3FF8);
  EXPECT_EQ(RegisterAt(slot, 7), 0x0000);
  double doubles[2] = {};
  slaveengine::ReadSlotDoubles(slot, doubles, true);
  EXPECT_EQ(doubles[1], 1.5);
  slaveengine::SetDoubleValue(slot, 0, -2.25, false);
  slaveengine::ReadSlotDoubles(slot, doubles, false);
  EXPECT_EQ(doubles[0], -2.25);
  EXPECT_EQ(slaveengine::SetFloatValue(slot, 0, 1.0f, false), 1);  // 0x3F800000
  EXPECT_EQ(RegisterAt(slot, 1), 0x3F80);

  EXPECT_EQ(slaveengine::SetCoilValue(slot, 4095, 1), 1);
  EXPECT_EQ(slaveengine::SetCoilValue(slot, 4096, 1), 0);
  EXPECT_EQ(slaveengine::SetRegisterValue(slot, 2047, 1), 1);
  EXPECT_EQ(slaveengine::SetRegisterValue(slot, 2048, 1), 0);
  EXPECT_EQ(slaveengine::SetLongValue(slot, 1023, 1, false), 1);
  EXPECT_EQ(slaveengine::SetLongValue(slot, 1024, 1, false), 0);
  EXPECT_EQ(slaveengine::SetDoubleValue(slot, 511, 1, false), 1);
  EXPECT_EQ(slaveengine::SetDoubleValue(slot, 512, 1, false), 0);
  EXPECT_EQ(slaveengine::SetRegisterValue(31, 0, 1), 0);
  EXPECT_EQ(slaveengine::SetRegisterValue(32, 0, 1), 0);
  EXPECT_EQ(slaveengine::ReadSlotRegisters(-1, nullptr), 0);
}

TEST_F(EngineTest, NotificationsToOwnerAndTrafficWindow) {
  platform::testing::MessageRecorder recorder;
  constexpr platform::WindowHandle kTraffic = 0x200;
  const int slot = Register(1, kHoldingRegisters, 0, 4);
  Register(2, kHoldingRegisters, 0, 4, 0x300);
  Transact(Framing::Tcp, 1, Pdu16(3, {0, 1}));
  auto served = recorder.matching(platform::testing::MessageIs(WM_ENGINE_NOTIFY, kView));
  ASSERT_EQ(served.size(), 1u);
  EXPECT_EQ(served[0].wParam, 1u);
  EXPECT_EQ(served[0].lParam, slot);
  recorder.clear();
  Transact(Framing::Tcp, 1, Pdu16(3, {9, 1}));
  EXPECT_TRUE(recorder.messages().empty()) << "a failed request notifies nobody";

  slaveengine::NotifyStateChange();
  EXPECT_EQ(recorder.count(platform::testing::MessageIs(platform::WM_ENGINE_STATE, kView)), 1u);
  EXPECT_EQ(recorder.count(platform::testing::MessageIs(platform::WM_ENGINE_STATE, 0x300)), 1u);

  recorder.clear();
  slaveengine::RecordReceived(Bytes{1, 2, 3}.data(), 3);
  EXPECT_TRUE(recorder.messages().empty()) << "no traffic window yet";
  slaveengine::SetTrafficWindow(kTraffic);
  Bytes big(700, 0x5A);
  slaveengine::RecordReceived(big.data(), 700);
  slaveengine::RecordSent(Bytes{9, 8}.data(), 2);
  auto traffic = recorder.matching(platform::testing::MessageIs(WM_ENGINE_NOTIFY, kTraffic));
  ASSERT_EQ(traffic.size(), 2u);
  EXPECT_EQ(traffic[0].lParam, 0);
  EXPECT_EQ(traffic[1].lParam, 1);
  std::uint8_t copy[slaveengine::kFrameCopySize];
  EXPECT_EQ(slaveengine::CopyLastReceived(copy), slaveengine::kFrameCopySize) << "frame copies hold 600 bytes";
  EXPECT_EQ(slaveengine::CopyLastSent(copy), 2);
  EXPECT_EQ(copy[0], 9);
  slaveengine::SetTrafficWindow(0);
}

TEST_F(EngineTest, RefreshTickNotifiesEachSlotAfterItsPeriod) {
  platform::testing::MessageRecorder recorder;
  const int slot = Register(1, kHoldingRegisters, 0, 4);
  const int released = Register(2, kHoldingRegisters, 0, 4, 0x300);
  slaveengine::ReleaseSlot(released);
  slaveengine::RefreshTick();
  slaveengine::RefreshTick();
  EXPECT_TRUE(recorder.messages().empty()) << "not yet 500 ms";
  std::this_thread::sleep_for(std::chrono::milliseconds(520));
  slaveengine::RefreshTick();
  auto refresh = recorder.matching(platform::testing::MessageIs(WM_ENGINE_NOTIFY));
  ASSERT_EQ(refresh.size(), 1u) << "free slots are not notified";
  EXPECT_EQ(refresh[0].window, kView);
  EXPECT_EQ(refresh[0].wParam, 0u);
  EXPECT_EQ(refresh[0].lParam, slot);
  slaveengine::RefreshTick();
  EXPECT_EQ(recorder.messages().size(), 1u) << "the period starts again";

  // The phase given at registration counts as time already elapsed.
  recorder.clear();
  const int late = slaveengine::RegisterSlot(0x400, WM_ENGINE_NOTIFY, 600, 3, kCoils, 0, 1);
  slaveengine::RefreshTick();
  auto first = recorder.matching(platform::testing::MessageIs(WM_ENGINE_NOTIFY, 0x400));
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0].lParam, late);
}

}  // namespace
