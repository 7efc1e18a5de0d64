// Randomised requests and file images against the engine and the .vnd reader,
// meant to run under AddressSanitizer: every input is an exactly-sized heap copy,
// so a read past its end stops the test. Fixed seed, so failures repeat.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"
#include "slave/core/vnd_file.h"

namespace {

constexpr int kIterations = 300000;

// Requests that look like Modbus often enough to reach deep into the handlers.
std::vector<std::uint8_t> RandomPdu(std::mt19937& random) {
  static const std::uint8_t functions[] = {1, 2, 3, 4, 5, 6, 15, 16, 22, 23, 7, 0, 0x80, 0xFF};
  std::uniform_int_distribution<int> pick(0, 255);
  std::vector<std::uint8_t> pdu;
  pdu.push_back(functions[random() % sizeof functions]);
  const int length = random() % 4 == 0 ? static_cast<int>(random() % 260) : static_cast<int>(random() % 16);
  for (int i = 0; i < length; ++i) {
    // Small addresses and quantities so that ranges often fit a definition.
    if (i == 0 || i == 2 || i == 4 || i == 6) pdu.push_back(random() % 3 ? 0 : static_cast<std::uint8_t>(pick(random)));
    else pdu.push_back(static_cast<std::uint8_t>(pick(random)));
  }
  return pdu;
}

void RegisterDefinitions() {
  slaveengine::InitEngine();
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kCoils, 0, 4096);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kDiscreteInputs, 5, 100);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kHoldingRegisters, 0, 2048);
  slaveengine::RegisterSlot(0, 0, 0, 2, slaveengine::kHoldingRegisters, 65500, 36);
  slaveengine::RegisterSlot(0, 0, 0, 1, slaveengine::kInputRegisters, 65535, 1);
  slaveengine::RegisterSlot(0, 0, 0, 0, slaveengine::kCoils, 65000, 536);
}

TEST(SlaveFuzz, SerialRequests) {
  RegisterDefinitions();
  std::mt19937 random(20261207);
  std::uint8_t reply[slaveengine::kReplyCapacity];
  for (slaveloop::LinkMode mode : {slaveloop::kLinkRtu, slaveloop::kLinkAscii}) {
    slaveloop::SetLinkMode(mode);
    for (int i = 0; i < kIterations / 2; ++i) {
      const std::vector<std::uint8_t> pdu = RandomPdu(random);
      const std::size_t size = pdu.size() + 1;
      std::unique_ptr<std::uint8_t[]> request(new std::uint8_t[size]);
      request[0] = static_cast<std::uint8_t>(random() % 4);
      std::copy(pdu.begin(), pdu.end(), request.get() + 1);
      slaveengine::ServeSerialRequest(request.get(), static_cast<std::uint16_t>(size), reply);
    }
  }
  std::uint8_t copy[slaveengine::kFrameCopySize];
  const std::uint16_t sent = slaveengine::CopyLastSent(copy);
  EXPECT_LE(sent, 2 * 255 + 5) << "an ASCII reply never exceeds the largest frame";
  EXPECT_GT(sent, 0) << "the generator must reach replies";
}

// The receive loop builds replies in the request buffer. Serving a request in
// place must send the same frame as serving it into a separate buffer (every
// handler is idempotent, so the second serving sees the same data).
TEST(SlaveFuzz, InPlaceRepliesMatchSeparateBuffers) {
  RegisterDefinitions();
  std::mt19937 random(777);
  std::uint8_t separate[slaveengine::kReplyCapacity];
  std::uint8_t inPlace[slaveengine::kReplyCapacity];
  std::uint8_t first[slaveengine::kFrameCopySize];
  std::uint8_t second[slaveengine::kFrameCopySize];
  int compared = 0;
  for (slaveloop::LinkMode mode : {slaveloop::kLinkRtu, slaveloop::kLinkAscii}) {
    slaveloop::SetLinkMode(mode);
    for (int i = 0; i < kIterations / 10; ++i) {
      std::vector<std::uint8_t> request = RandomPdu(random);
      request.insert(request.begin(), static_cast<std::uint8_t>(1 + random() % 2));
      if (request.size() > slaveengine::kReplyCapacity - 2) request.resize(slaveengine::kReplyCapacity - 2);
      const auto size = static_cast<std::uint16_t>(request.size());
      slaveengine::RecordSent(first, 0);  // forget the previous reply
      slaveengine::ServeSerialRequest(request.data(), size, separate);
      const std::uint16_t firstLength = slaveengine::CopyLastSent(first);
      std::copy(request.begin(), request.end(), inPlace);
      slaveengine::RecordSent(first, 0);  // forget the previous reply
      slaveengine::ServeSerialRequest(inPlace, size, inPlace);
      const std::uint16_t secondLength = slaveengine::CopyLastSent(second);
      ASSERT_EQ(firstLength, secondLength) << "function " << int(request[1]);
      ASSERT_TRUE(std::equal(first, first + firstLength, second)) << "function " << int(request[1]);
      if (firstLength > 0) ++compared;
    }
  }
  EXPECT_GT(compared, kIterations / 20);
}

TEST(SlaveFuzz, TcpRequests) {
  RegisterDefinitions();
  std::mt19937 random(4711);
  std::uint8_t reply[slaveengine::kReplyCapacity];
  int answered = 0;
  for (bool ignore : {false, true}) {
    slaveengine::SetIgnoreUnitId(ignore);
    for (int i = 0; i < kIterations / 2; ++i) {
      const std::vector<std::uint8_t> pdu = RandomPdu(random);
      const std::size_t size = pdu.size() + 7;
      std::unique_ptr<std::uint8_t[]> adu(new std::uint8_t[size]);
      adu[0] = 1;
      adu[1] = 2;
      adu[2] = adu[3] = 0;
      adu[4] = static_cast<std::uint8_t>((size - 6) >> 8);
      adu[5] = static_cast<std::uint8_t>(size - 6);
      adu[6] = static_cast<std::uint8_t>(random() % 4);
      std::copy(pdu.begin(), pdu.end(), adu.get() + 7);
      const std::uint16_t r = slaveengine::ServeTcpRequest(adu.get(), static_cast<std::uint16_t>(size), reply);
      ASSERT_LE(r, 259);
      if (r == 0) continue;
      ++answered;
      ASSERT_GE(r, 9);
      ASSERT_EQ(reply[0], 1);
      ASSERT_EQ(reply[6], adu[6]) << "unit id is echoed";
      if (reply[7] & 0x80) {
        ASSERT_EQ(r, 9);
        ASSERT_GE(reply[8], 1);
        ASSERT_LE(reply[8], 3);
      }
    }
  }
  slaveengine::SetIgnoreUnitId(false);
  EXPECT_GT(answered, kIterations / 10);
}

TEST(SlaveFuzz, VndReader) {
  std::mt19937 random(99);
  vnd::VndDocument base;
  base.font.faceName = "Courier New";
  const std::vector<std::uint8_t> valid = vnd::EncodeVnd(base);
  int ok = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<std::uint8_t> image = valid;
    // Damage the head (where the layout is decided) and cut the file anywhere.
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < flips; ++k) image[random() % 80] = static_cast<std::uint8_t>(random());
    image.resize(random() % 2 ? image.size() : random() % (image.size() + 1));
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[image.size() + (image.empty() ? 1 : 0)]);
    std::copy(image.begin(), image.end(), exact.get());
    vnd::VndDocument d;
    if (vnd::DecodeVnd(exact.get(), image.size(), &d) == vnd::VndResult::Ok) {
      ++ok;
      EXPECT_LE(d.font.faceName.size(), image.size());
    }
  }
  EXPECT_GT(ok, 0);
}

}  // namespace
