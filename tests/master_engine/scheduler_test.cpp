// The poll scheduler: slot allocation, serving order, one-shots, counters,
// read-outs, posted messages and the poll thread, against a loopback server.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>

#include "master/engine/comm_interface.h"
#include "master/engine/transactions.h"
#include "platform/testing/message_recorder.h"
#include "tests/master_engine/fake_tcp_server.h"

using namespace masterengine;
using platform::testing::MessageIs;
using platform::testing::MessageRecorder;
using platform::testing::RecordedMessage;
using testpeer::Adu;
using testpeer::Answer;
using testpeer::Bytes;
using testpeer::FakeTcpServer;
using testpeer::TransactionIdOf;

namespace {

constexpr WindowHandle kTraffic = 0x7000;
constexpr WindowHandle kOwnerA = 0x1001;
constexpr WindowHandle kOwnerB = 0x1002;
constexpr std::uint32_t kNotify = platform::WM_ENGINE_NOTIFY;
constexpr std::uint16_t kLongScan = 60000;

// Register 3/4 reads answer value = address + i; writes are echoed.
Answer RegisterBank(const Bytes& request) {
  const std::uint8_t function = request[7];
  const int address = (request[8] << 8) | request[9];
  const int quantity = (request[10] << 8) | request[11];
  if (function == 3 || function == 4) {
    Bytes pdu{function, static_cast<std::uint8_t>(2 * quantity)};
    for (int i = 0; i < quantity; ++i) {
      pdu.push_back(static_cast<std::uint8_t>((address + i) >> 8));
      pdu.push_back(static_cast<std::uint8_t>(address + i));
    }
    return Answer{{Adu(TransactionIdOf(request), request[6], pdu)}};
  }
  const std::size_t echoed = function == 0x16 ? 7 : 5;
  return Answer{{Adu(TransactionIdOf(request), request[6], Bytes(request.begin() + 7, request.begin() + 7 + echoed))}};
}

// Fixed register contents for the read-out tests.
testpeer::Handler Registers(std::vector<std::uint16_t> words) {
  return [words](const Bytes& request) {
    Bytes pdu{request[7], static_cast<std::uint8_t>(2 * words.size())};
    for (auto w : words) {
      pdu.push_back(static_cast<std::uint8_t>(w >> 8));
      pdu.push_back(static_cast<std::uint8_t>(w));
    }
    return Answer{{Adu(TransactionIdOf(request), request[6], pdu)}};
  };
}

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InitEngine();
    SetDelayBetweenPolls(0);
    SetTrafficWindow(kTraffic);
  }
  void TearDown() override {
    StopPolling();
    TcpDisconnect();
  }

  void Connect(testpeer::Handler handler, std::uint32_t timeoutMs = 500) {
    server_ = std::make_unique<FakeTcpServer>(std::move(handler));
    ASSERT_EQ(NetConnect(kLinkTcp, "127.0.0.1", server_->port(), timeoutMs), RESULT_OK);
    SetLinkMode(kLinkTcp);
  }

  // The slot the traffic window was told about by each pass, in order.
  std::vector<std::intptr_t> ServedSlots() const {
    std::vector<std::intptr_t> slots;
    for (const auto& m : recorder_.matching(MessageIs(kNotify, kTraffic))) slots.push_back(m.lParam);
    return slots;
  }

  MessageRecorder recorder_;
  std::unique_ptr<FakeTcpServer> server_;
};

int RegisterRead(WindowHandle owner = kOwnerA, std::uint16_t scan = kLongScan, std::uint16_t quantity = 2) {
  return RegisterPoll(owner, kNotify, scan, 1, 3, 0, quantity, 0, 0);
}

}  // namespace

TEST_F(SchedulerTest, RegistrationChecksArgumentsAndTakesTheLowestFreeSlot) {
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 3, 0, 128, 0, 0), -1);  // too many registers
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 0, 1, 0, 8, 0, 0), -1);    // read broadcast
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 256, 3, 0, 1, 0, 0), -1);  // slave out of range
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 1, 0, 2001, 0, 0), -1);
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 23, 0, 1, 0, 128), -1);
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 16, 0, 128, 0, 0), -1);
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 0, 0, 4, 0, 4), -1) << "raw frames are one-shots only";
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 7, 0, 1, 0, 0), -1);

  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 1, 0, 2000, 0, 0), 1);
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 0, 6, 0, 1, 0, 0), 2);  // broadcast write
  EXPECT_EQ(RegisterPoll(kOwnerA, kNotify, 1000, 1, 22, 0xFFFF, 0xFFFF, 0, 0), 3);
  for (int expected = 4; expected <= 32; ++expected) EXPECT_EQ(RegisterRead(), expected);
  EXPECT_EQ(RegisterRead(), -1) << "33rd registration";
  EXPECT_EQ(GetResultCode(7), RESULT_PENDING);

  EXPECT_EQ(UnregisterPoll(17), 1);
  EXPECT_EQ(UnregisterPoll(33), 0);
  EXPECT_EQ(UnregisterPoll(-1), 0);
  EXPECT_EQ(RegisterRead(), 17);
  EXPECT_EQ(RegisterRead(), -1);

  EXPECT_EQ(GetResultCode(33), RESULT_BAD_SLOT);
  std::uint16_t words[kMaxValueWords];
  EXPECT_EQ(ReadResultRegisters(-1, words), RESULT_BAD_SLOT);
  std::uint32_t tx = 9, good = 9;
  EXPECT_EQ(ReadCounters(33, &tx, &good), 0);
  EXPECT_EQ(RequestCounterReset(33), 0);
}

TEST_F(SchedulerTest, DueSlotsAreServedOnePerPassInCyclicOrder) {
  const int first = RegisterRead();
  for (int s = 2; s <= 4; ++s) RegisterRead();
  const int fifth = RegisterRead();
  ASSERT_EQ(first, 1);
  ASSERT_EQ(fifth, 5);
  // Registered in the reverse order; the last-served index starts at 32, so slot 1 goes first.
  SetPollMode(fifth, kModeContinuous);
  SetPollMode(first, kModeContinuous);
  for (int pass = 0; pass < 4; ++pass) PollTick();
  EXPECT_EQ(ServedSlots(), (std::vector<std::intptr_t>{1, 5})) << "slots 2..4 (mode 0) are never served";

  // Serve slot 1 alone, then make 1, 3 and 5 due: the search starts after 1.
  SetPollMode(1, kModeContinuous);
  PollTick();
  recorder_.clear();
  SetPollMode(1, kModeContinuous);
  SetPollMode(5, kModeContinuous);
  SetPollMode(3, kModeContinuous);
  for (int pass = 0; pass < 4; ++pass) PollTick();
  EXPECT_EQ(ServedSlots(), (std::vector<std::intptr_t>{3, 5, 1}));
}

TEST_F(SchedulerTest, ModeOnceServesOnceWhileContinuousKeepsPolling) {
  SetDelayBetweenPolls(2);  // every pass credits time, so scan rate 0 is always due
  const int once = RegisterRead(kOwnerA, 0);
  const int continuous = RegisterRead(kOwnerB, 0);
  SetPollMode(once, kModeOnce);
  SetPollMode(continuous, kModeContinuous);
  for (int pass = 0; pass < 6; ++pass) PollTick();
  const auto served = ServedSlots();
  EXPECT_EQ(std::count(served.begin(), served.end(), once), 1);
  EXPECT_GE(std::count(served.begin(), served.end(), continuous), 4);
}

TEST_F(SchedulerTest, OneShotIsServedAheadOfDuePollsAndFreesSlotZero) {
  SetPollMode(RegisterRead(), kModeContinuous);
  SetPollMode(RegisterRead(), kModeContinuous);
  ASSERT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 4, 0, 1, 0, 0), 1);
  EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 4, 0, 1, 0, 0), 0) << "slot 0 busy";
  PollTick();
  PollTick();
  EXPECT_EQ(ServedSlots(), (std::vector<std::intptr_t>{0, 1}));
  EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 4, 0, 1, 0, 0), 1) << "slot 0 free again";

  EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 0, 2001, 2001, 0, 0), 0);
}

TEST_F(SchedulerTest, OneShotWriteWaitsForItsDataAndBlocksSlotZeroUntilThen) {
  SetPollMode(RegisterRead(), kModeContinuous);
  ASSERT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 16, 0, 0, 10, 2), 1);
  PollTick();
  PollTick();
  EXPECT_EQ(ServedSlots(), (std::vector<std::intptr_t>{1})) << "the write is not served without data";
  EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 3, 0, 1, 0, 0), 0);

  const std::uint16_t values[2] = {1, 2};
  ASSERT_EQ(SetWriteRegisters(0, 2, values), 1);
  PollTick();
  EXPECT_EQ(ServedSlots().back(), 0);
}

TEST_F(SchedulerTest, WithoutALinkOnlyTheTrafficWindowHearsAndNothingIsCounted) {
  const int slot = RegisterRead();
  SetPollMode(slot, kModeContinuous);
  PollTick();
  const auto traffic = recorder_.matching(MessageIs(kNotify, kTraffic));
  ASSERT_EQ(traffic.size(), 1u);
  EXPECT_EQ(traffic[0].wParam, RESULT_NO_CONNECTION);
  EXPECT_EQ(recorder_.count(MessageIs(0, kOwnerA)), 0u);
  EXPECT_EQ(GetResultCode(slot), RESULT_PENDING);
  std::uint32_t tx = 9, good = 9;
  ASSERT_EQ(ReadCounters(slot, &tx, &good), 1);
  EXPECT_EQ(tx, 0u);
  EXPECT_EQ(good, 0u);
  std::uint8_t frame[kSlotSentCapacity];
  EXPECT_EQ(CopySlotSent(slot, frame), 0);

  SetTrafficWindow(0);
  recorder_.clear();
  SetPollMode(slot, kModeContinuous);
  PollTick();
  EXPECT_TRUE(recorder_.messages().empty());
}

TEST_F(SchedulerTest, ServedSlotGetsValuesFramesCountersAndItsOwnerIsTold) {
  Connect(RegisterBank);
  const int slot = RegisterPoll(kOwnerA, kNotify, kLongScan, 1, 3, 100, 3, 0, 0);
  SetPollMode(slot, kModeContinuous);
  PollTick();
  const auto toOwner = recorder_.matching(MessageIs(kNotify, kOwnerA));
  ASSERT_EQ(toOwner.size(), 1u);
  EXPECT_EQ(toOwner[0].wParam, RESULT_OK);
  EXPECT_EQ(toOwner[0].lParam, slot);

  std::uint16_t words[kMaxValueWords] = {};
  EXPECT_EQ(ReadResultRegisters(slot, words), RESULT_OK);
  EXPECT_EQ(words[0], 100);
  EXPECT_EQ(words[2], 102);
  std::uint8_t sent[kSlotSentCapacity];
  std::uint8_t received[kSlotReceivedCapacity];
  ASSERT_EQ(CopySlotSent(slot, sent), 12);
  EXPECT_EQ(Bytes(sent + 6, sent + 12), (Bytes{1, 3, 0, 100, 0, 3}));
  EXPECT_EQ(CopySlotReceived(slot, received), 6 + 3 + 6);

  // Two more passes, then a reset request: the next good transaction leaves 1 / 1.
  SetPollMode(slot, kModeContinuous);
  PollTick();
  std::uint32_t tx = 0, good = 0;
  ReadCounters(slot, &tx, &good);
  EXPECT_EQ(tx, 2u);
  EXPECT_EQ(good, 2u);
  ASSERT_EQ(RequestCounterReset(slot), 1);
  ReadCounters(slot, &tx, &good);
  EXPECT_EQ(tx, 2u) << "counts are zeroed when the slot is next served";
  SetPollMode(slot, kModeContinuous);
  PollTick();
  ReadCounters(slot, &tx, &good);
  EXPECT_EQ(tx, 1u);
  EXPECT_EQ(good, 1u);

  // A failed transaction counts as sent but not good, and keeps the last good values.
  server_->setHandler([](const Bytes& request) { return Answer{{Adu(TransactionIdOf(request), 1, {0x83, 2})}}; });
  SetPollMode(slot, kModeContinuous);
  PollTick();
  ReadCounters(slot, &tx, &good);
  EXPECT_EQ(tx, 2u);
  EXPECT_EQ(good, 1u);
  EXPECT_EQ(ReadResultRegisters(slot, words), RESULT_EXCEPTION_BASE + 2);
  EXPECT_EQ(words[0], 100);
}

TEST_F(SchedulerTest, WideValuesAreAssembledInBothWordOrders) {
  Connect(Registers({0x5678, 0x1234, 0x0000, 0x3FF0}));
  const int slot = RegisterRead(kOwnerA, kLongScan, 4);
  SetPollMode(slot, kModeContinuous);
  PollTick();
  std::uint32_t longs[500];
  ASSERT_EQ(ReadResultLongs(slot, longs, false), RESULT_OK);
  EXPECT_EQ(longs[0], 0x12345678u);
  EXPECT_EQ(longs[1], 0x3FF00000u);
  ASSERT_EQ(ReadResultLongs(slot, longs, true), RESULT_OK);
  EXPECT_EQ(longs[0], 0x56781234u);
  double doubles[250];
  ASSERT_EQ(ReadResultDoubles(slot, doubles, false), RESULT_OK);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(doubles[0]), 0x3FF0000012345678ull);
  ASSERT_EQ(ReadResultDoubles(slot, doubles, true), RESULT_OK);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(doubles[0]), 0x567812340000'3FF0ull);

  const int three = RegisterRead(kOwnerA, kLongScan, 3);
  EXPECT_EQ(ReadResultDoubles(three, doubles, false), RESULT_NO_VALUES);
  const int single = RegisterRead(kOwnerA, kLongScan, 1);
  EXPECT_EQ(ReadResultLongs(single, longs, false), RESULT_NO_VALUES);
  EXPECT_EQ(ReadResultDoubles(40, doubles, false), RESULT_BAD_SLOT);

  // A mask write keeps its OR mask in the quantity field: a read-out stays inside the value table.
  const int mask = RegisterPoll(kOwnerA, kNotify, kLongScan, 1, 22, 0xFFFF, 0xFFFF, 0, 0);
  std::uint16_t words[kMaxValueWords];
  std::uint8_t bytes[kRequestDataBytes];
  EXPECT_EQ(ReadResultRegisters(mask, words), RESULT_PENDING);
  EXPECT_EQ(ReadResultBytes(mask, bytes), RESULT_PENDING);
  EXPECT_EQ(ReadResultDoubles(mask, doubles, false), RESULT_PENDING);
}

TEST_F(SchedulerTest, WriteSettersRefuseCountsWhoseByteCountCannotBeFramed) {
  std::uint16_t registers[200] = {};
  std::uint32_t longs[100] = {};
  double doubles[50] = {};
  std::uint8_t bytes[2100] = {};
  ASSERT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 16, 0, 0, 0, 0), 1);
  EXPECT_EQ(SetWriteRegisters(0, 128, registers), 0);
  EXPECT_EQ(SetWriteLongs(0, 64, longs, false), 0);
  EXPECT_EQ(SetWriteDoubles(0, 32, doubles, false), 0);
  EXPECT_EQ(SetWriteBytes(0, 2001, bytes), 0);
  EXPECT_EQ(SetWriteRegisters(0, 0, registers), 0);
  EXPECT_EQ(SetWriteRegisters(33, 1, registers), 0);
  EXPECT_EQ(SetWriteRegisters(0, 127, registers), 1);
  EXPECT_EQ(SetWriteLongs(0, 63, longs, false), 1);
  EXPECT_EQ(SetWriteDoubles(0, 31, doubles, false), 1);
  EXPECT_EQ(SetWriteBytes(0, 2000, bytes), 1);
}

TEST_F(SchedulerTest, WrittenWideValuesGoOutInTheChosenWordOrder) {
  Connect(RegisterBank);
  auto writeAndCapture = [&](auto setter) {
    EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 16, 0, 0, 0x10, 0), 1);
    EXPECT_EQ(setter(), 1);
    PollTick();
    EXPECT_EQ(GetResultCode(0), RESULT_OK);
    const Bytes request = server_->requests().back();
    return Bytes(request.begin() + 13, request.end());  // the register values
  };
  const std::uint32_t longValue = 0x12345678;
  EXPECT_EQ(writeAndCapture([&] { return SetWriteLongs(0, 1, &longValue, false); }), (Bytes{0x56, 0x78, 0x12, 0x34}));
  EXPECT_EQ(writeAndCapture([&] { return SetWriteLongs(0, 1, &longValue, true); }), (Bytes{0x12, 0x34, 0x56, 0x78}));
  const double doubleValue = std::bit_cast<double>(0x0102030405060708ull);
  EXPECT_EQ(writeAndCapture([&] { return SetWriteDoubles(0, 1, &doubleValue, false); }),
            (Bytes{7, 8, 5, 6, 3, 4, 1, 2}));
  EXPECT_EQ(writeAndCapture([&] { return SetWriteDoubles(0, 1, &doubleValue, true); }),
            (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  const Bytes header = server_->requests().back();
  EXPECT_EQ(Bytes(header.begin() + 7, header.begin() + 13), (Bytes{0x10, 0, 0x10, 0, 4, 8}));
}

TEST_F(SchedulerTest, StateChangeReachesOwnersOfSlotsInUse) {
  RegisterRead(kOwnerA);
  const int gone = RegisterRead(kOwnerB);
  RegisterRead(0);
  UnregisterPoll(gone);
  NotifyStateChange();
  const auto state = recorder_.matching(MessageIs(platform::WM_ENGINE_STATE));
  ASSERT_EQ(state.size(), 1u);
  EXPECT_EQ(state[0].window, kOwnerA);
  EXPECT_EQ(state[0].wParam, 0u);
  EXPECT_EQ(state[0].lParam, 0);
}

TEST_F(SchedulerTest, ReadOutsAndRegistrationDoNotWaitForATransactionInProgress) {
  Connect([](const Bytes&) { return Answer{}; }, 3000);  // silent server, long time-out
  const int slot = RegisterRead();
  SetPollMode(slot, kModeContinuous);
  ASSERT_EQ(StartPolling(), 1);
  EXPECT_EQ(recorder_.count(MessageIs(platform::WM_ENGINE_STATE, kOwnerA)), 1u);
  // Wait until the request is on the wire: the poll thread now waits for the reply.
  for (int i = 0; i < 200 && server_->requests().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(server_->requests().empty());

  const auto start = std::chrono::steady_clock::now();
  std::uint16_t words[kMaxValueWords];
  EXPECT_EQ(ReadResultRegisters(slot, words), RESULT_PENDING);
  EXPECT_EQ(GetResultCode(slot), RESULT_PENDING);
  EXPECT_EQ(RegisterRead(kOwnerB), 2);
  EXPECT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 3, 0, 1, 0, 0), 1);
  std::uint8_t frame[kSlotSentCapacity];
  CopySlotSent(slot, frame);
  SetLinkMode(kLinkRtu);  // ignored while polling
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
  EXPECT_EQ(ExchangeLinkMode(), kLinkTcp);

  StopPolling();  // waits for the current transaction to end
  EXPECT_EQ(GetResultCode(slot), RESULT_TIMEOUT);
  EXPECT_FALSE(IsPolling());
}

TEST_F(SchedulerTest, DisconnectWhilePollingStopsThePollThreadFirst) {
  Connect([](const Bytes&) { return Answer{}; }, 300);
  const int slot = RegisterRead();
  SetPollMode(slot, kModeContinuous);
  ASSERT_EQ(StartPolling(), 1);
  for (int i = 0; i < 200 && server_->requests().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_FALSE(server_->requests().empty());
  TcpDisconnect();
  EXPECT_FALSE(IsPolling());
  EXPECT_FALSE(IsConnected());
  EXPECT_EQ(GetResultCode(slot), RESULT_TIMEOUT) << "the transaction under way finished first";
  EXPECT_EQ(recorder_.count(MessageIs(platform::WM_ENGINE_STATE, kOwnerA)), 2u) << "start and disconnect";
}

TEST_F(SchedulerTest, WriteDataForASlotNotInUseIsRefusedAndNothingIsSentAgain) {
  Connect(RegisterBank);
  const std::uint16_t value = 7;
  EXPECT_EQ(SetWriteRegisters(0, 1, &value), 0) << "nothing submitted yet";
  ASSERT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 16, 0, 0, 0x20, 0), 1);
  ASSERT_EQ(SetWriteRegisters(0, 1, &value), 1);
  PollTick();
  ASSERT_EQ(server_->requests().size(), 1u);

  // Slot 0 is free again: late data must not send the write a second time.
  const std::uint8_t bytes[2] = {1, 2};
  const std::uint32_t longValue = 1;
  const double doubleValue = 1.0;
  EXPECT_EQ(SetWriteRegisters(0, 1, &value), 0);
  EXPECT_EQ(SetWriteBytes(0, 2, bytes), 0);
  EXPECT_EQ(SetWriteLongs(0, 1, &longValue, false), 0);
  EXPECT_EQ(SetWriteDoubles(0, 1, &doubleValue, false), 0);
  // Nor may a freed poll slot come back to life.
  const int slot = RegisterPoll(kOwnerA, kNotify, 0, 1, 16, 0, 1, 0x30, 1);
  SetPollMode(slot, kModeContinuous);
  UnregisterPoll(slot);
  EXPECT_EQ(SetWriteRegisters(slot, 1, &value), 0);
  PollTick();
  PollTick();
  EXPECT_EQ(server_->requests().size(), 1u);
}

// With no delay between polls and nothing due, the poll thread must wait for
// work instead of spinning on the lock: its CPU time stays far below the time
// that passes.
TEST_F(SchedulerTest, IdlePollThreadWithoutDelayDoesNotSpin) {
  RegisterRead();  // registered, mode 0: never due
  ASSERT_EQ(StartPolling(), 1);
  const clock_t cpuBefore = std::clock();
  const auto start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  const double wallMs =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  StopPolling();
  EXPECT_LT(cpuMs, 0.2 * wallMs) << "process CPU " << cpuMs << " ms in " << wallMs << " ms";
}

// A slave that takes 50 ms to answer, through the real poll thread: the figures
// must reflect the delay, leave time-outs out and start again after a reset.
TEST_F(SchedulerTest, ResponseTimesFollowASlowSlaveAndRestartAfterAReset) {
  std::atomic<bool> silent{false};
  Connect([&silent](const Bytes& request) {
    if (silent.load()) return Answer{};
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return RegisterBank(request);
  }, 200);
  const int slot = RegisterRead(kOwnerA, 0);
  SetPollMode(slot, kModeContinuous);
  ASSERT_EQ(StartPolling(), 1);
  auto waitForTimed = [slot](std::uint32_t count) {
    ResponseTimes t;
    for (int i = 0; i < 300 && (ReadResponseTimes(slot, &t), t.count < count); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return t;
  };
  ResponseTimes t = waitForTimed(6);
  ASSERT_GE(t.count, 6u);
  const double meanMs = static_cast<double>(t.totalUs) / t.count / 1000.0;
  EXPECT_GE(meanMs, 45.0);
  EXPECT_LE(meanMs, 80.0);
  EXPECT_GE(t.minUs, 49000u);
  EXPECT_LE(t.minUs, t.lastUs);
  EXPECT_LE(t.lastUs, t.maxUs);
  EXPECT_GE(t.maxUs * static_cast<std::uint64_t>(t.count), t.totalUs);

  // Time-outs are counted as sent, never timed.
  silent.store(true);
  std::uint32_t tx = 0, good = 0;
  ReadCounters(slot, &tx, &good);
  const std::uint32_t timedBefore = t.count;
  for (int i = 0; i < 200 && GetResultCode(slot) != RESULT_TIMEOUT; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(450));  // two more time-outs
  ReadResponseTimes(slot, &t);
  std::uint32_t txAfter = 0;
  ReadCounters(slot, &txAfter, &good);
  EXPECT_GE(txAfter, tx + 2);
  EXPECT_LE(t.count, timedBefore + 1) << "only a reply already on its way may still be timed";

  // A reset zeroes the figures with the counts; the next answers start them anew.
  silent.store(false);
  RequestCounterReset(slot);
  for (int i = 0; i < 300 && (ReadCounters(slot, &tx, &good), tx > 3 || good == 0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  StopPolling();
  ReadCounters(slot, &tx, &good);
  ReadResponseTimes(slot, &t);
  EXPECT_LE(t.count, tx);
  EXPECT_EQ(t.count, good);
  EXPECT_GE(t.minUs, 49000u);
  ResponseTimes none;
  EXPECT_EQ(ReadResponseTimes(kSlotCount, &none), 0);
}

// ---- Slots that change hands while their transaction is on the wire ---------

namespace {

// Holds every reply until the test releases it, so a test can act while the
// poll thread waits for the answer. Shared with the server's handler, which may
// outlive the test body.
class ReplyGate {
 public:
  // Blocks the server thread until Release (or a safety time-out), then answers.
  Answer Hold(const Bytes& request, const testpeer::Handler& answer) {
    std::unique_lock<std::mutex> lock(mutex_);
    ++arrived_;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(5), [this] { return released_; });
    return answer(request);
  }
  // Waits until `count` requests have reached the server.
  bool WaitForRequests(int count) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(3), [&] { return arrived_ >= count; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int arrived_ = 0;
  bool released_ = false;
};

// Coil and input reads answer alternating bits 1, 0, 1, ...; register reads as RegisterBank.
Answer BitsAndRegisters(const Bytes& request) {
  const std::uint8_t function = request[7];
  if (function != 1 && function != 2) return RegisterBank(request);
  const int quantity = (request[10] << 8) | request[11];
  Bytes pdu{function, static_cast<std::uint8_t>((quantity + 7) / 8)};
  for (int i = 0; i < (quantity + 7) / 8; ++i) pdu.push_back(0x55);
  return Answer{{Adu(TransactionIdOf(request), request[6], pdu)}};
}

class ChangingHandsTest : public SchedulerTest {
 protected:
  void SetUp() override {
    SchedulerTest::SetUp();
    auto gate = gate_;
    Connect([gate](const Bytes& request) { return gate->Hold(request, BitsAndRegisters); }, 3000);
  }
  void TearDown() override {
    gate_->Release();
    SchedulerTest::TearDown();
  }

  // Starts the poll thread and waits until the transaction of `slot` is on the wire.
  void StartAndWaitForTheRequest(int slot) {
    SetPollMode(slot, kModeContinuous);
    ASSERT_EQ(StartPolling(), 1);
    ASSERT_TRUE(gate_->WaitForRequests(1));
  }
  // Releases the held reply and waits until the poll thread has stored the outcome.
  void ReleaseAndWaitForTheOutcome(int slot) {
    gate_->Release();
    ASSERT_TRUE(recorder_.waitFor(
        [slot](const RecordedMessage& m) {
          return m.window == kTraffic && m.message == kNotify && m.lParam == slot;
        },
        3000));
  }

  std::shared_ptr<ReplyGate> gate_ = std::make_shared<ReplyGate>();
};

}  // namespace

TEST_F(ChangingHandsTest, ReRegisteredSlotKeepsNothingOfTheTransactionInFlight) {
  const int old = RegisterPoll(kOwnerA, kNotify, kLongScan, 1, 3, 100, 10, 0, 0);  // 10 holding registers
  StartAndWaitForTheRequest(old);

  // The definition changes to 16 coils, polling off: the same slot comes back.
  ASSERT_EQ(UnregisterPoll(old), 1);
  const int fresh = RegisterPoll(kOwnerB, kNotify, kLongScan, 1, 1, 0, 16, 0, 0);
  ASSERT_EQ(fresh, old);
  ReleaseAndWaitForTheOutcome(fresh);
  StopPolling();

  EXPECT_EQ(GetResultCode(fresh), RESULT_PENDING);
  std::uint32_t tx = 9, good = 9;
  ASSERT_EQ(ReadCounters(fresh, &tx, &good), 1);
  EXPECT_EQ(tx, 0u);
  EXPECT_EQ(good, 0u);
  std::uint8_t bytes[kRequestDataBytes];
  std::memset(bytes, 0xEE, sizeof bytes);
  EXPECT_EQ(ReadResultBytes(fresh, bytes), RESULT_PENDING);
  EXPECT_TRUE(std::all_of(bytes, bytes + 16, [](std::uint8_t b) { return b == 0; }))
      << "the old registers (100, 101, ...) must not show up as coils";
  EXPECT_EQ(recorder_.count(MessageIs(kNotify, kOwnerA)), 0u) << "the old registration is gone";
  EXPECT_EQ(recorder_.count(MessageIs(kNotify, kOwnerB)), 0u) << "the new owner never asked for this";

  // The traffic window hears of the exchange and can still show what went on the wire.
  const auto traffic = recorder_.matching(MessageIs(kNotify, kTraffic));
  ASSERT_EQ(traffic.size(), 1u);
  EXPECT_EQ(traffic[0].wParam, RESULT_OK);
  std::uint8_t sent[kSlotSentCapacity];
  ASSERT_EQ(CopySlotSent(fresh, sent), 12);
  EXPECT_EQ(Bytes(sent + 6, sent + 12), (Bytes{1, 3, 0, 100, 0, 10}));
  std::uint8_t received[kSlotReceivedCapacity];
  EXPECT_EQ(CopySlotReceived(fresh, received), 6 + 3 + 20);
  EXPECT_EQ(server_->requests().size(), 1u) << "the new registration (mode 0) was never served";
}

// A document that re-registers and asks for one read must get exactly that read:
// the finishing old transaction must not switch the new registration's mode off.
TEST_F(ChangingHandsTest, ReadOnceRequestedForTheNewRegistrationIsServedWithItsOwnDefinition) {
  const int old = RegisterPoll(kOwnerA, kNotify, kLongScan, 1, 3, 100, 10, 0, 0);
  StartAndWaitForTheRequest(old);
  UnregisterPoll(old);
  const int fresh = RegisterPoll(kOwnerA, kNotify, kLongScan, 1, 1, 0, 16, 0, 0);
  ASSERT_EQ(fresh, old);
  SetPollMode(fresh, kModeOnce);
  gate_->Release();

  const auto told = recorder_.waitFor(MessageIs(kNotify, kOwnerA), 3000);
  ASSERT_TRUE(told.has_value()) << "the read once was lost";
  StopPolling();
  EXPECT_EQ(told->wParam, RESULT_OK);
  EXPECT_EQ(told->lParam, fresh);
  EXPECT_EQ(recorder_.count(MessageIs(kNotify, kOwnerA)), 1u) << "one message: the old outcome is not announced";
  EXPECT_EQ(recorder_.count(MessageIs(kNotify, kTraffic)), 2u);

  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u) << "served once, then stopped";
  EXPECT_EQ(Bytes(requests[1].begin() + 7, requests[1].end()), (Bytes{1, 0, 0, 0, 16}));
  std::uint32_t tx = 0, good = 0;
  ReadCounters(fresh, &tx, &good);
  EXPECT_EQ(tx, 1u);
  EXPECT_EQ(good, 1u);
  std::uint8_t bytes[kRequestDataBytes] = {};
  EXPECT_EQ(ReadResultBytes(fresh, bytes), RESULT_OK);
  EXPECT_EQ(Bytes(bytes, bytes + 4), (Bytes{1, 0, 1, 0}));
}

// Slot 0 freed and submitted anew while its one-shot runs: finishing the old one
// must not free slot 0 under the new request, which would silently drop it.
TEST_F(ChangingHandsTest, NewOneShotSurvivesTheEndOfTheOneBeforeIt) {
  ASSERT_EQ(SubmitOneShot(kOwnerA, kNotify, 1, 3, 100, 10, 0, 0), 1);
  ASSERT_EQ(StartPolling(), 1);
  ASSERT_TRUE(gate_->WaitForRequests(1));
  ASSERT_EQ(UnregisterPoll(0), 1);
  ASSERT_EQ(SubmitOneShot(kOwnerB, kNotify, 1, 16, 0, 0, 0x40, 0), 1);  // data follow below
  gate_->Release();
  ASSERT_TRUE(recorder_.waitFor(MessageIs(kNotify, kTraffic), 3000));

  // The write still waits for its data: slot 0 stays taken, and the data are accepted.
  EXPECT_EQ(SubmitOneShot(kOwnerA, kNotify, 1, 3, 0, 1, 0, 0), 0);
  const std::uint16_t value = 0x1234;
  ASSERT_EQ(SetWriteRegisters(0, 1, &value), 1);
  const auto told = recorder_.waitFor(MessageIs(kNotify, kOwnerB), 3000);
  ASSERT_TRUE(told.has_value());
  StopPolling();
  EXPECT_EQ(told->wParam, RESULT_OK);
  EXPECT_EQ(recorder_.count(MessageIs(kNotify, kOwnerA)), 0u);
  const auto requests = server_->requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Bytes(requests[1].begin() + 7, requests[1].end()), (Bytes{0x10, 0, 0x40, 0, 1, 2, 0x12, 0x34}));
}
