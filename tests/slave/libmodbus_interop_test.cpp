// libmodbus as an independent master against headless vantor, over Modbus/TCP
// and over a pty pair in RTU framing: every supported function, the values
// served from .vnd files, the exception codes as libmodbus decodes them, and
// report slave id.
#include <gtest/gtest.h>

#include <modbus.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "slave/core/vnd_file.h"
#include "vantor_child.h"

using slavetest::NullModem;
using slavetest::VantorChild;

namespace {

enum class Framing { Rtu, Tcp };

// A .vnd file in a temporary directory, removed again by the destructor.
class TempVnd {
 public:
  TempVnd(int table, int address, int length, int slaveId, const std::vector<std::uint8_t>& image) {
    char pattern[] = "/tmp/vantor_libmodbus_XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd >= 0) ::close(fd);
    path_ = pattern;
    vnd::VndDocument d;
    d.table = table;
    d.address = address;
    d.length = length;
    d.slaveId = slaveId;
    std::copy(image.begin(), image.end(), d.valueImage.begin());
    std::string error;
    saved_ = fd >= 0 && vnd::SaveVndFile(path_, d, &error);
  }
  ~TempVnd() { std::remove(path_.c_str()); }
  bool saved() const { return saved_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool saved_ = false;
};

std::vector<std::uint8_t> InputBits() {
  std::vector<std::uint8_t> image(40);
  for (int i = 0; i < 40; ++i) image[i] = i % 3 == 0;
  return image;
}

std::vector<std::uint8_t> InputRegisterImage() {
  std::vector<std::uint8_t> image;
  for (int i = 0; i < 20; ++i) {
    const std::uint16_t v = static_cast<std::uint16_t>(0x0101 * i + 7);
    image.push_back(static_cast<std::uint8_t>(v));  // host order, little-endian
    image.push_back(static_cast<std::uint8_t>(v >> 8));
  }
  return image;
}

class LibmodbusAgainstSlave : public ::testing::TestWithParam<Framing> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(inputs_.saved());
    ASSERT_TRUE(inputRegisters_.saved());
    std::vector<std::string> args = {inputs_.path(), inputRegisters_.path(), "--slave", "1:1:0:300",
                                     "--slave", "1:3:1000:200", "--slave", "2:3:0:10",
                                     "--identity", "1:ProductCode=LM-7"};
    if (GetParam() == Framing::Tcp) {
      args.insert(args.end(), {"--tcp", "127.0.0.1:0"});
      vantor_ = std::make_unique<VantorChild>(VANTOR_EXECUTABLE, args);
      ASSERT_TRUE(vantor_->ok()) << vantor_->readyLine();
      ctx_ = modbus_new_tcp("127.0.0.1", vantor_->tcpPort());
    } else {
      modem_ = std::make_unique<NullModem>();
      ASSERT_TRUE(modem_->ok());
      args.insert(args.end(), {"--serial", modem_->pathA(), "--baud", "38400", "--parity", "E"});
      vantor_ = std::make_unique<VantorChild>(VANTOR_EXECUTABLE, args);
      ASSERT_TRUE(vantor_->ok()) << vantor_->readyLine();
      ctx_ = modbus_new_rtu(modem_->pathB().c_str(), 38400, 'E', 8, 1);
    }
    ASSERT_NE(ctx_, nullptr);
    modbus_set_response_timeout(ctx_, 2, 0);
    ASSERT_EQ(modbus_set_slave(ctx_, 1), 0);
    ASSERT_EQ(modbus_connect(ctx_), 0) << modbus_strerror(errno);
  }
  void TearDown() override {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
    if (vantor_) {
      EXPECT_EQ(vantor_->stop(), 0);
    }
  }
  // The Modbus exception code of a failed call (0 when it did not fail with one).
  static int ExceptionOf(int rc) {
    if (rc != -1) return 0;
    return errno > MODBUS_ENOBASE && errno < MODBUS_ENOBASE + 12 ? errno - MODBUS_ENOBASE : 0;
  }

  // Sends a raw request (slave id first) and returns the reply's function code
  // and exception code as (function << 8 | code), or -1 without a reply.
  int RawException(std::vector<std::uint8_t> request) {
    if (modbus_send_raw_request(ctx_, request.data(), static_cast<int>(request.size())) <= 0) return -1;
    std::uint8_t reply[MODBUS_MAX_ADU_LENGTH];
    const int n = modbus_receive_confirmation(ctx_, reply);
    const int header = modbus_get_header_length(ctx_);
    if (n < header + 2) return -1;
    return reply[header] << 8 | reply[header + 1];
  }

  TempVnd inputs_{2, 100, 40, 1, InputBits()};
  TempVnd inputRegisters_{4, 0, 20, 1, InputRegisterImage()};
  std::unique_ptr<NullModem> modem_;
  std::unique_ptr<VantorChild> vantor_;
  modbus_t* ctx_ = nullptr;
};

TEST_P(LibmodbusAgainstSlave, ReadsServeTheFilesValues) {
  std::uint8_t bits[64] = {};
  ASSERT_EQ(modbus_read_input_bits(ctx_, 100, 40, bits), 40) << modbus_strerror(errno);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(bits[i], i % 3 == 0 ? 1 : 0) << i;
  std::uint16_t regs[20] = {};
  ASSERT_EQ(modbus_read_input_registers(ctx_, 0, 20, regs), 20) << modbus_strerror(errno);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(regs[i], 0x0101 * i + 7) << i;
}

TEST_P(LibmodbusAgainstSlave, WritesAndReadBack) {
  ASSERT_EQ(modbus_write_bit(ctx_, 299, 1), 1);
  std::uint8_t pattern[250];
  for (int i = 0; i < 250; ++i) pattern[i] = (i * 11) % 5 < 2;
  ASSERT_EQ(modbus_write_bits(ctx_, 3, 250, pattern), 250);
  std::uint8_t bits[300] = {};
  ASSERT_EQ(modbus_read_bits(ctx_, 0, 300, bits), 300);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(bits[3 + i], pattern[i]) << i;
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[299], 1);
  ASSERT_EQ(modbus_write_bit(ctx_, 299, 0), 1);
  ASSERT_EQ(modbus_read_bits(ctx_, 299, 1, bits), 1);
  EXPECT_EQ(bits[0], 0);

  std::uint16_t values[123];
  for (int i = 0; i < 123; ++i) values[i] = static_cast<std::uint16_t>(0xA000 + 17 * i);
  ASSERT_EQ(modbus_write_registers(ctx_, 1077, 123, values), 123) << modbus_strerror(errno);
  ASSERT_EQ(modbus_write_register(ctx_, 1000, 0x0012), 1);
  ASSERT_EQ(modbus_mask_write_register(ctx_, 1000, 0x00F2, 0x0025), 1) << modbus_strerror(errno);
  std::uint16_t read[125] = {};
  ASSERT_EQ(modbus_read_registers(ctx_, 1075, 125, read), 125);
  EXPECT_EQ(read[0], 0);
  for (int i = 0; i < 123; ++i) EXPECT_EQ(read[2 + i], values[i]) << i;
  ASSERT_EQ(modbus_read_registers(ctx_, 1000, 1, read), 1);
  EXPECT_EQ(read[0], 0x0017);

  // 23: the write happens before the read, both in one definition.
  const std::uint16_t written[3] = {0x1111, 0x2222, 0x3333};
  ASSERT_EQ(modbus_write_and_read_registers(ctx_, 1001, 3, written, 1000, 5, read), 5) << modbus_strerror(errno);
  EXPECT_EQ(read[0], 0x0017);
  EXPECT_EQ(read[1], 0x1111);
  EXPECT_EQ(read[3], 0x3333);
  EXPECT_EQ(read[4], 0);

  // The second slave id has registers of its own.
  ASSERT_EQ(modbus_set_slave(ctx_, 2), 0);
  ASSERT_EQ(modbus_read_registers(ctx_, 1, 1, read), 1);
  EXPECT_EQ(read[0], 0);
  ASSERT_EQ(modbus_write_register(ctx_, 1, 0xBEEF), 1);
  ASSERT_EQ(modbus_read_registers(ctx_, 0, 2, read), 2);
  EXPECT_EQ(read[1], 0xBEEF);
}

TEST_P(LibmodbusAgainstSlave, ExceptionCodes) {
  std::uint16_t regs[130];
  std::uint8_t bits[2100];
  EXPECT_EQ(ExceptionOf(modbus_read_registers(ctx_, 1199, 2, regs)), 2);
  EXPECT_EQ(ExceptionOf(modbus_read_registers(ctx_, 999, 1, regs)), 2);
  EXPECT_EQ(ExceptionOf(modbus_write_register(ctx_, 1200, 1)), 2);
  EXPECT_EQ(ExceptionOf(modbus_read_input_bits(ctx_, 99, 2, bits)), 2);
  EXPECT_EQ(ExceptionOf(modbus_read_input_registers(ctx_, 20, 1, regs)), 2);
  const std::uint16_t two[2] = {1, 2};
  EXPECT_EQ(ExceptionOf(modbus_write_and_read_registers(ctx_, 1199, 2, two, 1000, 1, regs)), 2)
      << "the write range must lie inside the definition too";

  // Requests libmodbus refuses to build are sent raw: 126 registers, 2001
  // coils, a coil value other than FF 00 / 00 00, function 0C.
  EXPECT_EQ(RawException({1, 3, 0x03, 0xE8, 0, 126}), 0x83 << 8 | 3);
  EXPECT_EQ(RawException({1, 1, 0, 0, 0x07, 0xD1}), 0x81 << 8 | 3);
  EXPECT_EQ(RawException({1, 5, 0, 1, 0x12, 0x34}), 0x85 << 8 | 3);
  EXPECT_EQ(RawException({1, 0x0C}), 0x8C << 8 | 1) << "07 is served now; 0C is not";
  EXPECT_EQ(RawException({1, 16, 0x03, 0xE8, 0, 4, 8, 1, 2, 3, 4}), 0x90 << 8 | 3)
      << "byte count promises more data than the request holds";

  ASSERT_EQ(modbus_set_slave(ctx_, 2), 0);
  EXPECT_EQ(ExceptionOf(modbus_read_bits(ctx_, 0, 1, bits)), 1) << "slave 2 has no coils";

  // A slave id nobody serves gets no answer at all, and the link keeps working.
  ASSERT_EQ(modbus_set_slave(ctx_, 3), 0);
  modbus_set_response_timeout(ctx_, 0, 300000);
  errno = 0;
  EXPECT_EQ(modbus_read_registers(ctx_, 0, 1, regs), -1);
  EXPECT_EQ(errno, ETIMEDOUT);
  modbus_set_response_timeout(ctx_, 2, 0);
  ASSERT_EQ(modbus_set_slave(ctx_, 1), 0);
  EXPECT_EQ(modbus_read_registers(ctx_, 1000, 1, regs), 1) << modbus_strerror(errno);
}

// Report slave id (17) as libmodbus reads it: the slave id, the run indicator
// ON, then vantor's text (VendorName ProductCode MajorMinorRevision).
TEST_P(LibmodbusAgainstSlave, ReportSlaveId) {
  std::uint8_t data[MODBUS_MAX_PDU_LENGTH] = {};
  const int n = modbus_report_slave_id(ctx_, sizeof data, data);
  ASSERT_GT(n, 2) << modbus_strerror(errno);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[1], 0xFF);
  const std::string text(reinterpret_cast<const char*>(data + 2), static_cast<std::size_t>(n - 2));
  EXPECT_EQ(text.rfind("vantor LM-7 ", 0), 0u) << text;
  ASSERT_EQ(modbus_set_slave(ctx_, 2), 0);
  ASSERT_GT(modbus_report_slave_id(ctx_, sizeof data, data), 2) << modbus_strerror(errno);
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data + 2), 13), "vantor vantor") << "slave 2: the defaults";
}

INSTANTIATE_TEST_SUITE_P(RtuAndTcp, LibmodbusAgainstSlave, ::testing::Values(Framing::Rtu, Framing::Tcp),
                         [](const auto& info) { return std::string(info.param == Framing::Rtu ? "Rtu" : "Tcp"); });

}  // namespace
