#include "platform/testing/message_recorder.h"

#include <chrono>

#include "platform/ticks.h"

namespace platform::testing {

namespace {
// Guards the current recorder against a post racing with its destruction.
std::mutex g_instanceMutex;
MessageRecorder* g_instance = nullptr;
}  // namespace

MessagePredicate MessageIs(std::uint32_t message, WindowHandle window) {
  return [message, window](const RecordedMessage& entry) {
    return (message == 0 || entry.message == message) && (window == 0 || entry.window == window);
  };
}

MessageRecorder::MessageRecorder() {
  {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    g_instance = this;
  }
  SetMessagePoster(&MessageRecorder::Post);
  SetMessageSender(&MessageRecorder::Send);
}

MessageRecorder::~MessageRecorder() {
  SetMessagePoster(nullptr);
  SetMessageSender(nullptr);
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_instance == this) g_instance = nullptr;
}

void MessageRecorder::Post(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                           std::intptr_t lParam) {
  std::lock_guard<std::mutex> lock(g_instanceMutex);
  if (g_instance != nullptr) g_instance->record({window, message, wParam, lParam, false, TickCount()});
}

std::intptr_t MessageRecorder::Send(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
  const RecordedMessage entry{window, message, wParam, lParam, true, TickCount()};
  std::function<std::intptr_t(const RecordedMessage&)> handler;
  {
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (g_instance == nullptr) return 0;
    g_instance->record(entry);
    std::lock_guard<std::mutex> own(g_instance->mutex_);
    handler = g_instance->sendHandler_;
  }
  return handler ? handler(entry) : 0;
}

void MessageRecorder::record(const RecordedMessage& entry) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(entry);
  }
  arrived_.notify_all();
}

std::vector<RecordedMessage> MessageRecorder::messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

std::vector<RecordedMessage> MessageRecorder::matching(const MessagePredicate& predicate) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<RecordedMessage> result;
  for (const RecordedMessage& entry : messages_) {
    if (predicate(entry)) result.push_back(entry);
  }
  return result;
}

std::size_t MessageRecorder::count(const MessagePredicate& predicate) const {
  return matching(predicate).size();
}

void MessageRecorder::clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  messages_.clear();
}

std::optional<RecordedMessage> MessageRecorder::waitFor(const MessagePredicate& predicate,
                                                        std::uint32_t timeoutMs) const {
  std::optional<RecordedMessage> found;
  std::unique_lock<std::mutex> lock(mutex_);
  arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (const RecordedMessage& entry : messages_) {
      if (predicate(entry)) {
        found = entry;
        return true;
      }
    }
    return false;
  });
  return found;
}

bool MessageRecorder::waitForCount(const MessagePredicate& predicate, std::size_t wanted,
                                   std::uint32_t timeoutMs) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    std::size_t matches = 0;
    for (const RecordedMessage& entry : messages_) {
      if (predicate(entry)) ++matches;
    }
    return matches >= wanted;
  });
}

void MessageRecorder::setSendHandler(std::function<std::intptr_t(const RecordedMessage&)> handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  sendHandler_ = std::move(handler);
}

}  // namespace platform::testing
