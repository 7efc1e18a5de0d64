#include "slave/app/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <unistd.h>

#include "framework/application.h"
#include "framework/command_prompt.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/serial_ports.h"
#include "framework/traffic/traffic_monitor.h"
#include "platform/port_map.h"
#include "resources/icons/suite_icons.h"
#include "resources/vantor_prompts.h"
#include "resources/vantor_resources.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/app/vantor_view.h"
#include "slave/engine/slave_engine.h"
#include "slave/core/vnw_file.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

constexpr int kCommPaneWidth = 120;

}  // namespace

CMainFrame::CMainFrame(CVantorApp* app, fw::Profile* profile, QWidget* parent)
    : fw::MdiMainWindow(profile, vantorres::kRecentFileCount, parent), app_(app) {
  commPane_ = new QLabel(Text(vantorres::kCommPaneDefault), this);
  commPane_->setFixedWidth(kCommPaneWidth);
  faultsPane_ = new QLabel(Text(vantorres::kFaultsPane), this);
  faultsPane_->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
  faultsPane_->hide();
  statusBar()->addPermanentWidget(faultsPane_);
  statusBar()->addPermanentWidget(commPane_);
  createMenus();
  connect(app_, &CVantorApp::connectionChanged, this, &CMainFrame::updateCommands);
  connect(this, &fw::MdiMainWindow::documentsChanged, this, &CMainFrame::updateCommands);
  connect(this, &fw::MdiMainWindow::activeDocumentChanged, this, &CMainFrame::updateCommands);
  setAlwaysOnTop(profile->readInt(Text(vantorres::kSectionView), Text(vantorres::kKeyAlwaysOnTop), 0) != 0);
  updateCommands();
}

CMainFrame::~CMainFrame() {
  if (auto* monitor = linkui::TrafficMonitorDialog::instance()) delete monitor;
  // Child frames go while this window is still whole: their "destroyed" handlers
  // call back into the main window.
  // That includes frames already closed and waiting for their deferred deletion.
  const QList<fw::ChildFrame*> frames = findChildren<fw::ChildFrame*>();
  for (fw::ChildFrame* frame : frames) delete frame;
}

CVantorDoc* CMainFrame::activeVantorDoc() const { return qobject_cast<CVantorDoc*>(activeDocument()); }

QAction* CMainFrame::action(int commandId) const {
  auto it = actions_.find(commandId);
  return it == actions_.end() ? nullptr : it->second;
}

QAction* CMainFrame::addCommand(QMenu* menu, int id, const char* text) {
  // "&Connect...\tF3": the part after the tab is the accelerator.
  const QString full = Text(text);
  const int tab = full.indexOf(QLatin1Char('\t'));
  auto* act = menu->addAction(tab < 0 ? full : full.left(tab));
  if (tab >= 0) act->setShortcut(QKeySequence(full.mid(tab + 1)));
  act->setShortcutContext(Qt::ApplicationShortcut);
  fw::SetCommandPrompt(act, vantorres::PromptForCommand(id));
  actions_[id] = act;
  return act;
}

void CMainFrame::createMenus() {
  using namespace vantorres;
  QMenu* file = menuBar()->addMenu(Text(kMenuFile));
  connect(addCommand(file, ID_FILE_NEW, kFileNew), &QAction::triggered, this, &CMainFrame::fileNew);
  connect(addCommand(file, ID_FILE_OPEN, kFileOpen), &QAction::triggered, this, &CMainFrame::fileOpen);
  connect(addCommand(file, ID_FILE_CLOSE, kFileClose), &QAction::triggered, this, &CMainFrame::fileClose);
  connect(addCommand(file, ID_FILE_SAVE, kFileSave), &QAction::triggered, this, &CMainFrame::fileSave);
  connect(addCommand(file, ID_FILE_SAVE_AS, kFileSaveAs), &QAction::triggered, this, &CMainFrame::fileSaveAs);
  file->addSeparator();
  connect(addCommand(file, ID_OPEN_WORKSPACE, kOpenWorkspace), &QAction::triggered, this,
          &CMainFrame::openWorkspaceCommand);
  connect(addCommand(file, ID_SAVE_WORKSPACE, kSaveWorkspace), &QAction::triggered, this,
          &CMainFrame::saveWorkspaceCommand);
  file->addSeparator();
  connect(addCommand(file, ID_FILE_PRINT, kFilePrint), &QAction::triggered, this, &CMainFrame::filePrint);
  connect(addCommand(file, ID_FILE_PRINT_PREVIEW, kFilePrintPreview), &QAction::triggered, this,
          &CMainFrame::filePrintPreview);
  connect(addCommand(file, ID_FILE_PRINT_SETUP, kFilePrintSetup), &QAction::triggered, this,
          &CMainFrame::filePrintSetup);
  file->addSeparator();
  recentAnchor_ = file->addSeparator();
  recentMenu_ = file;
  recentFiles()->fillMenu(file, recentAnchor_);
  connect(recentFiles(), &fw::RecentFileList::changed, this,
          [this] { recentFiles()->fillMenu(recentMenu_, recentAnchor_); });
  connect(addCommand(file, ID_APP_EXIT, kFileExit), &QAction::triggered, this, &CMainFrame::fileExit);

  QMenu* connection = menuBar()->addMenu(Text(kMenuConnection));
  connect(addCommand(connection, ID_CONNECT, kConnect), &QAction::triggered, this, &CMainFrame::connectCommand);
  connect(addCommand(connection, ID_DISCONNECT, kDisconnect), &QAction::triggered, this,
          &CMainFrame::disconnectCommand);
  connect(addCommand(connection, ID_QUICK_CONNECT, kQuickConnect), &QAction::triggered, this,
          &CMainFrame::quickConnectCommand);
  QMenu* autoConnect = connection->addMenu(Text(kMenuAutoConnect));
  connect(addCommand(autoConnect, ID_AUTO_ENABLE, kAutoEnable), &QAction::triggered, this, [this] {
    app_->setAutoEnable(true);
    updateCommands();
  });
  connect(addCommand(autoConnect, ID_AUTO_DISABLE, kAutoDisable), &QAction::triggered, this, [this] {
    app_->setAutoEnable(false);
    updateCommands();
  });
  connection->addSeparator();
  connect(addCommand(connection, ID_PORT_PATHS, kPortPaths), &QAction::triggered, this,
          &CMainFrame::portPathsCommand);

  QMenu* setup = menuBar()->addMenu(Text(kMenuSetup));
  connect(addCommand(setup, ID_SLAVE_DEFINITION, kSlaveDefinition), &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->editDefinition(this);
  });
  QMenu* options = setup->addMenu(Text(kMenuOptions));
  connect(addCommand(options, ID_FONT, kFont), &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->chooseFont(this);
  });
  connect(addCommand(options, ID_COLOR, kColor), &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->chooseColor(this);
  });
  connect(addCommand(setup, ID_USE_AS_DEFAULT, kUseAsDefault), &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->useAsDefault();
  });
  setup->addSeparator();
  connect(addCommand(setup, ID_FAULTS, kFaults), &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->editFaults(this);
    updateCommands();
  });

  QMenu* display = menuBar()->addMenu(Text(kMenuDisplay));
  for (int format = 0; format < 10; ++format) {
    QAction* act = addCommand(display, kFormatCommandIds[format], kFormatMenuTexts[format]);
    act->setCheckable(true);
    connect(act, &QAction::triggered, this, [this, format] {
      if (CVantorDoc* d = activeVantorDoc()) d->setDisplayFormat(format);
      updateCommands();
    });
  }
  display->addSeparator();
  QAction* plc = addCommand(display, ID_PLC_ADDRESSES, kPlcAddresses);
  QAction* protocol = addCommand(display, ID_PROTOCOL_ADDRESSES, kProtocolAddresses);
  plc->setCheckable(true);
  protocol->setCheckable(true);
  connect(plc, &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->setOneBased(true);
    updateCommands();
  });
  connect(protocol, &QAction::triggered, this, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->setOneBased(false);
    updateCommands();
  });
  display->addSeparator();
  connect(addCommand(display, ID_COMMUNICATION, kCommunication), &QAction::triggered, this,
          &CMainFrame::communicationCommand);

  QMenu* view = menuBar()->addMenu(Text(kMenuView));
  QToolBar* toolBar = addToolBar(Text(kToolbar).remove(QLatin1Char('&')));
  toolBar->setObjectName(QStringLiteral("toolbar"));
  QAction* toolBarAction = toolBar->toggleViewAction();
  toolBarAction->setText(Text(kToolbar));
  fw::SetCommandPrompt(toolBarAction, PromptForCommand(ID_VIEW_TOOLBAR));
  view->addAction(toolBarAction);
  actions_[ID_VIEW_TOOLBAR] = toolBarAction;
  QAction* statusBarAction = addCommand(view, ID_VIEW_STATUS_BAR, kStatusBar);
  statusBarAction->setCheckable(true);
  statusBarAction->setChecked(true);
  connect(statusBarAction, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
  QAction* onTop = addCommand(view, ID_ALWAYS_ON_TOP, kAlwaysOnTop);
  onTop->setCheckable(true);
  connect(onTop, &QAction::triggered, this, [this] {
    setAlwaysOnTop(!alwaysOnTop());
    this->profile()->writeInt(Text(vantorres::kSectionView), Text(vantorres::kKeyAlwaysOnTop),
                              alwaysOnTop() ? 1 : 0);
    updateCommands();
  });

  QMenu* window = menuBar()->addMenu(Text(kMenuWindow));
  connect(addCommand(window, ID_WINDOW_CASCADE, kCascade), &QAction::triggered, this, &CMainFrame::cascade);
  connect(addCommand(window, ID_WINDOW_TILE, kTile), &QAction::triggered, this, &CMainFrame::tile);
  connect(addCommand(window, ID_WINDOW_ARRANGE, kArrangeIcons), &QAction::triggered, this,
          &CMainFrame::arrangeIcons);

  QMenu* help = menuBar()->addMenu(Text(kMenuHelp));
  connect(addCommand(help, ID_ON_THE_WEB, kOnTheWeb), &QAction::triggered, this,
          [] { fw::OpenUrl(Text(vantorres::kWebAddress)); });
  connect(addCommand(help, ID_APP_ABOUT, kAbout), &QAction::triggered, this, [this] {
    fw::ShowAboutBox(this, Text(vantorres::kProductName), QStringLiteral(SUITE_VERSION_TEXT));
  });

  // Toolbar: New, Open, Save, Print | Slave Definition | Disconnect, Quick Connect | Communication | About.
  for (int id : {int(ID_FILE_NEW), int(ID_FILE_OPEN), int(ID_FILE_SAVE), int(ID_FILE_PRINT), 0,
                 int(ID_SLAVE_DEFINITION), 0, int(ID_DISCONNECT), int(ID_QUICK_CONNECT), 0, int(ID_COMMUNICATION), 0,
                 int(ID_APP_ABOUT)}) {
    if (id == 0)
      toolBar->addSeparator();
    else
      toolBar->addAction(action(id));
  }
  // Toolbar images, one file of resources/icons/toolbar per command (shared with zelmor).
  const std::pair<int, const char*> icons[] = {
      {ID_FILE_NEW, "file_new"},
      {ID_FILE_OPEN, "file_open"},
      {ID_FILE_SAVE, "file_save"},
      {ID_FILE_PRINT, "file_print"},
      {ID_SLAVE_DEFINITION, "slave_definition"},
      {ID_DISCONNECT, "disconnect"},
      {ID_QUICK_CONNECT, "quick_connect"},
      {ID_COMMUNICATION, "communication"},
      {ID_APP_ABOUT, "about"},
  };
  for (const auto& [id, name] : icons)
    if (QAction* command = action(id)) command->setIcon(suiteicons::ToolbarIcon(QLatin1String(name)));
  toolBar->setIconSize(QSize(16, 16));
  toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);

  for (QMenu* menu : menuBar()->findChildren<QMenu*>())
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommands);
}

void CMainFrame::updateCommands() {
  using namespace vantorres;
  const bool connected = app_->isConnected();
  action(ID_CONNECT)->setEnabled(!connected);
  action(ID_QUICK_CONNECT)->setEnabled(!connected);
  action(ID_DISCONNECT)->setEnabled(connected);
  action(ID_AUTO_ENABLE)->setEnabled(!app_->autoEnable());
  action(ID_AUTO_DISABLE)->setEnabled(app_->autoEnable());
  action(ID_PORT_PATHS)->setEnabled(!connected);
  action(ID_COMMUNICATION)->setEnabled(!linkui::TrafficMonitorDialog::isOpen());
  action(ID_ALWAYS_ON_TOP)->setChecked(alwaysOnTop());

  CVantorDoc* d = activeVantorDoc();
  const bool hasDoc = d != nullptr;
  for (int id : {int(ID_FILE_CLOSE), int(ID_FILE_SAVE), int(ID_FILE_SAVE_AS), int(ID_FILE_PRINT),
                 int(ID_FILE_PRINT_PREVIEW), int(ID_SLAVE_DEFINITION), int(ID_FONT), int(ID_COLOR),
                 int(ID_USE_AS_DEFAULT), int(ID_PLC_ADDRESSES), int(ID_PROTOCOL_ADDRESSES), int(ID_FAULTS)})
    action(id)->setEnabled(hasDoc);
  for (int format = 0; format < 10; ++format) {
    QAction* act = action(kFormatCommandIds[format]);
    act->setEnabled(hasDoc);
    act->setChecked(hasDoc && d->displayFormat() == format);
  }
  action(ID_PLC_ADDRESSES)->setChecked(hasDoc && d->oneBased());
  action(ID_PROTOCOL_ADDRESSES)->setChecked(hasDoc && !d->oneBased());
  updateStatus();
}

QString CMainFrame::commPaneText() const { return commPane_->text(); }

void CMainFrame::updateStatus() {
  commPane_->setText(app_->statusText());
  // Faults live in the engine's slots, so a closed window's faults go with it.
  const bool faults = slaveengine::AnyFaultsActive();
  faultsPane_->setVisible(faults);
  const CVantorDoc* d = activeVantorDoc();
  faultsPane_->setToolTip(d ? QString::fromStdString(slavefaults::Summary(d->faults())) : QString());
}

bool CMainFrame::faultsPaneShown() const { return !faultsPane_->isHidden(); }

fw::Document* CMainFrame::openDocument(const QString& path) {
  if (vnw::NamesWorkspace(path.toStdString())) {
    loadWorkspace(path, true);
    return nullptr;
  }
  return openDocumentFile(path);
}

void CMainFrame::connectCommand() {
  app_->connectLink(this, true);
  updateCommands();
}

void CMainFrame::quickConnectCommand() {
  app_->connectLink(this, false);
  updateCommands();
}

void CMainFrame::disconnectCommand() {
  app_->disconnectLink();
  updateCommands();
}

void CMainFrame::communicationCommand() {
  if (linkui::TrafficMonitorDialog::isOpen()) return;
  auto* monitor = linkui::TrafficMonitorDialog::open(&trafficSource_, this);
  connect(monitor, &QObject::destroyed, this, &CMainFrame::updateCommands);
  connect(monitor, &QDialog::finished, this, &CMainFrame::updateCommands);
  updateCommands();
}

void CMainFrame::portPathsCommand() {
  // The device behind each "Port n" of the Connection dialog.
  QDialog dialog(this);
  dialog.setObjectName(QStringLiteral("serialPortsDialog"));
  dialog.setWindowTitle(Text(vantorres::kPortPaths).remove(QLatin1Char('&')).remove(QStringLiteral("...")));
  QStringList labels;
  for (int i = 0; i < 8; ++i) labels << Text(vantorres::kPortTexts[i]);
  auto* map = new fw::SerialPortMapWidget(labels, &dialog);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(map);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return;
  map->applyToPortMap();
  profile()->savePortMap();
  profile()->sync();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  fw::MdiMainWindow::closeEvent(event);
  if (event->isAccepted()) {
    if (auto* monitor = linkui::TrafficMonitorDialog::instance()) monitor->close();
  }
}

// ---- Workspaces ------------------------------------------------------------------

void CMainFrame::showWorkspaceError(const QString& text) {
  fw::ShowMessage(text, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
}

void CMainFrame::openWorkspaceCommand() {
  fw::FileDialogRequest request;
  request.title = Text(vantorres::kOpenWorkspaceTitle);
  request.filter = Text(vantorres::kWorkspaceFilter);
  request.defaultExtension = Text(vantorres::kWorkspaceExtension);
  request.initialName = app_->workspaceName();
  request.mustExist = true;
  const QString path = fw::ChooseFile(this, request);
  if (path.isEmpty()) return;
  app_->setWorkspaceName(path);
  loadWorkspace(path, true);
}

void CMainFrame::saveWorkspaceCommand() {
  fw::FileDialogRequest request;
  request.save = true;
  request.title = Text(vantorres::kSaveWorkspaceTitle);
  request.filter = Text(vantorres::kWorkspaceFilter);
  request.defaultExtension = Text(vantorres::kWorkspaceExtension);
  request.initialName = app_->workspaceName();
  request.confirmOverwrite = true;
  const QString path = fw::ChooseFile(this, request);
  if (!path.isEmpty()) saveWorkspace(path);
}

bool CMainFrame::saveWorkspace(const QString& path) {
  if (!vnw::HasWorkspaceExtension(path.toStdString())) {
    // Saving nothing without a word would leave the user believing it was saved.
    showWorkspaceError(Text(vantorres::kWrongWorkspaceExtension));
    return false;
  }
  app_->setWorkspaceName(path);
  const QFileInfo info(path);
  if (info.isDir() || ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0) {
    showWorkspaceError(Text(vantorres::kFileOpenError));
    return false;
  }
  vnw::Workspace workspace;
  workspace.settings = app_->settings();
  workspace.mainPlacement = fw::PlacementOf(this);
  for (fw::Document* document : documents()) {
    fw::ChildFrame* frame = frameOf(document);
    if (!frame) continue;
    const archive::WindowPlacement placement = frame->placement();
    const QString title = document->title();
    if (document->path().isEmpty()) document->setModified(true);
    if (!document->maybeSave()) continue;
    if (document->path().isEmpty()) continue;
    workspace.documents.push_back(
        {placement, title.toStdString(), QFile::encodeName(document->path()).toStdString()});
  }
  std::string error;
  // Temporary file and rename: a failed save keeps the previous workspace.
  if (!archive::WriteFileAtomically(QFile::encodeName(path).toStdString(), vnw::Encode(workspace), &error)) {
    showWorkspaceError(Text(vantorres::kDiskError));
    return false;
  }
  recentFiles()->add(path);
  return true;
}

bool CMainFrame::loadWorkspace(const QString& path, bool allowConnect, bool* wantsConnect) {
  if (wantsConnect) *wantsConnect = false;
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!archive::ReadFile(QFile::encodeName(path).toStdString(), &bytes, &error)) {
    showWorkspaceError(path + Text(vantorres::kWasNotFound));
    return false;
  }
  vnw::Workspace workspace;
  workspace.settings = app_->settings();
  const vnw::DecodeResult result = vnw::Decode(bytes, &workspace);
  if (result == vnw::DecodeResult::FormatError) {
    showWorkspaceError(Text(vantorres::kFileFormatError));
    return false;
  }
  if (result == vnw::DecodeResult::Truncated) return false;
  if (!fw::ApplyPlacement(this, workspace.mainPlacement)) return false;
  if (!closeAllDocuments()) return false;
  if (app_->isConnected()) app_->disconnectLink();

  const bool savedConnected = workspace.settings.connected != 0;
  app_->settings() = workspace.settings;
  app_->settings().connected = 0;
  if (wantsConnect) *wantsConnect = savedConnected;
  if (savedConnected && allowConnect) app_->connectLink(this, false);

  for (const vnw::DocumentRecord& record : workspace.documents) {
    const QString documentPath = QFile::decodeName(QByteArray::fromStdString(record.path));
    fw::Document* document = openDocumentFile(documentPath);
    if (!document) continue;
    if (fw::ChildFrame* frame = frameOf(document)) frame->applyPlacement(record.placement);
  }
  recentFiles()->add(path);
  updateCommands();
  return true;
}
