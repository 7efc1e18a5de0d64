// Message posting with the recorder, port numbers and ticks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/messages.h"
#include "platform/port_map.h"
#include "platform/testing/message_recorder.h"
#include "platform/ticks.h"

using namespace platform;
using platform::testing::MessageIs;
using platform::testing::MessageRecorder;
using platform::testing::RecordedMessage;

TEST(Messages, RecorderSeesPostsAndSendsButNotWindowZero) {
  MessageRecorder recorder;
  PostWindowMessage(0, WM_ENGINE_NOTIFY, 1, 2);
  EXPECT_EQ(SendWindowMessage(0, WM_ENGINE_NOTIFY, 1, 2), 0);
  PostWindowMessage(7, WM_ENGINE_NOTIFY, 5, 3);
  recorder.setSendHandler([](const RecordedMessage& m) { return static_cast<std::intptr_t>(m.wParam * 2); });
  EXPECT_EQ(SendWindowMessage(9, 1131, 21, 4), 42);

  const auto all = recorder.messages();
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].window, 7u);
  EXPECT_EQ(all[0].message, WM_ENGINE_NOTIFY);
  EXPECT_EQ(all[0].wParam, 5u);
  EXPECT_EQ(all[0].lParam, 3);
  EXPECT_FALSE(all[0].sent);
  EXPECT_TRUE(all[1].sent);
  EXPECT_EQ(recorder.count(MessageIs(WM_ENGINE_NOTIFY, 7)), 1u);
  EXPECT_EQ(recorder.count(MessageIs(WM_ENGINE_STATE)), 0u);
  recorder.clear();
  EXPECT_TRUE(recorder.messages().empty());
}

TEST(Messages, NothingDeliveredWithoutPosterAndAfterRecorderIsGone) {
  SetMessagePoster(nullptr);
  SetMessageSender(nullptr);
  PostWindowMessage(3, WM_ENGINE_STATE, 0, 0);  // must not crash
  EXPECT_EQ(SendWindowMessage(3, WM_ENGINE_STATE, 0, 0), 0);
  {
    MessageRecorder recorder;
    PostWindowMessage(3, WM_ENGINE_STATE, 0, 0);
    EXPECT_EQ(recorder.messages().size(), 1u);
  }
  PostWindowMessage(3, WM_ENGINE_STATE, 0, 0);  // dropped, recorder destroyed
  MessageRecorder fresh;
  EXPECT_TRUE(fresh.messages().empty());
}

TEST(Messages, ConcurrentPostersAndWaiting) {
  MessageRecorder recorder;
  EXPECT_FALSE(recorder.waitFor(MessageIs(WM_ENGINE_NOTIFY), 30).has_value());

  constexpr int kThreads = 4;
  constexpr int kEach = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kEach; ++i) PostWindowMessage(100 + t, WM_ENGINE_NOTIFY, i, t);
    });
  }
  EXPECT_TRUE(recorder.waitForCount(MessageIs(WM_ENGINE_NOTIFY), kThreads * kEach, 10000));
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(recorder.messages().size(), static_cast<std::size_t>(kThreads * kEach));
  // Each thread's messages keep their order.
  for (int t = 0; t < kThreads; ++t) {
    const auto mine = recorder.matching(MessageIs(WM_ENGINE_NOTIFY, 100 + t));
    ASSERT_EQ(mine.size(), static_cast<std::size_t>(kEach));
    for (int i = 0; i < kEach; ++i) EXPECT_EQ(mine[i].wParam, static_cast<std::uintptr_t>(i));
  }

  std::thread late([] {
    SleepMs(50);
    PostWindowMessage(5, WM_ENGINE_STATE, 1, 0);
  });
  const auto found = recorder.waitFor(MessageIs(WM_ENGINE_STATE, 5), 5000);
  late.join();
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->wParam, 1u);
}

TEST(PortMap, DefaultsOverridesAndRange) {
  EXPECT_EQ(SerialPortPath(1), "/dev/ttyUSB0");
  EXPECT_EQ(SerialPortPath(8), "/dev/ttyUSB7");
  EXPECT_EQ(SerialPortPath(kMaxPortNumber), "/dev/ttyUSB29");
  EXPECT_EQ(SerialPortPath(0), "");
  EXPECT_EQ(SerialPortPath(kMaxPortNumber + 1), "");
  EXPECT_EQ(SerialPortPath(-3), "");

  SetSerialPortPath(3, "/dev/ttyS0");
  SetSerialPortPath(0, "/dev/null");                  // ignored
  SetSerialPortPath(kMaxPortNumber + 1, "/dev/null");  // ignored
  EXPECT_EQ(SerialPortPath(3), "/dev/ttyS0");
  EXPECT_EQ(DefaultSerialPortPath(3), "/dev/ttyUSB2");
  EXPECT_EQ(SerialPortPath(0), "");
  SetSerialPortPath(3, "");
  EXPECT_EQ(SerialPortPath(3), "/dev/ttyUSB2");
}

TEST(Ticks, MonotonicMillisecondsAndSleep) {
  const std::uint32_t before = TickCount();
  SleepMs(120);
  const std::uint32_t elapsed = TickCount() - before;  // wrap-safe subtraction
  EXPECT_GE(elapsed, 119u);
  EXPECT_LT(elapsed, 5000u);
  EXPECT_GT(WallSeconds(), 1600000000);  // after 2020: the real calendar clock
}
