#include "framework/automation.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QMdiArea>
#include <QPointer>
#include <QTimer>

#include "framework/document.h"
#include "framework/mdi.h"

namespace fw {

namespace {

// The objects carry their interface name (class info "D-Bus Interface") and
// export their own slots and properties as the members.
constexpr QDBusConnection::RegisterOptions kExported =
    QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties;

bool IsAutomationOption(const QString& argument) {
  return argument == QLatin1String("--automation") ||
         argument.compare(QLatin1String("-Automation"), Qt::CaseInsensitive) == 0 ||
         argument.compare(QLatin1String("-Embedding"), Qt::CaseInsensitive) == 0;
}

}  // namespace

bool IsAutomationStart(const QStringList& arguments) {
  for (const QString& argument : arguments)
    if (IsAutomationOption(argument)) return true;
  return false;
}

QStringList WithoutAutomationOptions(const QStringList& arguments) {
  QStringList rest;
  for (const QString& argument : arguments)
    if (!IsAutomationOption(argument)) rest.append(argument);
  return rest;
}

void HideClientFrame(MdiMainWindow* window, Document* document) {
  ChildFrame* child = document->frame();
  if (child == nullptr) return;
  child->hide();
  if (window->mdiArea()->activeSubWindow() == child) window->mdiArea()->activatePreviousSubWindow();
}

bool PrepareClientDocument(QDBusContext& call, MdiMainWindow* window, Document* document) {
  if (document == nullptr) {
    call.sendErrorReply(QDBusError::Failed, QStringLiteral("The document could not be created."));
    return false;
  }
  // The client's window stays hidden until it calls ShowWindow.
  HideClientFrame(window, document);
  return true;
}

QString CallingClient(const QDBusContext& call) {
  return call.calledFromDBus() ? call.message().service() : QString();
}

void RefuseClientDocument(QDBusContext& call, Document* document) {
  if (ChildFrame* child = document->frame()) child->closeWithoutAsking();
  call.sendErrorReply(QDBusError::Failed, QStringLiteral("The document could not be registered."));
}

void RefuseClientDocument(QDBusContext& call, Document* document, QDBusError::ErrorType error,
                          const QString& message) {
  if (ChildFrame* child = document->frame()) child->closeWithoutAsking();
  call.sendErrorReply(error, message);
}

void ShowClientFrame(MdiMainWindow* window, Document* document) {
  if (ChildFrame* child = document->frame()) {
    child->show();
    window->mdiArea()->setActiveSubWindow(child);
  }
  window->show();
  window->raise();
  window->activateWindow();
}

void CloseFrameLater(QObject* context, Document* document, bool ask) {
  QPointer<ChildFrame> child = document->frame();
  QTimer::singleShot(0, context, [child, ask] {
    if (!child) return;
    if (ask)
      child->close();
    else
      child->closeWithoutAsking();
  });
}

AutomationHost::AutomationHost(const QString& serviceName, const QString& rootPath, bool serverStart,
                               QObject* parent)
    : QObject(parent), serviceName_(serviceName), rootPath_(rootPath), serverStart_(serverStart) {
  // A hidden server shows no window of its own: a message box closed while the
  // main window is hidden must not end the program.
  if (serverStart_) QApplication::setQuitOnLastWindowClosed(false);
}

AutomationHost::~AutomationHost() {
  if (!active_) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  for (auto it = documents_.cbegin(); it != documents_.cend(); ++it) bus.unregisterObject(it.key());
  bus.unregisterObject(rootPath_);
  bus.unregisterService(serviceName_);
}

QString AutomationHost::unavailableText(const QString& serviceName) {
  return QStringLiteral("Automation is not available: %1 is served by another instance.").arg(serviceName);
}

AutomationHost::StartResult AutomationHost::start(QObject* applicationObject) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return StartResult::kNoBus;
  // Take the name first: a second instance must not export objects under a
  // name that answers for the first one.
  QDBusConnectionInterface* daemon = bus.interface();
  QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = daemon->registerService(
      serviceName_, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) return StartResult::kFailed;
  if (reply.value() != QDBusConnectionInterface::ServiceRegistered) return StartResult::kNameOwned;
  if (!bus.registerObject(rootPath_, applicationObject, kExported)) {
    bus.unregisterService(serviceName_);
    return StartResult::kFailed;
  }
  watcher_ = new QDBusServiceWatcher(this);
  watcher_->setConnection(bus);
  watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationHost::clientLeft);
  active_ = true;
  return StartResult::kServing;
}

void AutomationHost::handToUser() {
  if (handedToUser_) return;
  handedToUser_ = true;
  // Now the main window is the user's: closing it ends the program again.
  QApplication::setQuitOnLastWindowClosed(true);
}

QString AutomationHost::nextDocumentPath() { return rootPath_ + QStringLiteral("/Document/%1").arg(++documentNumber_); }

bool AutomationHost::addDocument(const QString& path, QObject* documentObject, const QString& client,
                                 std::function<void()> closeHidden) {
  if (!active_) return false;
  if (!QDBusConnection::sessionBus().registerObject(path, documentObject, kExported))
    return false;
  documents_.insert(path, Entry{client, std::move(closeHidden)});
  if (!client.isEmpty()) {
    watcher_->addWatchedService(client);
    // A client that left before the watch was in place would never be reported.
    if (!QDBusConnection::sessionBus().interface()->isServiceRegistered(client).value())
      QTimer::singleShot(0, this, [this, client] { clientLeft(client); });
  }
  return true;
}

void AutomationHost::removeDocument(const QString& path) {
  auto it = documents_.find(path);
  if (it == documents_.end()) return;
  const QString client = it->client;
  documents_.erase(it);
  QDBusConnection::sessionBus().unregisterObject(path);
  bool clientHasMore = false;
  for (const Entry& entry : documents_) clientHasMore = clientHasMore || entry.client == client;
  if (!clientHasMore && watcher_ != nullptr) watcher_->removeWatchedService(client);
  checkExit();
}

void AutomationHost::clientLeft(const QString& client) {
  if (watcher_ != nullptr) watcher_->removeWatchedService(client);
  if (userControl()) return;
  // Collect first: each close removes its entry.
  QList<std::function<void()>> closes;
  for (const Entry& entry : documents_)
    if (entry.client == client) closes.append(entry.closeHidden);
  for (const auto& close : closes)
    if (close) close();
  checkExit();
}

void AutomationHost::checkExit() {
  if (userControl() || !documents_.isEmpty() || documentNumber_ == 0 || exitPosted_) return;
  exitPosted_ = true;
  // Leave the bus call that got us here first.
  QTimer::singleShot(0, this, [this] {
    if (userControl() || !documents_.isEmpty()) {
      exitPosted_ = false;
      return;
    }
    emit exitRequested();
  });
}

}  // namespace fw
