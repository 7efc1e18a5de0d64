#pragma once
// Test helper: records every posted and sent window message so that tests of
// the engines can check what reached which window, and wait for it.
//
// Constructing a recorder installs it as the message poster and sender; the
// destructor uninstalls it. One recorder at a time. Stop every thread that
// posts before the recorder goes out of scope.
#include <cstddef>
#include <cstdint>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/messages.h"

namespace platform::testing {

struct RecordedMessage {
  WindowHandle window = 0;
  std::uint32_t message = 0;
  std::uintptr_t wParam = 0;
  std::intptr_t lParam = 0;
  bool sent = false;        // delivered with SendWindowMessage rather than posted
  std::uint32_t tick = 0;   // TickCount() when it arrived
};

using MessagePredicate = std::function<bool(const RecordedMessage&)>;

// Predicate helpers; window 0 or message 0 match any.
MessagePredicate MessageIs(std::uint32_t message, WindowHandle window = 0);

class MessageRecorder {
 public:
  MessageRecorder();
  ~MessageRecorder();
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;

  std::vector<RecordedMessage> messages() const;
  std::vector<RecordedMessage> matching(const MessagePredicate& predicate) const;
  std::size_t count(const MessagePredicate& predicate) const;
  void clear();

  // Waits until a recorded message matches (including ones recorded before the
  // call); returns the first match, or nothing after timeoutMs.
  std::optional<RecordedMessage> waitFor(const MessagePredicate& predicate, std::uint32_t timeoutMs) const;
  // Waits until at least `wanted` recorded messages match; true when they did in time.
  bool waitForCount(const MessagePredicate& predicate, std::size_t wanted, std::uint32_t timeoutMs) const;

  // What SendWindowMessage returns (default 0). The handler runs on the sending
  // thread, after the message has been recorded, outside the recorder's lock.
  void setSendHandler(std::function<std::intptr_t(const RecordedMessage&)> handler);

 private:
  static void Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
  static std::intptr_t Send(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                            std::intptr_t lParam);
  void record(const RecordedMessage& entry);

  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<RecordedMessage> messages_;
  std::function<std::intptr_t(const RecordedMessage&)> sendHandler_;
};

}  // namespace platform::testing
