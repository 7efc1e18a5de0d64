#pragma once
// ZelmorConnection: the communication settings and the link's state, Auto
// Connect, and the connect and disconnect sequences of zelmor. Every change
// is announced with a signal; it knows no window.
#include <QObject>
#include <QPointer>
#include <QString>
#include <string>

#include "master/core/zelmor_files.h"

class QWidget;

namespace fw {
class AutomationHost;
class Profile;
}

class ZelmorConnection : public QObject {
  Q_OBJECT

 public:
  ZelmorConnection() = default;

  // The settings (not connected) and Auto Connect from the profile.
  void readProfile(const fw::Profile& profile);
  // A hidden automation server has nobody to answer a message box: while
  // `host` is serving without user control, a failed connect goes to stderr.
  void setAutomationHost(const fw::AutomationHost* host) { automation_ = host; }
  // The window that shows a late TCP connect's messages when the one that
  // started it is gone.
  void setFallbackParent(QWidget* parent);

  const zelmor::CommSettings& settings() const { return settings_; }
  void setSettings(const zelmor::CommSettings& settings);
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
  // At exit: waits for a TCP connect still in flight and drops its result,
  // stops the poll thread and closes the link.
  void shutDown();

  int autoEnable() const { return autoEnable_; }
  // Written to the profile at once.
  void setAutoEnable(int enable);

 signals:
  // The settings, the link's state or Auto Connect changed.
  void connectionChanged();
  // A TCP connect started or ended (its status-bar message comes and goes).
  void connectingChanged(bool connecting);
  // Every connect sequence ends here, on this thread, once its messages are shown.
  void connectFinished(bool connected);

 private:
  // The rest of the sequence once the link has opened (failure empty) or not.
  bool completeConnect(const std::string& failure, bool withDialog, QWidget* parent);
  void backgroundOpenEnded(unsigned generation);

  zelmor::CommSettings settings_;
  int autoEnable_ = 0;
  const fw::AutomationHost* automation_ = nullptr;
  QPointer<QWidget> fallbackParent_;
  // The TCP connect in flight: its number (a late result of an earlier one is
  // ignored), how it was started and whether its result is to be dropped.
  unsigned connectGeneration_ = 0;
  bool pendingWithDialog_ = false;
  QPointer<QWidget> pendingParent_;
  bool discardPendingConnect_ = false;
};
