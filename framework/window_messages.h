#pragma once
// Delivery of engine window messages (platform/messages.h) to Qt widgets.
//
// InstallWindowMessaging() puts the Qt poster and sender behind
// platform::PostWindowMessage / platform::SendWindowMessage. A widget that
// wants engine messages owns a MessageTarget; its handle() is what the widget
// hands to an engine. Posts from any thread arrive on the GUI thread in the
// order they were posted. A message for a target that has been destroyed is
// dropped. Handles are never reused, so a late message never reaches a newer
// window.
#include <cstdint>
#include <functional>

#include "platform/messages.h"

namespace fw {

// Installs the poster and sender. Call on the GUI thread after the
// QApplication exists; calling it again does nothing.
void InstallWindowMessaging();
// Restores "drop everything" (used at exit and by tests).
void UninstallWindowMessaging();

// One receiver of window messages. Create and destroy it on the GUI thread,
// normally as a member of the widget that handles the messages.
class MessageTarget {
 public:
  // Called on the GUI thread for every message. The return value is the
  // result of a SendWindowMessage (ignored for posts). The handler must not
  // delete the MessageTarget synchronously; use deleteLater() on the owner.
  using Handler = std::function<std::intptr_t(std::uint32_t message, std::uintptr_t wParam,
                                              std::intptr_t lParam)>;

  explicit MessageTarget(Handler handler);
  ~MessageTarget();  // same as close()
  MessageTarget(const MessageTarget&) = delete;
  MessageTarget& operator=(const MessageTarget&) = delete;

  platform::WindowHandle handle() const { return handle_; }

  // Unregisters the target: queued posts are dropped and a thread blocked in
  // SendWindowMessage to this handle returns 0 at once. Call it before joining
  // a thread that may be sending to this target, so the join cannot deadlock.
  void close();

 private:
  platform::WindowHandle handle_ = 0;
};

// Number of registered targets (for tests and leak checks).
int LiveMessageTargetCount();

}  // namespace fw
