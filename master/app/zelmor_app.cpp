#include "master/app/zelmor_app.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStatusBar>
#include <cstdio>

#include "framework/automation.h"
#include "framework/document.h"
#include "framework/profile.h"
#include "master/app/automation_zelmor.h"
#include "master/app/main_frame.h"
#include "master/app/workspace_io.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/core/engine_glue.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {
CZelmorApp* gApp = nullptr;
}

CZelmorApp* ZelmorApp() { return gApp; }

CZelmorApp::CZelmorApp() : connection_(std::make_unique<ZelmorConnection>()) {
  gApp = this;
  masterengine::InitEngine();
  connect(connection_.get(), &ZelmorConnection::connectFinished, this, &CZelmorApp::connectFinished);
}

CZelmorApp::~CZelmorApp() {
  // The worker must not outlive the application object it reports to.
  if (zelmor::BackgroundOpenPending() && zelmor::CollectBackgroundOpen().empty()) masterengine::TcpDisconnect();
  mainFrame_.reset();
  connection_->setAutomationHost(nullptr);
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

  mainFrame_ = std::make_unique<CMainFrame>(connection_.get(), &profile);
  mainFrame_->addDocumentTemplate(template_.get());
  connection_->setFallbackParent(mainFrame_.get());

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
    connection_->setAutomationHost(automation_.get());
  }

  connection_->readProfile(profile);

  if (automationStart) {
    // Hidden until a client calls ShowWindow; no document of our own.
    if (connection_->autoEnable() == 1) connection_->connectLink(false, mainFrame_.get());
    return true;
  }

  bool connectNow = false;
  if (!openStartFiles(args, &connectNow)) return false;

  mainFrame_->show();
  mainFrame_->updateCommandUI();
  if (!automationNote.isEmpty()) mainFrame_->statusBar()->showMessage(automationNote);

  if (connectNow) {
    zelmor::CommSettings settings = connection_->settings();
    settings.connected = 0;
    connection_->setSettings(settings);
    connection_->connectLink(false, mainFrame_.get());
  }
  return true;
}

bool CZelmorApp::openStartFiles(const QStringList& args, bool* connectNow) {
  QStringList fileNames;
  for (const QString& arg : args)
    if (!arg.startsWith('-')) fileNames << arg;
  // Every file given opens (a file manager hands over several); one that
  // cannot be read has said so and is skipped, and start-up ends only when
  // none of them opened.
  bool workspaceOpened = false;
  bool workspaceWantsConnection = false;
  bool anyOpened = false;
  for (const QString& fileName : fileNames) {
    if (zelmor::LooksLikeWorkspace(fileName.toStdString())) {
      WorkspaceLoadResult result = LoadWorkspace(*mainFrame_, *connection_, fileName, false);
      workspaceOpened = workspaceOpened || result.loaded;
      workspaceWantsConnection = workspaceWantsConnection || result.savedConnected;
      anyOpened = anyOpened || result.loaded;
    } else if (mainFrame_->openDocumentFile(QFileInfo(fileName).absoluteFilePath()) != nullptr) {
      anyOpened = true;
    }
  }
  if (fileNames.isEmpty()) anyOpened = mainFrame_->newDocument() != nullptr;
  *connectNow = (connection_->autoEnable() == 1 && !workspaceOpened) || workspaceWantsConnection;
  return anyOpened;
}

void CZelmorApp::exitInstance() { connection_->shutDown(); }
