#include "framework/window_messages.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

namespace fw {

namespace {

// A synchronous send waiting on another thread. Completed exactly once: by
// the delivery, by the target closing, or by the event being discarded.
struct PendingSend {
  std::mutex mutex;
  std::condition_variable done;
  bool completed = false;
  std::intptr_t result = 0;

  void complete(std::intptr_t value) {
    std::lock_guard<std::mutex> lock(mutex);
    if (completed) return;
    completed = true;
    result = value;
    done.notify_all();
  }
};

struct TargetEntry {
  MessageTarget::Handler handler;
  std::vector<std::shared_ptr<PendingSend>> pendingSends;
};

// Registry of live targets. Guards only the map; handlers run unlocked.
std::mutex g_registryMutex;
std::map<platform::WindowHandle, TargetEntry> g_targets;
platform::WindowHandle g_nextHandle = 0x1000;

const QEvent::Type kWindowMessageEvent = static_cast<QEvent::Type>(QEvent::User + 0x190);

class WindowMessageEvent : public QEvent {
 public:
  WindowMessageEvent(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam, std::shared_ptr<PendingSend> pending)
      : QEvent(kWindowMessageEvent),
        window(window),
        message(message),
        wParam(wParam),
        lParam(lParam),
        pending(std::move(pending)) {}
  // An event discarded undelivered (application quitting) still releases its sender.
  ~WindowMessageEvent() override {
    if (pending) pending->complete(0);
  }
  platform::WindowHandle window;
  std::uint32_t message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::shared_ptr<PendingSend> pending;
};

// Looks the target up at delivery time, so a message to a closed window is dropped.
bool FindHandler(platform::WindowHandle window, MessageTarget::Handler* handler) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto it = g_targets.find(window);
  if (it == g_targets.end()) return false;
  *handler = it->second.handler;
  return true;
}

void ForgetPending(platform::WindowHandle window, const std::shared_ptr<PendingSend>& pending) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  auto it = g_targets.find(window);
  if (it == g_targets.end()) return;
  auto& list = it->second.pendingSends;
  std::erase(list, pending);
}

class Dispatcher : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != kWindowMessageEvent) return QObject::event(event);
    auto* message = static_cast<WindowMessageEvent*>(event);
    MessageTarget::Handler handler;
    std::intptr_t result = 0;
    if (FindHandler(message->window, &handler) && handler) {
      result = handler(message->message, message->wParam, message->lParam);
    }
    if (message->pending) {
      ForgetPending(message->window, message->pending);
      message->pending->complete(result);
      message->pending.reset();
    }
    return true;
  }
};

// Lives on the GUI thread; created by InstallWindowMessaging.
Dispatcher* g_dispatcher = nullptr;
std::mutex g_dispatcherMutex;

bool Deliverable(platform::WindowHandle window) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  return g_targets.count(window) != 0;
}

void QtPoster(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
              std::intptr_t lParam) {
  std::lock_guard<std::mutex> lock(g_dispatcherMutex);
  if (g_dispatcher == nullptr || !Deliverable(window)) return;
  QCoreApplication::postEvent(g_dispatcher,
                              new WindowMessageEvent(window, message, wParam, lParam, nullptr));
}

std::intptr_t QtSender(platform::WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
  std::shared_ptr<PendingSend> pending;
  bool onGuiThread = false;
  {
    std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    if (g_dispatcher == nullptr) return 0;
    onGuiThread = QThread::currentThread() == g_dispatcher->thread();
  }
  if (onGuiThread) {
    // On the GUI thread a send is a direct call, as with a window procedure.
    MessageTarget::Handler handler;
    if (!FindHandler(window, &handler) || !handler) return 0;
    return handler(message, wParam, lParam);
  }
  {
    std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    if (g_dispatcher == nullptr) return 0;
    pending = std::make_shared<PendingSend>();
    {
      std::lock_guard<std::mutex> registryLock(g_registryMutex);
      auto it = g_targets.find(window);
      if (it == g_targets.end()) return 0;
      it->second.pendingSends.push_back(pending);
    }
    QCoreApplication::postEvent(g_dispatcher,
                                new WindowMessageEvent(window, message, wParam, lParam, pending));
  }
  std::unique_lock<std::mutex> lock(pending->mutex);
  pending->done.wait(lock, [&] { return pending->completed; });
  return pending->result;
}

}  // namespace

void InstallWindowMessaging() {
  {
    std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    if (g_dispatcher != nullptr) return;
    g_dispatcher = new Dispatcher;
    if (QCoreApplication::instance() != nullptr) {
      g_dispatcher->moveToThread(QCoreApplication::instance()->thread());
      // Gone with the application; later posts are dropped.
      QObject::connect(QCoreApplication::instance(), &QObject::destroyed, [] {
        UninstallWindowMessaging();
      });
    }
  }
  platform::SetMessagePoster(&QtPoster);
  platform::SetMessageSender(&QtSender);
}

void UninstallWindowMessaging() {
  platform::SetMessagePoster(nullptr);
  platform::SetMessageSender(nullptr);
  Dispatcher* dispatcher = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_dispatcherMutex);
    dispatcher = g_dispatcher;
    g_dispatcher = nullptr;
  }
  // Deleting the dispatcher discards its queued events, which releases waiting senders.
  delete dispatcher;
}

MessageTarget::MessageTarget(Handler handler) {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  handle_ = ++g_nextHandle;
  g_targets[handle_].handler = std::move(handler);
}

MessageTarget::~MessageTarget() { close(); }

void MessageTarget::close() {
  if (handle_ == 0) return;
  std::vector<std::shared_ptr<PendingSend>> pending;
  {
    std::lock_guard<std::mutex> lock(g_registryMutex);
    auto it = g_targets.find(handle_);
    if (it != g_targets.end()) {
      pending = std::move(it->second.pendingSends);
      g_targets.erase(it);
    }
  }
  for (auto& send : pending) send->complete(0);
  handle_ = 0;
}

int LiveMessageTargetCount() {
  std::lock_guard<std::mutex> lock(g_registryMutex);
  return static_cast<int>(g_targets.size());
}

}  // namespace fw
