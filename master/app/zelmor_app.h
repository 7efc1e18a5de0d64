#pragma once
// CZelmorApp: the communication settings and the link's state, Auto Connect,
// the start-up order and the exit order of zelmor.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>

#include "master/core/zelmor_files.h"

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
  // Closes the link and stops the poll thread.
  void exitInstance();

  CMainFrame* mainFrame() const { return mainFrame_.get(); }
  // The session-bus server (null when not serving).
  fw::AutomationHost* automation() const { return automation_.get(); }
  fw::DocumentTemplate* documentTemplate() const { return template_.get(); }

  // ---- Communication ----
  const zelmor::CommSettings& settings() const { return settings_; }
  void setSettings(const zelmor::CommSettings& settings) { settings_ = settings; }
  bool isConnected() const { return settings_.connected != 0; }
  // A TCP connect is running on its worker thread; no other connect, disconnect
  // or workspace load may start until it has finished.
  bool isConnecting() const;
  // The status-bar message while connecting: "Connecting to <address>: <port>...".
  QString connectingText() const;
  // Connect (with the dialog) or quick connect (without). A serial port opens at
  // once; a TCP connect runs on a worker thread and the rest of the sequence
  // follows on this thread when it ends (connectFinished). Shows the failure
  // message; writes the profile only after a successful connection made with
  // the dialog. True when connected or connecting; false when cancelled, failed
  // at once, or a connect is already running.
  bool connectLink(bool withDialog, QWidget* parent);
  // While a TCP connect runs, its result is discarded when it arrives (an open
  // connection is closed again) instead of touching the link under it.
  void disconnectLink();

 signals:
  // Every connect sequence ends here, on this thread, once its messages are shown.
  void connectFinished(bool connected);

 public:

  int autoEnable() const { return autoEnable_; }
  void setAutoEnable(int enable);

  QString workspaceName() const { return workspaceName_; }
  void setWorkspaceName(const QString& name) { workspaceName_ = name; }

 private:
  // The rest of the sequence once the link has opened (failure empty) or not.
  bool completeConnect(const std::string& failure, bool withDialog, QWidget* parent);
  void backgroundOpenEnded(unsigned generation);
  void showConnectingState(bool connecting);

  zelmor::CommSettings settings_;
  // The TCP connect in flight: its number (a late result of an earlier one is
  // ignored), how it was started and whether its result is to be dropped.
  unsigned connectGeneration_ = 0;
  bool pendingWithDialog_ = false;
  QPointer<QWidget> pendingParent_;
  bool discardPendingConnect_ = false;
  int autoEnable_ = 0;
  QString workspaceName_;
  std::unique_ptr<fw::DocumentTemplate> template_;
  std::unique_ptr<fw::AutomationHost> automation_;
  std::unique_ptr<ZelmorApplicationObject> automationObject_;
  std::unique_ptr<CMainFrame> mainFrame_;
};

// The one application object (set by the constructor).
CZelmorApp* ZelmorApp();
