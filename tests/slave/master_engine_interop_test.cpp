// zelmor's master transactions against headless vantor, over Modbus/TCP and
// over a serial line in RTU and ASCII framing: both ends of this suite agree on
// every function, its values and exception codes.
#include <gtest/gtest.h>

#include <memory>

#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/port_map.h"
#include "vantor_child.h"

using namespace masterengine;
using slavetest::NullModem;
using slavetest::VantorChild;

namespace {

enum class Framing { Rtu, Ascii, Tcp };

const std::vector<std::string> kDefinitions = {"--slave", "1:1:0:100", "--slave", "1:2:0:16",
                                               "--slave", "1:3:100:50", "--slave", "1:4:0:8",
                                               "--slave", "9:3:0:10"};

class MasterAgainstSlave : public ::testing::TestWithParam<Framing> {
 protected:
  void SetUp() override {
    InitEngine();
    std::vector<std::string> args = kDefinitions;
    if (GetParam() == Framing::Tcp) {
      args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
      vantor_ = std::make_unique<VantorChild>(VANTOR_EXECUTABLE, args);
      ASSERT_TRUE(vantor_->ok()) << vantor_->readyLine();
      ASSERT_EQ(NetConnect(kLinkTcp, "127.0.0.1", vantor_->tcpPort(), 2000), RESULT_OK);
      SetExchangeLinkMode(kLinkTcp);
      return;
    }
    const bool rtu = GetParam() == Framing::Rtu;
    modem_ = std::make_unique<NullModem>();
    ASSERT_TRUE(modem_->ok());
    args.insert(args.end(), {"--serial", modem_->pathA(), "--baud", "19200"});
    if (!rtu) args.push_back("--ascii");
    vantor_ = std::make_unique<VantorChild>(VANTOR_EXECUTABLE, args);
    ASSERT_TRUE(vantor_->ok()) << vantor_->readyLine();
    platform::SetSerialPortPath(1, modem_->pathB());
    ASSERT_TRUE(OpenSerialPort(1, 19200, 8, 0, 0));
    ASSERT_TRUE(SetSerialTimeouts(rtu ? 60 : 1000, 1, 2000, 1, 200));
    SetExchangeLinkMode(rtu ? kLinkRtu : kLinkAscii);
  }
  void TearDown() override {
    if (GetParam() == Framing::Tcp) {
      TcpDisconnect();
    } else {
      CloseSerialPort();
    }
    platform::SetSerialPortPath(1, "");
    if (vantor_) {
      EXPECT_EQ(vantor_->stop(), 0);
    }
  }
  std::unique_ptr<NullModem> modem_;
  std::unique_ptr<VantorChild> vantor_;
};

TEST_P(MasterAgainstSlave, EveryFunctionWithValuesAndExceptions) {
  std::uint8_t coils[100] = {};
  for (int i = 0; i < 100; ++i) coils[i] = (i * 5) % 7 < 3;
  ASSERT_EQ(WriteMultipleCoils(1, 0, 100, coils), RESULT_OK);
  ASSERT_EQ(WriteSingleCoil(1, 99, 1), RESULT_OK);
  coils[99] = 1;
  std::uint8_t bits[2000] = {};
  ASSERT_EQ(ReadBits(1, 1, 0, 100, bits), RESULT_OK);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(bits[i], coils[i] ? 1 : 0) << i;
  ASSERT_EQ(ReadBits(1, 2, 0, 16, bits), RESULT_OK);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bits[i], 0);

  std::uint16_t values[50];
  for (int i = 0; i < 50; ++i) values[i] = static_cast<std::uint16_t>(0x1000 + i * 3);
  ASSERT_EQ(WriteMultipleRegisters(1, 100, 50, values), RESULT_OK);
  ASSERT_EQ(WriteSingleRegister(1, 149, 0x0012), RESULT_OK);
  ASSERT_EQ(MaskWriteRegister(1, 149, 0x00F2, 0x0025), RESULT_OK);
  std::uint16_t read[127] = {};
  ASSERT_EQ(ReadRegisters(1, 3, 100, 50, read), RESULT_OK);
  for (int i = 0; i < 49; ++i) EXPECT_EQ(read[i], values[i]) << i;
  EXPECT_EQ(read[49], 0x0017);

  std::uint16_t readWrite[10] = {0xAAAA, 0xBBBB};
  ASSERT_EQ(ReadWriteRegisters(1, 100, 3, 101, 2, readWrite), RESULT_OK);
  EXPECT_EQ(readWrite[0], values[0]);
  EXPECT_EQ(readWrite[1], 0xAAAA);
  EXPECT_EQ(readWrite[2], 0xBBBB);
  ASSERT_EQ(ReadRegisters(1, 4, 0, 8, read), RESULT_OK);
  EXPECT_EQ(read[7], 0);

  EXPECT_EQ(ReadRegisters(1, 3, 99, 2, read), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(ReadRegisters(1, 4, 0, 0, read), RESULT_EXCEPTION_BASE + 3);
  EXPECT_EQ(WriteSingleRegister(1, 150, 1), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(ReadBits(1, 2, 0, 0, bits), RESULT_EXCEPTION_BASE + 3);
  EXPECT_EQ(ReadBits(9, 1, 0, 1, bits), RESULT_EXCEPTION_BASE + 1) << "slave 9 has no coils";
  EXPECT_EQ(ReadRegisters(1, 3, 100, 1, read), RESULT_OK) << "still answering after the exceptions";
}

INSTANTIATE_TEST_SUITE_P(AllFramings, MasterAgainstSlave, ::testing::Values(Framing::Rtu, Framing::Ascii, Framing::Tcp),
                         [](const auto& info) {
                           return std::string(info.param == Framing::Rtu     ? "Rtu"
                                              : info.param == Framing::Ascii ? "Ascii"
                                                                             : "Tcp");
                         });

}  // namespace
