#include "master/app/zelmor_app.h"

#include <QFileInfo>

#include "framework/document.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/app/core/engine_glue.h"
#include "master/app/main_frame.h"
#include "master/app/workspace_io.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {
CZelmorApp* gApp = nullptr;
}

CZelmorApp* ZelmorApp() { return gApp; }

CZelmorApp::CZelmorApp() : workspaceName_(text::kDefaultWorkspaceName) {
  gApp = this;
  masterengine::InitEngine();
}

CZelmorApp::~CZelmorApp() {
  mainFrame_.reset();
  if (gApp == this) gApp = nullptr;
}

bool CZelmorApp::initInstance(const QStringList& args) {
  fw::Profile& profile = fw::AppProfile();
  profile.loadPortMap();

  // The document template: "\nZelmor\nZelmor\nZelmor Files (*.zmd)\n.zmd\nZelmor.Document\nZelmor File".
  template_ = std::make_unique<fw::DocumentTemplate>(
      fw::DocumentTemplate::Info{text::kDocumentName, text::kFileFilter, text::kDocumentExtension, "Zelmor File"},
      [] { return new CZelmorDoc; },
      [](fw::Document* document) { return new CZelmorView(static_cast<CZelmorDoc*>(document)); });

  mainFrame_ = std::make_unique<CMainFrame>(this, &profile);
  mainFrame_->addDocumentTemplate(template_.get());

  QString fileName;
  for (const QString& arg : args)
    if (!arg.startsWith('-')) fileName = arg;

  settings_ = zelmor::ReadCommSettings(profile);
  settings_.connected = 0;
  autoEnable_ = zelmor::ReadAutoEnable(profile);

  bool workspaceOpened = false;
  bool workspaceWantsConnection = false;
  if (zelmor::LooksLikeWorkspace(fileName.toStdString())) {
    WorkspaceLoadResult result = LoadWorkspace(*this, fileName, false);
    workspaceOpened = result.loaded;
    workspaceWantsConnection = result.savedConnected;
  } else if (fileName.isEmpty()) {
    if (mainFrame_->newDocument() == nullptr) return false;
  } else if (mainFrame_->openDocumentFile(QFileInfo(fileName).absoluteFilePath()) == nullptr) {
    return false;
  }

  mainFrame_->show();
  mainFrame_->updateCommandUI();

  if ((autoEnable_ == 1 && !workspaceOpened) || workspaceWantsConnection) {
    settings_.connected = 0;
    connectLink(false, mainFrame_.get());
  }
  return true;
}

void CZelmorApp::exitInstance() {
  // The poll thread may be inside a transaction on the link: stop it before
  // the link is closed under it.
  masterengine::StopPolling();
  if (isConnected()) {
    masterengine::CloseSerialPort();
    masterengine::TcpDisconnect();
    settings_.connected = 0;
  }
}

bool CZelmorApp::connectLink(bool withDialog, QWidget* parent) {
  if (isConnected()) return true;
  if (withDialog) {
    ConnectionDialog dialog(settings_, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    zelmor::CommSettings chosen = dialog.settings();
    chosen.connected = 0;
    settings_ = chosen;
  }
  zelmor::ConnectOutcome outcome = zelmor::ConnectLink(settings_);
  if (!outcome.connected) {
    // The record keeps what was entered, so a quick connect retries it; the
    // profile keeps its previous values.
    settings_.connected = 0;
    fw::ShowMessage(QString::fromStdString(outcome.message), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent,
                    text::kConnectionCaption);
    if (mainFrame_) mainFrame_->updateCommandUI();
    return false;
  }
  settings_.connected = 1;
  if (withDialog) zelmor::WriteCommSettings(fw::AppProfile(), settings_);
  if (mainFrame_) mainFrame_->updateCommandUI();
  return true;
}

void CZelmorApp::disconnectLink() {
  zelmor::DisconnectLink();
  settings_.connected = 0;
  if (mainFrame_) mainFrame_->updateCommandUI();
}

void CZelmorApp::setAutoEnable(int enable) {
  autoEnable_ = enable;
  zelmor::WriteAutoEnable(fw::AppProfile(), enable);
}
