#include "slave/app/identity_dialog.h"
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

#include "framework/application.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/serial_ports.h"
#include "framework/traffic/traffic_monitor.h"
#include "platform/port_map.h"
#include "resources/icons/suite_icons.h"
#include "resources/vantor_prompts.h"
#include "resources/value_order_texts.h"
#include "resources/vantor_resources.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/app/register_map_io.h"
#include "slave/app/replay_dialog.h"
#include "slave/app/replay_runner.h"
#include "slave/app/vantor_view.h"
#include "slave/engine/slave_engine.h"
#include "slave/app/workspace_io.h"
#include "slave/core/vnw_file.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

constexpr int kCommPaneWidth = 120;

}  // namespace

CMainFrame::CMainFrame(CVantorApp* app, fw::Profile* profile, QWidget* parent)
    : fw::MdiMainWindow(profile, vantorres::kRecentFileCount, parent),
      app_(app),
      commands_(this, &vantorres::PromptForCommand, Qt::ApplicationShortcut) {
  commPane_ = new QLabel(Text(vantorres::kCommPaneDefault), this);
  commPane_->setFixedWidth(kCommPaneWidth);
  faultsPane_ = new QLabel(Text(vantorres::kFaultsPane), this);
  faultsPane_->setStyleSheet(QStringLiteral("QLabel { color: #c00000; font-weight: bold; }"));
  faultsPane_->hide();
  servingPane_ = new QLabel(this);
  servingPane_->hide();
  replayPane_ = new QLabel(this);
  replayPane_->hide();
  replay_ = new ReplayRunner(this);
  connect(replay_, &ReplayRunner::stateChanged, this, [this] {
    replayPane_->setText(replay_->statusText());
    replayPane_->setVisible(replay_->running() || replay_->reading());
  });
  connect(replay_, &ReplayRunner::readEnded, this, [this](const QString& path, const QString& error) {
    if (!error.isEmpty()) fw::ShowMessage(path + QStringLiteral(": ") + error);
    updateCommands();
  });
  statusBar()->addPermanentWidget(replayPane_);
  statusBar()->addPermanentWidget(faultsPane_);
  statusBar()->addPermanentWidget(servingPane_);
  statusBar()->addPermanentWidget(commPane_);
  createFileMenu();
  createConnectionMenu();
  createSetupMenu();
  createDisplayMenu();
  QToolBar* toolBar = createViewMenu();
  createWindowMenu();
  createHelpMenu();
  fillToolBar(toolBar);
  for (QMenu* menu : menuBar()->findChildren<QMenu*>())
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommands);
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

QAction* CMainFrame::action(int commandId) const { return commands_.action(commandId); }

void CMainFrame::createFileMenu() {
  using namespace vantorres;
  QMenu* file = menuBar()->addMenu(Text(kMenuFile));
  commands_.add(file, ID_FILE_NEW, kFileNew, [this] { fileNew(); });
  commands_.add(file, ID_FILE_OPEN, kFileOpen, [this] { fileOpen(); });
  commands_.add(file, ID_FILE_CLOSE, kFileClose, [this] { fileClose(); });
  commands_.add(file, ID_FILE_SAVE, kFileSave, [this] { fileSave(); });
  commands_.add(file, ID_FILE_SAVE_AS, kFileSaveAs, [this] { fileSaveAs(); });
  file->addSeparator();
  commands_.add(file, ID_OPEN_WORKSPACE, kOpenWorkspace, [this] { openWorkspaceCommand(); });
  commands_.add(file, ID_SAVE_WORKSPACE, kSaveWorkspace, [this] { saveWorkspaceCommand(); });
  file->addSeparator();
  commands_.add(file, ID_IMPORT_REGISTER_MAP, kImportRegisterMap, [this] {
    vantormapio::ImportRegisterMap(this);
    updateCommands();
  });
  commands_.add(file, ID_EXPORT_REGISTER_MAP, kExportRegisterMap, [this] { vantormapio::ExportRegisterMap(this); });
  commands_.add(file, ID_REPLAY_RECORDING, kReplayRecording, [this] { replayRecordingCommand(); });
  commands_.add(file, ID_STOP_REPLAY, kStopReplay, [this] {
    replay_->stop();
    updateCommands();
  });
  file->addSeparator();
  commands_.add(file, ID_FILE_PRINT, kFilePrint, [this] { filePrint(); });
  commands_.add(file, ID_FILE_PRINT_PREVIEW, kFilePrintPreview, [this] { filePrintPreview(); });
  commands_.add(file, ID_FILE_PRINT_SETUP, kFilePrintSetup, [this] { filePrintSetup(); });
  file->addSeparator();
  recentAnchor_ = file->addSeparator();
  recentMenu_ = file;
  recentFiles()->fillMenu(file, recentAnchor_);
  connect(recentFiles(), &fw::RecentFileList::changed, this,
          [this] { recentFiles()->fillMenu(recentMenu_, recentAnchor_); });
  commands_.add(file, ID_APP_EXIT, kFileExit, [this] { fileExit(); });
}

void CMainFrame::replayRecordingCommand() {
  const QString path = ChooseRecordingFile(this);
  if (path.isEmpty()) return;
  ReplayDialog dialog(QFileInfo(path).fileName(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // The file is read on a worker thread; readEnded carries on (see the constructor).
  replay_->startReading(path, dialog.speed(), dialog.loop());
  updateCommands();
}

void CMainFrame::createConnectionMenu() {
  using namespace vantorres;
  QMenu* connection = menuBar()->addMenu(Text(kMenuConnection));
  commands_.add(connection, ID_CONNECT, kConnect, [this] { connectCommand(); });
  commands_.add(connection, ID_DISCONNECT, kDisconnect, [this] { disconnectCommand(); });
  commands_.add(connection, ID_QUICK_CONNECT, kQuickConnect, [this] { quickConnectCommand(); });
  QMenu* autoConnect = connection->addMenu(Text(kMenuAutoConnect));
  commands_.add(autoConnect, ID_AUTO_ENABLE, kAutoEnable, [this] {
    app_->setAutoEnable(true);
    updateCommands();
  });
  commands_.add(autoConnect, ID_AUTO_DISABLE, kAutoDisable, [this] {
    app_->setAutoEnable(false);
    updateCommands();
  });
  connection->addSeparator();
  commands_.add(connection, ID_PORT_PATHS, kPortPaths, [this] { portPathsCommand(); });
}

void CMainFrame::createSetupMenu() {
  using namespace vantorres;
  QMenu* setup = menuBar()->addMenu(Text(kMenuSetup));
  commands_.add(setup, ID_SLAVE_DEFINITION, kSlaveDefinition, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->editDefinition(this);
  });
  QMenu* options = setup->addMenu(Text(kMenuOptions));
  commands_.add(options, ID_FONT, kFont, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->chooseFont(this);
  });
  commands_.add(options, ID_COLOR, kColor, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->chooseColor(this);
  });
  commands_.add(setup, ID_USE_AS_DEFAULT, kUseAsDefault, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->useAsDefault();
  });
  setup->addSeparator();
  commands_.add(setup, ID_FAULTS, kFaults, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->editFaults(this);
    updateCommands();
  });
  commands_.add(setup, ID_SIMULATION, kSimulation, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->editSimulation(this);
  });
  commands_.add(setup, ID_IDENTITY, kIdentity, [this] {
    CVantorDoc* d = activeVantorDoc();
    RunIdentityDialog(d ? d->slaveId() : 1, this);
  });
}

void CMainFrame::createDisplayMenu() {
  using namespace vantorres;
  QMenu* display = menuBar()->addMenu(Text(kMenuDisplay));
  for (int format = 0; format < 10; ++format) {
    commands_.add(display, kFormatCommandIds[format], kFormatMenuTexts[format], [this, format] {
      if (CVantorDoc* d = activeVantorDoc()) d->setDisplayFormat(format);
      updateCommands();
    })->setCheckable(true);
  }
  QMenu* orders = display->addMenu(ordertexts::kOtherOrdersMenu);
  for (int format = ordertexts::kFirstFormat; format < valuefmt::kAllFormatCount; ++format) {
    const int k = format - ordertexts::kFirstFormat;
    commands_.add(orders, ordertexts::kFormatCommandIds[k], ordertexts::kFormatMenuTexts[k], [this, format] {
      if (CVantorDoc* d = activeVantorDoc()) d->setDisplayFormat(format);
      updateCommands();
    })->setCheckable(true);
  }
  display->addSeparator();
  commands_.add(display, ID_PLC_ADDRESSES, kPlcAddresses, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->setOneBased(true);
    updateCommands();
  })->setCheckable(true);
  commands_.add(display, ID_PROTOCOL_ADDRESSES, kProtocolAddresses, [this] {
    if (CVantorDoc* d = activeVantorDoc()) d->setOneBased(false);
    updateCommands();
  })->setCheckable(true);
  display->addSeparator();
  commands_.add(display, ID_COMMUNICATION, kCommunication, [this] { communicationCommand(); });
}

QToolBar* CMainFrame::createViewMenu() {
  using namespace vantorres;
  QMenu* view = menuBar()->addMenu(Text(kMenuView));
  QToolBar* toolBar = addToolBar(Text(kToolbar).remove(QLatin1Char('&')));
  toolBar->setObjectName(QStringLiteral("toolbar"));
  commands_.adopt(view, ID_VIEW_TOOLBAR, toolBar->toggleViewAction(), kToolbar);
  QAction* statusBarAction = commands_.add(view, ID_VIEW_STATUS_BAR, kStatusBar);
  statusBarAction->setCheckable(true);
  statusBarAction->setChecked(true);
  connect(statusBarAction, &QAction::toggled, statusBar(), &QStatusBar::setVisible);
  QAction* onTop = commands_.add(view, ID_ALWAYS_ON_TOP, kAlwaysOnTop, [this] {
    setAlwaysOnTop(!alwaysOnTop());
    this->profile()->writeInt(Text(vantorres::kSectionView), Text(vantorres::kKeyAlwaysOnTop),
                              alwaysOnTop() ? 1 : 0);
    updateCommands();
  });
  onTop->setCheckable(true);
  return toolBar;
}

void CMainFrame::createWindowMenu() {
  using namespace vantorres;
  QMenu* window = menuBar()->addMenu(Text(kMenuWindow));
  commands_.add(window, ID_WINDOW_CASCADE, kCascade, [this] { cascade(); });
  commands_.add(window, ID_WINDOW_TILE, kTile, [this] { tile(); });
  commands_.add(window, ID_WINDOW_ARRANGE, kArrangeIcons, [this] { arrangeIcons(); });
  listWindowsIn(window);
}

void CMainFrame::createHelpMenu() {
  using namespace vantorres;
  QMenu* help = menuBar()->addMenu(Text(kMenuHelp));
  commands_.add(help, ID_ON_THE_WEB, kOnTheWeb, [] { fw::OpenUrl(Text(vantorres::kWebAddress)); });
  commands_.add(help, ID_APP_ABOUT, kAbout, [this] {
    fw::ShowAboutBox(this, Text(vantorres::kProductName), QStringLiteral(SUITE_VERSION_TEXT));
  });
}

void CMainFrame::fillToolBar(QToolBar* toolBar) {
  using namespace vantorres;
  // New, Open, Save, Print | Slave Definition | Disconnect, Quick Connect |
  // Communication | About; one image of resources/icons/toolbar per command
  // (shared with zelmor).
  commands_.fillToolBar(toolBar,
                        {{ID_FILE_NEW, "file_new"},
                         {ID_FILE_OPEN, "file_open"},
                         {ID_FILE_SAVE, "file_save"},
                         {ID_FILE_PRINT, "file_print"},
                         {},
                         {ID_SLAVE_DEFINITION, "slave_definition"},
                         {},
                         {ID_DISCONNECT, "disconnect"},
                         {ID_QUICK_CONNECT, "quick_connect"},
                         {},
                         {ID_COMMUNICATION, "communication"},
                         {},
                         {ID_APP_ABOUT, "about"}},
                        [](const char* name) { return suiteicons::ToolbarIcon(QLatin1String(name)); });
  toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
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
  action(ID_REPLAY_RECORDING)->setEnabled(!replay_->reading());
  action(ID_STOP_REPLAY)->setEnabled(replay_->running() || replay_->reading());

  CVantorDoc* d = activeVantorDoc();
  const bool hasDoc = d != nullptr;
  for (int id : {int(ID_FILE_CLOSE), int(ID_FILE_SAVE), int(ID_FILE_SAVE_AS), int(ID_FILE_PRINT),
                 int(ID_FILE_PRINT_PREVIEW), int(ID_SLAVE_DEFINITION), int(ID_FONT), int(ID_COLOR),
                 int(ID_USE_AS_DEFAULT), int(ID_PLC_ADDRESSES), int(ID_PROTOCOL_ADDRESSES), int(ID_FAULTS),
                 int(ID_SIMULATION)})
    action(id)->setEnabled(hasDoc);
  for (int format = 0; format < valuefmt::kAllFormatCount; ++format) {
    QAction* act = action(ordertexts::CommandIdOf(kFormatCommandIds, format));
    act->setEnabled(hasDoc);
    act->setChecked(hasDoc && d->displayFormat() == format);
  }
  action(ID_PLC_ADDRESSES)->setChecked(hasDoc && d->oneBased());
  action(ID_PROTOCOL_ADDRESSES)->setChecked(hasDoc && !d->oneBased());
  updateStatus();
}

QString CMainFrame::commPaneText() const { return commPane_->text(); }
QString CMainFrame::servingPaneText() const { return servingPane_->text(); }
QString CMainFrame::replayPaneText() const { return replayPane_->isHidden() ? QString() : replayPane_->text(); }

void CMainFrame::updateStatus() {
  commPane_->setText(app_->statusText());
  const QString serving = app_->servingText();
  servingPane_->setText(serving);
  servingPane_->setVisible(!serving.isEmpty());
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
  QString name = app_->workspaceName();
  const bool saved = SaveVantorWorkspace(*this, app_->settings(), path, &name);
  app_->setWorkspaceName(name);
  return saved;
}

bool CMainFrame::loadWorkspace(const QString& path, bool allowConnect, bool* wantsConnect) {
  if (!LoadVantorWorkspace(*this, *app_, path, allowConnect, wantsConnect)) return false;
  updateCommands();
  return true;
}
