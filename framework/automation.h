#pragma once
// The automation server of a program on the user's session bus: the bus name,
// the application object, the document objects and the server's lifetime.
//
// Both Modbus programs use one AutomationHost each. The program registers its
// application object (an object carrying a QDBusAbstractAdaptor) and, for every
// document a client creates, the document's object. The host remembers which
// client created which document and watches those clients on the bus. When the
// program was started as an automation server (--automation, -Automation,
// -Embedding) and no ShowWindow has handed it to the user, it closes the
// documents of a client that leaves and asks the program to exit once the last
// document is gone.
#include <QDBusContext>
#include <QDBusError>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class QDBusServiceWatcher;

namespace fw {

class Document;
class MdiMainWindow;

// A document created for a client: its frame stays hidden until ShowWindow.
void HideClientFrame(MdiMainWindow* window, Document* document);
// ShowWindow: the document's frame, then the main window, activated.
void ShowClientFrame(MdiMainWindow* window, Document* document);
// Closes the document's frame once the current bus call has been answered
// (the call's object goes with it). ask: as the close box, with the save
// prompt; otherwise without asking.
void CloseFrameLater(QObject* context, Document* document, bool ask);

// The parts of PublishClientDocument that need no template: a null document is
// refused with an error reply, a new one hidden; the bus name of the caller;
// closing a document whose object could not be registered, with an error reply.
bool PrepareClientDocument(QDBusContext& call, MdiMainWindow* window, Document* document);
QString CallingClient(const QDBusContext& call);
void RefuseClientDocument(QDBusContext& call, Document* document);
// Closes a document that cannot serve the client (no engine slot left) and
// answers the call with the error and its message.
void RefuseClientDocument(QDBusContext& call, Document* document, QDBusError::ErrorType error,
                          const QString& message);

// True when the arguments hold one of the automation start options.
bool IsAutomationStart(const QStringList& arguments);
// The arguments without the automation start options.
QStringList WithoutAutomationOptions(const QStringList& arguments);

class AutomationHost : public QObject {
  Q_OBJECT

 public:
  // serviceName: the bus name ("example.orvane.Zelmor"); rootPath: the
  // application object's path ("/example/orvane/Zelmor"). serverStart: the
  // program was started for a client.
  AutomationHost(const QString& serviceName, const QString& rootPath, bool serverStart,
                 QObject* parent = nullptr);
  ~AutomationHost() override;

  enum class StartResult { kServing, kNoBus, kNameOwned, kFailed };
  // Takes the bus name and registers the application object (all its slots
  // and properties). kNameOwned: another instance serves the name.
  StartResult start(QObject* applicationObject);
  bool isActive() const { return active_; }
  QString serviceName() const { return serviceName_; }

  bool serverStart() const { return serverStart_; }
  // The user controls the program: it was started normally, or a client called ShowWindow.
  bool userControl() const { return !serverStart_ || handedToUser_; }
  // ShowWindow: from now on the program lives until the user closes it.
  void handToUser();

  // The next document's path, <root>/Document/N (N counts from 1, never reused).
  QString nextDocumentPath();
  // Exports a document object at path, created for the calling client.
  // closeHidden closes the document without asking; the host calls it when
  // that client leaves while the program is not under the user's control.
  // False when the path could not be registered.
  bool addDocument(const QString& path, QObject* documentObject, const QString& client,
                   std::function<void()> closeHidden);
  // The document at path is gone (closed by a client, the user or the host).
  void removeDocument(const QString& path);
  int documentCount() const { return static_cast<int>(documents_.size()); }

  // The status-bar text of a second instance.
  static QString unavailableText(const QString& serviceName);

 signals:
  // Started for a client, not handed to the user, and nothing left to serve.
  void exitRequested();

 private:
  struct Entry {
    QString client;
    std::function<void()> closeHidden;
  };
  void clientLeft(const QString& client);
  void checkExit();

  QString serviceName_;
  QString rootPath_;
  bool serverStart_;
  bool handedToUser_ = false;
  bool active_ = false;
  bool exitPosted_ = false;
  int documentNumber_ = 0;
  QHash<QString, Entry> documents_;
  QDBusServiceWatcher* watcher_ = nullptr;
};

// CreateDocument of an application object: publishes a document just created
// for the calling client. makeObject(path) builds the document's bus object;
// the host calls its closeHidden() when the client leaves the bus. Returns the
// object path, or an empty path after an error reply.
template <class Make>
QDBusObjectPath PublishClientDocument(QDBusContext& call, AutomationHost* host, MdiMainWindow* window,
                                      Document* document, Make makeObject) {
  if (!PrepareClientDocument(call, window, document)) return {};
  const QString path = host->nextDocumentPath();
  auto* object = makeObject(path);
  if (!host->addDocument(path, object, CallingClient(call), [object] { object->closeHidden(); })) {
    delete object;
    RefuseClientDocument(call, document);
    return {};
  }
  return QDBusObjectPath(path);
}

}  // namespace fw
