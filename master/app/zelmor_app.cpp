#include "master/app/zelmor_app.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStatusBar>
#include <cstdio>

#include "framework/automation.h"
#include "framework/document.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "master/app/automation_zelmor.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/core/engine_glue.h"
#include "master/app/main_frame.h"
#include "master/app/workspace_io.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {
CZelmorApp* gApp = nullptr;
// Status-bar message while a TCP connect is in flight: address and port as in the comm pane.
constexpr const char* kConnectingFormat = "Connecting to %1: %2...";
}

CZelmorApp* ZelmorApp() { return gApp; }

CZelmorApp::CZelmorApp() : workspaceName_(text::kDefaultWorkspaceName) {
  gApp = this;
  masterengine::InitEngine();
}

CZelmorApp::~CZelmorApp() {
  // The worker must not outlive the application object it reports to.
  if (zelmor::BackgroundOpenPending() && zelmor::CollectBackgroundOpen().empty()) masterengine::TcpDisconnect();
  mainFrame_.reset();
  automationObject_.reset();
  automation_.reset();
  if (gApp == this) gApp = nullptr;
}

bool CZelmorApp::initInstance(const QStringList& commandLine) {
  const bool automationStart = fw::IsAutomationStart(commandLine);
  const QStringList args = fw::WithoutAutomationOptions(commandLine);
  fw::Profile& profile = fw::AppProfile();
  profile.loadPortMap();

  // The document template: "\nZelmor\nZelmor\nZelmor Files (*.zmd)\n.zmd\nZelmor.Document\nZelmor File".
  template_ = std::make_unique<fw::DocumentTemplate>(
      fw::DocumentTemplate::Info{text::kDocumentName, text::kFileFilter, text::kDocumentExtension, "Zelmor File"},
      [] { return new CZelmorDoc; },
      [](fw::Document* document) { return new CZelmorView(static_cast<CZelmorDoc*>(document)); });

  mainFrame_ = std::make_unique<CMainFrame>(this, &profile);
  mainFrame_->addDocumentTemplate(template_.get());

  // The automation server: the first instance takes the bus name; a second one
  // runs without and says so in its status bar.
  automation_ = std::make_unique<fw::AutomationHost>(kZelmorServiceName, kZelmorObjectPath, automationStart);
  automationObject_ = std::make_unique<ZelmorApplicationObject>(this, automation_.get());
  const fw::AutomationHost::StartResult served = automation_->start(automationObject_.get());
  QString automationNote;
  if (served == fw::AutomationHost::StartResult::kNameOwned)
    automationNote = fw::AutomationHost::unavailableText(kZelmorServiceName);
  if (served != fw::AutomationHost::StartResult::kServing) {
    automationObject_.reset();
    automation_.reset();
    if (automationStart) {
      // Nothing to serve and nothing to show.
      std::fprintf(stderr, "zelmor: %s\n",
                   automationNote.isEmpty() ? "automation is not available: no session bus"
                                            : automationNote.toLocal8Bit().constData());
      return false;
    }
  } else {
    connect(automation_.get(), &fw::AutomationHost::exitRequested, this, [] { QCoreApplication::exit(0); });
  }

  QStringList fileNames;
  for (const QString& arg : args)
    if (!arg.startsWith('-')) fileNames << arg;

  settings_ = zelmor::ReadCommSettings(profile);
  settings_.connected = 0;
  autoEnable_ = zelmor::ReadAutoEnable(profile);

  if (automationStart) {
    // Hidden until a client calls ShowWindow; no document of our own.
    mainFrame_->updateCommandUI();
    if (autoEnable_ == 1) connectLink(false, mainFrame_.get());
    return true;
  }

  // Every file given opens (a file manager hands over several); one that
  // cannot be read has said so and is skipped, and start-up ends only when
  // none of them opened.
  bool workspaceOpened = false;
  bool workspaceWantsConnection = false;
  bool anyOpened = false;
  for (const QString& fileName : fileNames) {
    if (zelmor::LooksLikeWorkspace(fileName.toStdString())) {
      WorkspaceLoadResult result = LoadWorkspace(*this, fileName, false);
      workspaceOpened = workspaceOpened || result.loaded;
      workspaceWantsConnection = workspaceWantsConnection || result.savedConnected;
      anyOpened = anyOpened || result.loaded;
    } else if (mainFrame_->openDocumentFile(QFileInfo(fileName).absoluteFilePath()) != nullptr) {
      anyOpened = true;
    }
  }
  if (fileNames.isEmpty()) anyOpened = mainFrame_->newDocument() != nullptr;
  if (!anyOpened) return false;

  mainFrame_->show();
  mainFrame_->updateCommandUI();
  if (!automationNote.isEmpty()) mainFrame_->statusBar()->showMessage(automationNote);

  if ((autoEnable_ == 1 && !workspaceOpened) || workspaceWantsConnection) {
    settings_.connected = 0;
    connectLink(false, mainFrame_.get());
  }
  return true;
}

void CZelmorApp::exitInstance() {
  // A TCP connect still in flight: wait for it (its own time-out bounds the
  // wait) and drop its result, closing a connection it may have opened.
  if (isConnecting()) {
    ++connectGeneration_;
    if (zelmor::CollectBackgroundOpen().empty()) masterengine::TcpDisconnect();
    discardPendingConnect_ = false;
    showConnectingState(false);
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

bool CZelmorApp::isConnecting() const { return zelmor::BackgroundOpenPending(); }

bool CZelmorApp::connectLink(bool withDialog, QWidget* parent) {
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
  showConnectingState(true);
  return true;
}

void CZelmorApp::backgroundOpenEnded(unsigned generation) {
  // exitInstance may have collected this connect already, and a newer one may be running.
  if (generation != connectGeneration_ || !isConnecting()) return;
  std::string failure = zelmor::CollectBackgroundOpen();
  showConnectingState(false);
  if (discardPendingConnect_) {
    discardPendingConnect_ = false;
    if (failure.empty()) zelmor::DisconnectLink();
    settings_.connected = 0;
    if (mainFrame_) mainFrame_->updateCommandUI();
    emit connectFinished(false);
    return;
  }
  QWidget* parent = pendingParent_ ? pendingParent_.data() : mainFrame_.get();
  completeConnect(failure, pendingWithDialog_, parent);
}

bool CZelmorApp::completeConnect(const std::string& failure, bool withDialog, QWidget* parent) {
  zelmor::ConnectOutcome outcome;
  outcome.message = failure;
  if (failure.empty()) outcome = zelmor::StartLink(settings_);
  if (!outcome.connected) {
    // The record keeps what was entered, so a quick connect retries it; the
    // profile keeps its previous values.
    settings_.connected = 0;
    // A hidden automation server has nobody to answer a box: its clients see
    // the link down (ReadResult 6), and the reason goes to stderr.
    if (automation_ && !automation_->userControl())
      std::fprintf(stderr, "zelmor: %s\n", outcome.message.c_str());
    else
      fw::ShowMessage(QString::fromStdString(outcome.message), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent,
                      text::kConnectionCaption);
    if (mainFrame_) mainFrame_->updateCommandUI();
    emit connectFinished(false);
    return false;
  }
  settings_.connected = 1;
  if (withDialog) zelmor::WriteCommSettings(fw::AppProfile(), settings_);
  if (mainFrame_) mainFrame_->updateCommandUI();
  emit connectFinished(true);
  return true;
}

void CZelmorApp::showConnectingState(bool connecting) {
  if (!mainFrame_) return;
  // The idle update keeps the message up while connecting (a menu's status tip may replace it).
  if (!connecting) mainFrame_->statusBar()->clearMessage();
  mainFrame_->updateCommandUI();
}

QString CZelmorApp::connectingText() const {
  return QString(kConnectingFormat).arg(QString::fromStdString(settings_.ipAddress)).arg(settings_.servicePort);
}

void CZelmorApp::disconnectLink() {
  if (isConnecting()) {
    // Only the worker may touch the link now: close what it opens once it ends.
    discardPendingConnect_ = true;
    return;
  }
  zelmor::DisconnectLink();
  settings_.connected = 0;
  if (mainFrame_) mainFrame_->updateCommandUI();
}

void CZelmorApp::setAutoEnable(int enable) {
  autoEnable_ = enable;
  zelmor::WriteAutoEnable(fw::AppProfile(), enable);
}
