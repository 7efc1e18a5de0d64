// The bus scanner's walk, time-left estimate and CSV lines, and a whole
// headless scan in this process on the fake serial port, which answers only
// at 19200 baud with even parity in RTU (what a pty line cannot show).
#include "master/core/bus_scan.h"
#include "master/core/register_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "link/checksums.h"
#include "link/framing.h"
#include "common/device_objects.h"
#include "master/engine/result_codes.h"
#include "master/headless/headless.h"
#include "platform/testing/fake_serial_device.h"

namespace {

namespace me = masterengine;
using platform::testing::FakeSerialPort;

TEST(BusScanCore, WalkOpensEachLineOnceAndEstimatesTheRest) {
  busscan::ScanPlan plan;
  plan.firstId = 1;
  plan.lastId = 3;
  plan.bauds = {9600, 19200};
  plan.parities = {0, 2};
  ASSERT_EQ(busscan::PlanProblem(plan), "");
  ASSERT_EQ(busscan::TotalProbes(plan), 12);
  busscan::ScanState state;
  busscan::StartScan(&state, plan);
  // Before any probe: every remaining probe at its time-out (100 ms at 9600, 50 at 19200).
  EXPECT_EQ(busscan::RemainingMs(state, 0), 6 * 100 + 6 * 50);
  int opens = 0, probes = 0;
  busscan::Combination c;
  for (busscan::StepKind step; (step = busscan::NextStep(state, &c)) != busscan::StepKind::kDone;) {
    if (step == busscan::StepKind::kOpenLine) {
      ++opens;
      busscan::LineOpened(&state, c.lineIndex, true, "");
      continue;
    }
    ++probes;
    busscan::ProbeResult r;
    r.combination = c;
    // Id 2 answers on the second line only; a gateway's exception 11 is no device.
    r.resultCode = c.id == 2 && c.lineIndex == 1 ? me::RESULT_OK
                   : c.id == 3                   ? me::ExceptionResult(modbus::EXCEPTION_GATEWAY_TARGET)
                                                 : me::RESULT_TIMEOUT;
    r.outcome = busscan::OutcomeOf(r.resultCode);
    busscan::RecordProbe(&state, r);
    if (probes == 6) {
      EXPECT_EQ(busscan::RemainingMs(state, 600), 600);  // half done in 600 ms
    }
  }
  EXPECT_EQ(opens, 4);
  EXPECT_EQ(probes, 12);
  ASSERT_EQ(state.found.size(), 1u);
  EXPECT_EQ(busscan::LineText(state.found[0].combination.line, false), "9600 8E1 RTU");
  EXPECT_EQ(busscan::GatewayWarning(state), "");
}

TEST(BusScanCore, ALinkErrorEndsTheWalkAndTextsAreQuoted) {
  busscan::ScanPlan plan;
  plan.tcp = true;
  plan.firstId = 0;
  plan.lastId = 255;
  EXPECT_EQ(busscan::PlanProblem(plan), "");
  plan.tcp = false;
  EXPECT_NE(busscan::PlanProblem(plan), "");  // 0 and 248.. on a serial line
  plan = {};
  plan.bauds = {9601};
  EXPECT_NE(busscan::PlanProblem(plan), "");
  plan = {};
  busscan::ScanState state;
  busscan::StartScan(&state, plan);
  busscan::ProbeResult r;
  r.resultCode = me::RESULT_NO_CONNECTION;
  r.outcome = busscan::OutcomeOf(r.resultCode);
  busscan::RecordProbe(&state, r);
  busscan::Combination c;
  EXPECT_EQ(busscan::NextStep(state, &c), busscan::StepKind::kDone);
  EXPECT_EQ(state.failure, "No Connection");

  busscan::ProbeResult found;
  found.combination.id = 7;
  found.combination.line = {19200, 1, true};
  found.responseUs = 12345;
  found.answer = "exception 2 (Illigal Data Address)";
  found.identification = {"VendorName=Acme, \"Inc\"", "ProductCode=X1"};
  EXPECT_EQ(busscan::CsvLine(found, false),
            "7,19200 8O1 ASCII,12.3,exception 2 (Illigal Data Address),"
            "\"VendorName=Acme, \"\"Inc\"\"; ProductCode=X1\"");
  EXPECT_EQ(busscan::ProbeTimeoutMs(plan, {300, 0, false}), 3200);
  EXPECT_EQ(busscan::ProbeTimeoutMs(plan, {115200, 0, false}), busscan::kMinProbeTimeoutMs);
}

TEST(RegisterScanCore, ExceptionTwoSplitsDownToSingleAddresses) {
  regscan::RegisterScanPlan plan;
  plan.first = 0;
  plan.last = 15;
  plan.blockSize = 8;
  ASSERT_EQ(regscan::PlanProblem(plan), "");
  regscan::RegisterScanState state;
  regscan::StartRegisterScan(&state, plan);
  // Readable: 0..2 and 5..9; 3 and 4 and 10.. refuse.
  auto readable = [](int a) { return a <= 2 || (a >= 5 && a <= 9); };
  std::uint16_t values[16];
  int address = 0, count = 0;
  while (regscan::NextRead(state, &address, &count)) {
    bool all = true;
    for (int k = 0; k < count; ++k) {
      all = all && readable(address + k);
      values[k] = static_cast<std::uint16_t>(100 + address + k);
    }
    regscan::RecordRead(&state, all ? me::RESULT_OK : me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_DATA_ADDRESS),
                        values);
  }
  ASSERT_EQ(state.readable.size(), 2u);
  EXPECT_EQ(regscan::CsvLine(state.readable[0]), "0,3,100 101 102");
  EXPECT_EQ(regscan::CsvLine(state.readable[1]), "5,5,105 106 107 108 109");
  EXPECT_EQ(state.itemsDone, 16);
  EXPECT_TRUE(state.failure.empty());

  regscan::StartRegisterScan(&state, plan);
  regscan::RecordRead(&state, me::ExceptionResult(modbus::EXCEPTION_ILLEGAL_FUNCTION), values);
  EXPECT_FALSE(regscan::NextRead(state, &address, &count));
  EXPECT_EQ(state.failure, "address 0: Illigal Function");
  plan.function = 3;
  plan.blockSize = 126;
  EXPECT_NE(regscan::PlanProblem(plan), "");
}

TEST(BusScanCore, HeadlessScanFindsTheBaudRateAndParityOfTheFakePort) {
  auto port = std::make_shared<FakeSerialPort>();
  port->install();
  port->setWriteResponder([port](const std::vector<std::uint8_t>& request) {
    const platform::SerialLineSettings line = port->lineSettings();
    std::vector<std::uint8_t> reply;
    if (line.baudRate != 19200 || line.parity != platform::Parity::Even) return reply;
    if (request.size() != 8 || request[0] != 4 || linklayer::ComputeCrc16(request.data(), 8) != 0) return reply;
    reply = {4, modbus::FC_READ_HOLDING_REGISTERS, 2, 0x12, 0x34, 0, 0};
    linklayer::AppendCrc(reply.data(), 5);
    return reply;
  });
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = zelmor::RunHeadless({"--headless", "--scan", "--serial", "fake", "--scan-ids", "3-5",
                                          "--scan-bauds", "9600,19200", "--scan-parities", "none,odd,even",
                                          "--scan-framing", "both"});
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  FakeSerialPort::uninstall();
  EXPECT_EQ(status, zelmor::kExitOk) << err;
  EXPECT_EQ(out.substr(0, 22), "slave 4 19200 8E1 RTU ") << out;
  EXPECT_NE(out.find("value 4660\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\n'), out.size() - 1) << out;  // one device, one line
  EXPECT_NE(err.find("1 found in 36 of 36 probes"), std::string::npos) << err;
}

// The identification probes through the real engine on the fake RTU port: a
// gateway's exception 11 and replies that are not sound frames or PDUs show no
// device; an exception 1 and a good reply do, the latter with its strings.
TEST(BusScanCore, IdentificationProbesTellDevicesFromNoise) {
  auto port = std::make_shared<FakeSerialPort>();
  port->install();
  port->setWriteResponder([](const std::vector<std::uint8_t>& request) {
    std::vector<std::uint8_t> reply;
    const std::vector<std::uint8_t> pdu{modbus::FC_ENCAPSULATED_INTERFACE, modbus::MEI_READ_DEVICE_ID, 1, 0};
    if (request.size() != 7 || linklayer::ComputeCrc16(request.data(), 7) != 0 ||
        !std::equal(pdu.begin(), pdu.end(), request.begin() + 1))
      return reply;
    const std::uint8_t id = request[0];
    const std::uint8_t exception = modbus::FC_ENCAPSULATED_INTERFACE | modbus::EXCEPTION_FLAG;
    if (id == 3) reply = {id, exception, modbus::EXCEPTION_GATEWAY_TARGET};
    if (id == 4 || id == 5) reply = {id, pdu[0], pdu[1], 1, 1, 0, 0, 3, 0, 4, 'A', 'c', 'm', 'e', 1, 1, 'X', 2, 3, '1', '.', '0'};
    if (id == 6) reply = {id, exception, modbus::EXCEPTION_ILLEGAL_FUNCTION};
    if (id == 7) reply = {id, pdu[0], pdu[1], 1, 1, 0, 0, 1, 0, 9, 'A'};  // object longer than the reply
    if (reply.empty()) return reply;
    reply.resize(reply.size() + 2);
    linklayer::AppendCrc(reply.data(), static_cast<std::uint16_t>(reply.size() - 2));
    if (id == 5) reply.back() ^= 0x01;  // CRC error
    return reply;
  });
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = zelmor::RunHeadless({"--headless", "--scan", "--serial", "fake", "--baud", "19200", "--scan-ids",
                                          "2-8", "--scan-probe", "identify"});
  const std::string out = testing::internal::GetCapturedStdout();
  const std::string err = testing::internal::GetCapturedStderr();
  FakeSerialPort::uninstall();
  EXPECT_EQ(status, zelmor::kExitOk) << err;
  const std::size_t second = out.find("\nslave 6 19200 ");
  ASSERT_NE(second, std::string::npos) << out;
  EXPECT_EQ(out.rfind("slave 4 19200 ", 0), 0u) << out;
  EXPECT_NE(out.find(" ms Acme X 1.0 VendorName=Acme; ProductCode=X; MajorMinorRevision=1.0\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" ms exception 1 (Illigal Function)\n", second), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2) << out;
  EXPECT_NE(err.find("2 found in 7 of 7 probes"), std::string::npos) << err;

  // Report slave id: the additional data as text and hex, named fields for the CSV.
  busscan::ProbeResult r;
  r.combination.id = 9;
  const std::uint8_t slaveId[] = {modbus::FC_REPORT_SLAVE_ID, 5, 0x2A, modbus::RUN_INDICATOR_ON, 'O', ',', 0x01};
  busscan::TakeIdentificationReply(busscan::Probe::kReportSlaveId, slaveId, sizeof slaveId, &r);
  EXPECT_EQ(r.outcome, busscan::Outcome::kAnswer);
  EXPECT_EQ(busscan::CsvLine(r, true), "9,TCP,-,\"O,\\x01 [4F 2C 01]\",SlaveId=0x2A; RunIndicator=ON; Data=2A FF 4F 2C 01");
  busscan::TakeIdentificationReply(busscan::Probe::kReportSlaveId, slaveId, sizeof slaveId - 1, &r);
  EXPECT_EQ(r.outcome, busscan::Outcome::kGarbled);
  EXPECT_TRUE(r.identification.empty());
}

}  // namespace
