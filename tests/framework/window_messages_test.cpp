// Engine messages to windows: posts from another thread arrive on the GUI
// thread in order, messages to destroyed targets are dropped, synchronous
// sends from a worker wait for the handler and never hang on a dying target.
#include <QThread>
#include <QtTest>
#include <atomic>
#include <thread>
#include <vector>

#include "framework/window_messages.h"

namespace {

struct Received {
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  bool onGuiThread;
};

// A target that records what it receives and answers sends with wParam * 2.
struct RecordingTarget {
  std::vector<Received> received;
  fw::MessageTarget target{[this](std::uint32_t message, std::uintptr_t wParam,
                                  std::intptr_t lParam) -> std::intptr_t {
    received.push_back({message, wParam, lParam, QThread::currentThread() == qApp->thread()});
    return static_cast<std::intptr_t>(wParam * 2);
  }};
};

}  // namespace

class WindowMessagesTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { fw::InstallWindowMessaging(); }

  void postsFromAWorkerArriveInOrderOnTheGuiThread() {
    RecordingTarget first;
    RecordingTarget second;
    constexpr int kCount = 2000;
    std::thread worker([&] {
      for (int i = 0; i < kCount; ++i) {
        platform::WindowHandle window = (i % 3 == 0) ? second.target.handle() : first.target.handle();
        platform::PostWindowMessage(window, platform::WM_ENGINE_NOTIFY, static_cast<std::uintptr_t>(i),
                                    -i);
      }
      platform::PostWindowMessage(first.target.handle(), platform::WM_ENGINE_STATE, 0, 0);
    });
    worker.join();
    QTRY_VERIFY(!first.received.empty() &&
                first.received.back().message == platform::WM_ENGINE_STATE);
    QCOMPARE(first.received.size() + second.received.size(), std::size_t(kCount + 1));
    int previousFirst = -1;
    for (std::size_t i = 0; i + 1 < first.received.size(); ++i) {
      const Received& r = first.received[i];
      QVERIFY(r.onGuiThread);
      QCOMPARE(r.message, platform::WM_ENGINE_NOTIFY);
      QVERIFY(static_cast<int>(r.wParam) > previousFirst);
      QVERIFY(r.wParam % 3 != 0);
      QCOMPARE(r.lParam, -static_cast<std::intptr_t>(r.wParam));
      previousFirst = static_cast<int>(r.wParam);
    }
    for (std::size_t i = 0; i < second.received.size(); ++i) {
      QCOMPARE(second.received[i].wParam, std::uintptr_t(3 * i));
    }
  }

  void postsToADestroyedTargetAreDropped() {
    std::vector<std::uintptr_t> seen;
    platform::WindowHandle oldHandle = 0;
    {
      fw::MessageTarget doomed([&](std::uint32_t, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
        seen.push_back(w);
        return 0;
      });
      oldHandle = doomed.handle();
      std::thread worker([&] {
        for (int i = 0; i < 100; ++i) platform::PostWindowMessage(oldHandle, 1, i, 0);
      });
      worker.join();
    }  // destroyed with 100 messages queued
    RecordingTarget successor;
    QVERIFY(successor.target.handle() != oldHandle);
    platform::PostWindowMessage(oldHandle, 1, 5, 0);
    platform::PostWindowMessage(successor.target.handle(), 2, 7, 0);
    QTRY_COMPARE(successor.received.size(), std::size_t(1));
    QCoreApplication::processEvents();
    QVERIFY(seen.empty());
    QCOMPARE(successor.received[0].wParam, std::uintptr_t(7));
    // Window 0 and unknown handles go nowhere.
    platform::PostWindowMessage(0, 1, 1, 1);
    QCOMPARE(platform::SendWindowMessage(0, 1, 1, 1), std::intptr_t(0));
    QCOMPARE(platform::SendWindowMessage(oldHandle, 1, 1, 1), std::intptr_t(0));
  }

  void sendFromAWorkerWaitsForTheHandler() {
    RecordingTarget target;
    constexpr int kCount = 500;
    std::atomic<bool> done{false};
    std::atomic<int> wrongResults{0};
    std::thread worker([&] {
      for (int i = 0; i < kCount; ++i) {
        std::intptr_t result = platform::SendWindowMessage(target.target.handle(), 9, i, 0);
        // Each send returns only after its own handler ran.
        if (result != 2 * i) ++wrongResults;
      }
      done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 20000);
    worker.join();
    QCOMPARE(wrongResults.load(), 0);
    QCOMPARE(target.received.size(), std::size_t(kCount));
    for (const Received& r : target.received) QVERIFY(r.onGuiThread);
  }

  void sendOnTheGuiThreadIsADirectCall() {
    RecordingTarget target;
    QCOMPARE(platform::SendWindowMessage(target.target.handle(), 3, 21, 0), std::intptr_t(42));
    QCOMPARE(target.received.size(), std::size_t(1));
  }

  // Posts and sends from the same worker keep their relative order.
  void postsBeforeASendAreHandledFirst() {
    RecordingTarget target;
    std::atomic<bool> done{false};
    std::thread worker([&] {
      platform::PostWindowMessage(target.target.handle(), 1, 1, 0);
      platform::PostWindowMessage(target.target.handle(), 1, 2, 0);
      platform::SendWindowMessage(target.target.handle(), 2, 3, 0);
      done = true;
    });
    QTRY_VERIFY(done.load());
    worker.join();
    QCOMPARE(target.received.size(), std::size_t(3));
    QCOMPARE(target.received[0].wParam, std::uintptr_t(1));
    QCOMPARE(target.received[2].wParam, std::uintptr_t(3));
  }

  // The GUI thread closes the target and joins the sending thread without
  // running its event loop (as the terminal does when it stops its monitor
  // thread): the blocked send returns 0 instead of deadlocking.
  void closingTheTargetReleasesABlockedSender() {
    auto target = std::make_unique<RecordingTarget>();
    platform::WindowHandle handle = target->target.handle();
    std::atomic<bool> started{false};
    std::atomic<int> sends{0};
    std::atomic<std::intptr_t> lastResult{-1};
    std::thread worker([&] {
      started = true;
      // Keeps sending until the target is gone.
      for (;;) {
        std::intptr_t result = platform::SendWindowMessage(handle, 1, 1, 0);
        ++sends;
        lastResult = result;
        if (result == 0) break;
      }
    });
    while (!started.load()) std::this_thread::yield();
    target->target.close();
    worker.join();
    QCOMPARE(lastResult.load(), std::intptr_t(0));
    QVERIFY(target->received.empty());
    target.reset();
    QCoreApplication::processEvents();  // the queued send event finds nobody
  }

  // A handler may post and send messages itself.
  void handlersMayPostAndSend() {
    RecordingTarget other;
    std::vector<std::intptr_t> results;
    fw::MessageTarget relay([&](std::uint32_t, std::uintptr_t w, std::intptr_t) -> std::intptr_t {
      platform::PostWindowMessage(other.target.handle(), 5, w, 0);
      results.push_back(platform::SendWindowMessage(other.target.handle(), 6, w, 0));
      return 0;
    });
    std::thread worker([&] { platform::PostWindowMessage(relay.handle(), 1, 4, 0); });
    worker.join();
    QTRY_COMPARE(other.received.size(), std::size_t(2));
    QCOMPARE(results, std::vector<std::intptr_t>{8});
    QCOMPARE(other.received[0].message, 6u);  // the send runs at once, the post later
    QCOMPARE(other.received[1].message, 5u);
  }

  void uninstalledMessagingDropsEverything() {
    RecordingTarget target;
    int live = fw::LiveMessageTargetCount();
    QVERIFY(live >= 1);
    fw::UninstallWindowMessaging();
    platform::PostWindowMessage(target.target.handle(), 1, 1, 0);
    std::intptr_t result = -1;
    std::thread worker([&] { result = platform::SendWindowMessage(target.target.handle(), 1, 1, 0); });
    worker.join();
    QCOMPARE(result, std::intptr_t(0));
    QCoreApplication::processEvents();
    QVERIFY(target.received.empty());
    fw::InstallWindowMessaging();
    platform::PostWindowMessage(target.target.handle(), 1, 1, 0);
    QTRY_COMPARE(target.received.size(), std::size_t(1));
  }

  void targetsUnregisterOnDestruction() {
    int before = fw::LiveMessageTargetCount();
    {
      RecordingTarget a;
      RecordingTarget b;
      QCOMPARE(fw::LiveMessageTargetCount(), before + 2);
      b.target.close();
      QCOMPARE(b.target.handle(), platform::WindowHandle(0));
      QCOMPARE(fw::LiveMessageTargetCount(), before + 1);
    }
    QCOMPARE(fw::LiveMessageTargetCount(), before);
  }
};

QTEST_MAIN(WindowMessagesTest)
#include "window_messages_test.moc"
