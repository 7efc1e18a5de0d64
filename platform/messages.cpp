#include "platform/messages.h"

#include <atomic>

namespace platform {

namespace {
// Installed once at start-up (or by a test) and read by any engine thread.
std::atomic<MessagePoster> g_poster{nullptr};
std::atomic<MessageSender> g_sender{nullptr};
}  // namespace

void SetMessagePoster(MessagePoster poster) { g_poster.store(poster); }

void SetMessageSender(MessageSender sender) { g_sender.store(sender); }

void PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  if (window == 0) return;
  MessagePoster poster = g_poster.load();
  if (poster != nullptr) poster(window, message, wParam, lParam);
}

std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam) {
  if (window == 0) return 0;
  MessageSender sender = g_sender.load();
  if (sender == nullptr) return 0;
  return sender(window, message, wParam, lParam);
}

}  // namespace platform
