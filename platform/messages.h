#pragma once
// Window messages between the engines' threads and the windows.
//
// An engine posts (window, message, wParam, lParam) through PostWindowMessage.
// The GUI layer installs the real poster (a registry of live windows; a post to
// a window that has closed is dropped); tests install a recorder. The terminal's
// per-byte notification is synchronous and goes through SendWindowMessage.
#include <cstdint>

namespace platform {

using WindowHandle = std::uintptr_t;  // 0 = no window

constexpr std::uint32_t WM_ENGINE_NOTIFY = 0x8190;
constexpr std::uint32_t WM_ENGINE_STATE = 0x8191;

using MessagePoster = void (*)(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam);
using MessageSender = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                        std::uintptr_t wParam, std::intptr_t lParam);

// Installs the function that delivers posted messages; nullptr drops them.
void SetMessagePoster(MessagePoster poster);
// Installs the function that delivers sent messages; nullptr drops them.
void SetMessageSender(MessageSender sender);

// Queues a message for the window's thread and returns at once. Window 0 is ignored.
void PostWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam);
// Delivers a message and waits until the window has handled it. Window 0 is ignored (returns 0).
std::intptr_t SendWindowMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam);

}  // namespace platform
