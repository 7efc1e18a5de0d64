#pragma once
// CZelmorApp: the start-up order and the exit order of zelmor: the link's
// connection object, the document template, the main window and the
// automation server.
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "master/app/zelmor_connection.h"

class CMainFrame;
class QWidget;
class ZelmorApplicationObject;

namespace fw {
class AutomationHost;
class DocumentTemplate;
}

class CZelmorApp : public QObject {
  Q_OBJECT

 public:
  CZelmorApp();
  ~CZelmorApp() override;

  // Start-up after the QApplication and the profile exist. args: the command
  // line without the program name. False when start-up failed. With an
  // automation option (--automation, -Automation, -Embedding) the program
  // serves the bus hidden, without a document, until a client shows it.
  bool initInstance(const QStringList& args);
  // Stops the poll thread and closes the link.
  void exitInstance();

  CMainFrame* mainFrame() const { return mainFrame_.get(); }
  // The session-bus server (null when not serving).
  fw::AutomationHost* automation() const { return automation_.get(); }
  fw::DocumentTemplate* documentTemplate() const { return template_.get(); }

  // ---- Communication (ZelmorConnection's, for the automation server and tests) ----
  ZelmorConnection& connection() { return *connection_; }
  const zelmor::CommSettings& settings() const { return connection_->settings(); }
  void setSettings(const zelmor::CommSettings& settings) { connection_->setSettings(settings); }
  bool isConnected() const { return connection_->isConnected(); }
  bool isConnecting() const { return connection_->isConnecting(); }
  bool connectLink(bool withDialog, QWidget* parent) { return connection_->connectLink(withDialog, parent); }
  void disconnectLink() { connection_->disconnectLink(); }
  int autoEnable() const { return connection_->autoEnable(); }
  void setAutoEnable(int enable) { connection_->setAutoEnable(enable); }

 signals:
  // ZelmorConnection::connectFinished, passed on.
  void connectFinished(bool connected);

 private:
  // Opens the files of the command line (or a new document); false when none opened.
  bool openStartFiles(const QStringList& args, bool* connectNow);

  // First in, last out: the frame and the automation objects use it to the end.
  std::unique_ptr<ZelmorConnection> connection_;
  std::unique_ptr<fw::DocumentTemplate> template_;
  std::unique_ptr<fw::AutomationHost> automation_;
  std::unique_ptr<ZelmorApplicationObject> automationObject_;
  std::unique_ptr<CMainFrame> mainFrame_;
};

// The one application object (set by the constructor).
CZelmorApp* ZelmorApp();
