#include "master/app/zelmor_connection.h"

#include <QWidget>
#include <cstdio>

#include "framework/automation.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/core/engine_glue.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {
// Status-bar message while a TCP connect is in flight: address and port as in the comm pane.
constexpr const char* kConnectingFormat = "Connecting to %1: %2...";
}  // namespace

void ZelmorConnection::readProfile(const fw::Profile& profile) {
  settings_ = zelmor::ReadCommSettings(profile);
  settings_.connected = 0;
  autoEnable_ = zelmor::ReadAutoEnable(profile);
  emit connectionChanged();
}

void ZelmorConnection::setSettings(const zelmor::CommSettings& settings) {
  settings_ = settings;
  emit connectionChanged();
}

void ZelmorConnection::setFallbackParent(QWidget* parent) { fallbackParent_ = parent; }

bool ZelmorConnection::isConnecting() const { return zelmor::BackgroundOpenPending(); }

QString ZelmorConnection::connectingText() const {
  return QString(kConnectingFormat).arg(QString::fromStdString(settings_.ipAddress)).arg(settings_.servicePort);
}

bool ZelmorConnection::connectLink(bool withDialog, QWidget* parent) {
  if (isConnected()) return true;
  if (isConnecting()) return false;
  if (withDialog) {
    ConnectionDialog dialog(settings_, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    zelmor::CommSettings chosen = dialog.settings();
    chosen.connected = 0;
    settings_ = chosen;
  }
  zelmor::PrepareLink(settings_);
  if (settings_.port != zelmor::kTcpPortChoice) return completeConnect(zelmor::OpenLink(settings_), withDialog, parent);

  // The TCP connect may take seconds when the host does not answer: it runs on
  // a worker thread and reports back through this thread's event loop.
  unsigned generation = ++connectGeneration_;
  pendingWithDialog_ = withDialog;
  pendingParent_ = parent;
  discardPendingConnect_ = false;
  zelmor::BeginBackgroundOpen(settings_, [this, generation] {
    QMetaObject::invokeMethod(this, [this, generation] { backgroundOpenEnded(generation); }, Qt::QueuedConnection);
  });
  emit connectingChanged(true);
  return true;
}

void ZelmorConnection::backgroundOpenEnded(unsigned generation) {
  // shutDown may have collected this connect already, and a newer one may be running.
  if (generation != connectGeneration_ || !isConnecting()) return;
  std::string failure = zelmor::CollectBackgroundOpen();
  emit connectingChanged(false);
  if (discardPendingConnect_) {
    discardPendingConnect_ = false;
    if (failure.empty()) zelmor::DisconnectLink();
    settings_.connected = 0;
    emit connectionChanged();
    emit connectFinished(false);
    return;
  }
  QWidget* parent = pendingParent_ ? pendingParent_.data() : fallbackParent_.data();
  completeConnect(failure, pendingWithDialog_, parent);
}

bool ZelmorConnection::completeConnect(const std::string& failure, bool withDialog, QWidget* parent) {
  zelmor::ConnectOutcome outcome;
  outcome.message = failure;
  if (failure.empty()) outcome = zelmor::StartLink(settings_);
  if (!outcome.connected) {
    // The record keeps what was entered, so a quick connect retries it; the
    // profile keeps its previous values.
    settings_.connected = 0;
    // A hidden automation server has nobody to answer a box: its clients see
    // the link down (ReadResult 6), and the reason goes to stderr.
    if (automation_ != nullptr && !automation_->userControl())
      std::fprintf(stderr, "zelmor: %s\n", outcome.message.c_str());
    else
      fw::ShowMessage(QString::fromStdString(outcome.message), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent,
                      text::kConnectionCaption);
    emit connectionChanged();
    emit connectFinished(false);
    return false;
  }
  settings_.connected = 1;
  if (withDialog) zelmor::WriteCommSettings(fw::AppProfile(), settings_);
  emit connectionChanged();
  emit connectFinished(true);
  return true;
}

void ZelmorConnection::disconnectLink() {
  if (isConnecting()) {
    // Only the worker may touch the link now: close what it opens once it ends.
    discardPendingConnect_ = true;
    return;
  }
  zelmor::DisconnectLink();
  settings_.connected = 0;
  emit connectionChanged();
}

void ZelmorConnection::shutDown() {
  // A TCP connect still in flight: wait for it (its own time-out bounds the
  // wait) and drop its result, closing a connection it may have opened.
  if (isConnecting()) {
    ++connectGeneration_;
    if (zelmor::CollectBackgroundOpen().empty()) masterengine::TcpDisconnect();
    discardPendingConnect_ = false;
    emit connectingChanged(false);
  }
  // The poll thread may be inside a transaction on the link: stop it before
  // the link is closed under it.
  masterengine::StopPolling();
  if (isConnected()) {
    masterengine::CloseSerialPort();
    masterengine::TcpDisconnect();
    settings_.connected = 0;
  }
}

void ZelmorConnection::setAutoEnable(int enable) {
  autoEnable_ = enable;
  zelmor::WriteAutoEnable(fw::AppProfile(), enable);
  emit connectionChanged();
}
