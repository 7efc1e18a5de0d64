#include "master/app/main_frame.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "framework/application.h"
#include "framework/command_prompt.h"
#include "framework/file_dialog.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/traffic/traffic_monitor.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/core/engine_glue.h"
#include "master/app/data_log_dialog.h"
#include "master/app/error_counters_dialog.h"
#include "master/app/multiple_write_dialogs.h"
#include "master/app/test_center_dialog.h"
#include "master/app/traffic_source_zelmor.h"
#include "master/app/trend_window.h"
#include "master/app/workspace_io.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"
#include "resources/icons/suite_icons.h"
#include "resources/zelmor_prompts.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;
namespace menu = zelmor::res::menu;
namespace text = zelmor::res::text;

#ifndef SUITE_VERSION_TEXT
#define SUITE_VERSION_TEXT "1.0.0"
#endif

namespace {

constexpr int kRecentFiles = 6;
constexpr int kCommPaneWidth = 120;
constexpr int kIdleUpdateMs = 200;

// "&Connect...\tF3" -> text "&Connect..." with shortcut F3.
void SetTextAndShortcut(QAction* action, const char* menuText) {
  QString full = QString::fromUtf8(menuText);
  int tab = full.indexOf('\t');
  if (tab < 0) {
    action->setText(full);
    return;
  }
  action->setText(full.left(tab));
  action->setShortcut(QKeySequence(full.mid(tab + 1)));
}

}  // namespace

CMainFrame::CMainFrame(CZelmorApp* app, fw::Profile* profile)
    : fw::MdiMainWindow(profile, kRecentFiles), app_(app), trafficSource_(std::make_unique<ZelmorTrafficSource>()) {
  readPosition();
  setAlwaysOnTop(profile->readIntInRange("View", "AlwaysOnTop", 0, 0, 1) == 1);
  CZelmorView::setStatisticsShown(profile->readIntInRange("View", "Statistics", 0, 0, 1) == 1);
  createActions();
  commPane_ = new QLabel(text::kCommPaneDefault, this);
  commPane_->setFixedWidth(kCommPaneWidth);
  statusBar()->addPermanentWidget(commPane_);
  connect(this, &fw::MdiMainWindow::documentsChanged, this, &CMainFrame::updateCommandUI);
  connect(this, &fw::MdiMainWindow::activeDocumentChanged, this, &CMainFrame::updateCommandUI);
  connect(recentFiles(), &fw::RecentFileList::changed, this,
          [this] { recentFiles()->fillMenu(fileMenu_, recentAnchor_); });
  recentFiles()->fillMenu(fileMenu_, recentAnchor_);
  idleTimer_ = new QTimer(this);
  connect(idleTimer_, &QTimer::timeout, this, &CMainFrame::updateCommandUI);
  idleTimer_->start(kIdleUpdateMs);
  updateCommandUI();
}

CMainFrame::~CMainFrame() {
  if (auto* monitor = linkui::TrafficMonitorDialog::instance()) delete monitor;
}

QAction* CMainFrame::addCommand(QMenu* menuOwner, int id, const char* menuText, void (CMainFrame::*slot)()) {
  auto* a = new QAction(this);
  SetTextAndShortcut(a, menuText);
  fw::SetCommandPrompt(a, res::PromptForCommand(id));
  if (slot != nullptr) connect(a, &QAction::triggered, this, slot);
  if (menuOwner != nullptr) menuOwner->addAction(a);
  actions_.insert(id, a);
  return a;
}

void CMainFrame::createActions() {
  using M = CMainFrame;
  QMenuBar* bar = menuBar();

  fileMenu_ = bar->addMenu(menu::kFile);
  addCommand(fileMenu_, res::ID_FILE_NEW, menu::kNew, nullptr);
  connect(action(res::ID_FILE_NEW), &QAction::triggered, this, &fw::MdiMainWindow::fileNew);
  addCommand(fileMenu_, res::ID_FILE_OPEN, menu::kOpen, nullptr);
  connect(action(res::ID_FILE_OPEN), &QAction::triggered, this, &fw::MdiMainWindow::fileOpen);
  documentFileActions_ << addCommand(fileMenu_, res::ID_FILE_CLOSE, menu::kClose, nullptr);
  connect(action(res::ID_FILE_CLOSE), &QAction::triggered, this, &fw::MdiMainWindow::fileClose);
  documentFileActions_ << addCommand(fileMenu_, res::ID_FILE_SAVE, menu::kSave, nullptr);
  connect(action(res::ID_FILE_SAVE), &QAction::triggered, this, &fw::MdiMainWindow::fileSave);
  documentFileActions_ << addCommand(fileMenu_, res::ID_FILE_SAVE_AS, menu::kSaveAs, nullptr);
  connect(action(res::ID_FILE_SAVE_AS), &QAction::triggered, this, &fw::MdiMainWindow::fileSaveAs);
  fileMenu_->addSeparator();
  addCommand(fileMenu_, res::ID_FILE_OPEN_WORKSPACE, menu::kOpenWorkspace, &M::onOpenWorkspace);
  addCommand(fileMenu_, res::ID_FILE_SAVE_WORKSPACE, menu::kSaveWorkspace, &M::onSaveWorkspace);
  fileMenu_->addSeparator();
  documentFileActions_ << addCommand(fileMenu_, res::ID_FILE_PRINT, menu::kPrint, nullptr);
  connect(action(res::ID_FILE_PRINT), &QAction::triggered, this, &fw::MdiMainWindow::filePrint);
  documentFileActions_ << addCommand(fileMenu_, res::ID_FILE_PRINT_PREVIEW, menu::kPrintPreview, nullptr);
  connect(action(res::ID_FILE_PRINT_PREVIEW), &QAction::triggered, this, &fw::MdiMainWindow::filePrintPreview);
  addCommand(fileMenu_, res::ID_FILE_PRINT_SETUP, menu::kPrintSetup, nullptr);
  connect(action(res::ID_FILE_PRINT_SETUP), &QAction::triggered, this, &fw::MdiMainWindow::filePrintSetup);
  fileMenu_->addSeparator();
  recentAnchor_ = fileMenu_->addSeparator();
  addCommand(fileMenu_, res::ID_APP_EXIT, menu::kExit, nullptr);
  connect(action(res::ID_APP_EXIT), &QAction::triggered, this, &fw::MdiMainWindow::fileExit);

  QMenu* connection = bar->addMenu(menu::kConnection);
  addCommand(connection, res::ID_CONNECT, menu::kConnect, &M::onConnect);
  addCommand(connection, res::ID_DISCONNECT, menu::kDisconnect, &M::onDisconnect);
  QMenu* autoMenu = connection->addMenu(menu::kAutoConnect);
  addCommand(autoMenu, res::ID_AUTO_CONNECT_ENABLE, menu::kAutoEnable, &M::onAutoEnable);
  addCommand(autoMenu, res::ID_AUTO_CONNECT_DISABLE, menu::kAutoDisable, &M::onAutoDisable);
  addCommand(connection, res::ID_QUICK_CONNECT, menu::kQuickConnect, &M::onQuickConnect);
  connection->addSeparator();
  addCommand(connection, res::ID_SERIAL_PORTS, menu::kSerialPorts, &M::onSerialPorts);

  QMenu* setup = bar->addMenu(menu::kSetup);
  documentMenus_ << setup;
  addCommand(setup, res::ID_SETUP_POLL_DEFINITION, menu::kPollDefinition, &M::onPollDefinition);
  QMenu* options = setup->addMenu(menu::kOptions);
  addCommand(options, res::ID_SETUP_FONT, menu::kFont, &M::onFont);
  addCommand(options, res::ID_SETUP_COLOR, menu::kColor, &M::onColor);
  // Data logging of the active window.
  connect(addCommand(setup, res::ID_SETUP_LOG, menu::kLog, nullptr), &QAction::triggered, this, [this] {
    StartLogging(activeZelmorDocument(), this);
    updateCommandUI();
  });
  connect(addCommand(setup, res::ID_SETUP_LOGGING_OFF, menu::kLoggingOff, nullptr), &QAction::triggered, this,
          [this] {
            StopLogging(activeZelmorDocument());
            updateCommandUI();
          });
  setup->addSeparator();
  addCommand(setup, res::ID_SETUP_RESET_COUNTERS, menu::kResetCounters, &M::onResetCounters);
  addCommand(setup, res::ID_SETUP_USE_AS_DEFAULT, menu::kUseAsDefault, &M::onUseAsDefault);

  QMenu* functions = bar->addMenu(menu::kFunctions);
  documentMenus_ << functions;
  addCommand(functions, res::ID_SETUP_READ_ONCE, menu::kReadOnce, &M::onReadOnce);
  functions->addSeparator();
  addCommand(functions, res::ID_WRITE_SINGLE_COIL, menu::kWriteSingleCoil, &M::onWriteSingleCoil);
  addCommand(functions, res::ID_WRITE_SINGLE_REGISTER, menu::kWriteSingleRegister, &M::onWriteSingleRegister);
  addCommand(functions, res::ID_WRITE_MULTIPLE_COILS, menu::kWriteMultipleCoils, &M::onWriteMultipleCoils);
  addCommand(functions, res::ID_WRITE_MULTIPLE_REGISTERS, menu::kWriteMultipleRegisters,
             &M::onWriteMultipleRegisters);
  addCommand(functions, res::ID_MASK_WRITE_REGISTER, menu::kMaskWriteRegister, &M::onMaskWriteRegister);
  addCommand(functions, res::ID_READ_WRITE_REGISTERS, menu::kReadWriteRegisters, &M::onReadWriteRegisters);
  functions->addSeparator();
  connect(addCommand(functions, res::ID_FUNCTIONS_TEST_CENTER, menu::kTestCenter, nullptr), &QAction::triggered,
          this, [this] {
            if (activeZelmorDocument() != nullptr && zelmor::LinkIsOpen()) RunTestCenter(this);
          });

  QMenu* display = bar->addMenu(menu::kDisplay);
  documentMenus_ << display;
  formatGroup_ = new QActionGroup(this);
  for (int format = 0; format < 10; ++format) {
    QAction* a = addCommand(display, res::kDisplayFormatCommands[format], res::kDisplayFormatMenuTexts[format], nullptr);
    a->setCheckable(true);
    formatGroup_->addAction(a);
    connect(a, &QAction::triggered, this, [this, format] {
      if (CZelmorDoc* doc = activeZelmorDocument()) doc->setDisplayFormat(format);
      updateCommandUI();
    });
  }
  display->addSeparator();
  baseGroup_ = new QActionGroup(this);
  for (auto [id, menuText, slot] : {std::tuple{res::ID_DISPLAY_PLC_ADDRESSES, menu::kPlcAddresses, &M::onPlcAddresses},
                                    std::tuple{res::ID_DISPLAY_PROTOCOL_ADDRESSES, menu::kProtocolAddresses,
                                               &M::onProtocolAddresses}}) {
    QAction* a = addCommand(display, id, menuText, slot);
    a->setCheckable(true);
    baseGroup_->addAction(a);
  }
  display->addSeparator();
  connect(addCommand(display, res::ID_DISPLAY_ERROR_COUNTERS, menu::kErrorCounters, nullptr), &QAction::triggered,
          this, [this] {
            if (CZelmorDoc* doc = activeZelmorDocument()) {
              CErrorCountersDlg dialog(doc->errorCounters(), doc->responseTimes(), this);
              dialog.exec();
            }
          });
  connect(addCommand(display, res::ID_DISPLAY_TREND, menu::kTrend, nullptr), &QAction::triggered, this, [this] {
    if (CZelmorDoc* doc = activeZelmorDocument()) CTrendWindow::openFor(doc, this);
  });
  // The traffic monitor works without an open document, so it also shows in the View menu.
  QAction* communication = addCommand(display, res::ID_DISPLAY_COMMUNICATION, menu::kCommunication, &M::onCommunication);

  QMenu* view = bar->addMenu(menu::kView);
  toolBar_ = addToolBar(tr("Toolbar"));
  toolBar_->setObjectName("toolbar");
  QAction* toolbarToggle = toolBar_->toggleViewAction();
  toolbarToggle->setText(menu::kToolbar);
  fw::SetCommandPrompt(toolbarToggle, res::PromptForCommand(res::ID_VIEW_TOOLBAR));
  view->addAction(toolbarToggle);
  actions_.insert(res::ID_VIEW_TOOLBAR, toolbarToggle);
  QAction* statusToggle = addCommand(view, res::ID_VIEW_STATUS_BAR, menu::kStatusBar, nullptr);
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  QAction* statistics = addCommand(view, res::ID_VIEW_STATISTICS, menu::kStatistics, nullptr);
  statistics->setCheckable(true);
  statistics->setChecked(CZelmorView::statisticsShown());
  connect(statistics, &QAction::toggled, this, &CMainFrame::onStatistics);
  QAction* onTop = addCommand(view, res::ID_VIEW_ALWAYS_ON_TOP, menu::kAlwaysOnTop, &M::onAlwaysOnTop);
  onTop->setCheckable(true);
  view->addSeparator();
  view->addAction(communication);

  QMenu* window = bar->addMenu(menu::kWindow);
  documentMenus_ << window;
  addCommand(window, res::ID_WINDOW_CASCADE, menu::kCascade, nullptr);
  connect(action(res::ID_WINDOW_CASCADE), &QAction::triggered, this, &fw::MdiMainWindow::cascade);
  addCommand(window, res::ID_WINDOW_TILE, menu::kTile, nullptr);
  connect(action(res::ID_WINDOW_TILE), &QAction::triggered, this, &fw::MdiMainWindow::tile);
  addCommand(window, res::ID_WINDOW_ARRANGE, menu::kArrangeIcons, nullptr);
  connect(action(res::ID_WINDOW_ARRANGE), &QAction::triggered, this, &fw::MdiMainWindow::arrangeIcons);

  QMenu* help = bar->addMenu(menu::kHelp);
  addCommand(help, res::ID_HELP_FINDER, menu::kHelpTopics, &M::onHelpTopics);
  action(res::ID_HELP_FINDER)->setShortcut(QKeySequence::HelpContents);
  addCommand(help, res::ID_HELP_WEB, menu::kOnTheWeb, &M::onWeb);
  help->addSeparator();
  addCommand(help, res::ID_APP_ABOUT, menu::kAbout, &M::onAbout);

  // Toolbar images, one file of resources/icons/toolbar per command; commands
  // without an action in this window are left out.
  const std::pair<int, const char*> icons[] = {
      {res::ID_FILE_NEW, "file_new"},
      {res::ID_FILE_OPEN, "file_open"},
      {res::ID_FILE_SAVE, "file_save"},
      {res::ID_FILE_PRINT, "file_print"},
      {res::ID_SETUP_RESET_COUNTERS, "reset_counters"},
      {res::ID_SETUP_POLL_DEFINITION, "poll_definition"},
      {res::ID_DISCONNECT, "disconnect"},
      {res::ID_QUICK_CONNECT, "quick_connect"},
      {res::ID_SETUP_READ_ONCE, "read_once"},
      {res::ID_DISPLAY_COMMUNICATION, "communication"},
      {res::ID_APP_ABOUT, "about"},
      {res::ID_WRITE_SINGLE_COIL, "write_single_coil"},
      {res::ID_WRITE_SINGLE_REGISTER, "write_single_register"},
      {res::ID_WRITE_MULTIPLE_COILS, "write_multiple_coils"},
      {res::ID_WRITE_MULTIPLE_REGISTERS, "write_multiple_registers"},
      {res::ID_MASK_WRITE_REGISTER, "mask_write_register"},
      {res::ID_READ_WRITE_REGISTERS, "read_write_registers"},
  };
  for (const auto& [id, name] : icons)
    if (QAction* command = action(id)) command->setIcon(suiteicons::ToolbarIcon(QLatin1String(name)));
  toolBar_->setIconSize(QSize(16, 16));

  // Toolbar: New, Open, Save, Print | Reset Counters | Poll Definition |
  // Disconnect, Quick Connect | Read Once, 05, 06, 15, 16, 22, 23 | Communication | About.
  for (int id : {int(res::ID_FILE_NEW), int(res::ID_FILE_OPEN), int(res::ID_FILE_SAVE), int(res::ID_FILE_PRINT), 0,
                 int(res::ID_SETUP_RESET_COUNTERS), 0, int(res::ID_SETUP_POLL_DEFINITION), 0,
                 int(res::ID_DISCONNECT), int(res::ID_QUICK_CONNECT), 0, int(res::ID_SETUP_READ_ONCE),
                 int(res::ID_WRITE_SINGLE_COIL), int(res::ID_WRITE_SINGLE_REGISTER), int(res::ID_WRITE_MULTIPLE_COILS),
                 int(res::ID_WRITE_MULTIPLE_REGISTERS), int(res::ID_MASK_WRITE_REGISTER),
                 int(res::ID_READ_WRITE_REGISTERS), 0,
                 int(res::ID_DISPLAY_COMMUNICATION), 0, int(res::ID_APP_ABOUT)}) {
    if (id == 0)
      toolBar_->addSeparator();
    else
      toolBar_->addAction(action(id));
  }
}

CZelmorDoc* CMainFrame::activeZelmorDocument() const { return qobject_cast<CZelmorDoc*>(activeDocument()); }

void CMainFrame::updateCommandUI() {
  CZelmorDoc* doc = activeZelmorDocument();
  bool hasDocument = doc != nullptr;
  bool connected = app_->isConnected();
  // While a TCP connect runs, no second connect, no disconnect and no workspace
  // load (which disconnects and reconnects) may start.
  bool connecting = app_->isConnecting();
  // Menu 129 while a document is open, 128 otherwise.
  for (QMenu* m : documentMenus_) m->menuAction()->setVisible(hasDocument);
  for (QAction* a : documentFileActions_) a->setEnabled(hasDocument);
  for (int id : {int(res::ID_SETUP_POLL_DEFINITION), int(res::ID_SETUP_FONT), int(res::ID_SETUP_COLOR),
                 int(res::ID_SETUP_RESET_COUNTERS), int(res::ID_SETUP_USE_AS_DEFAULT)})
    action(id)->setEnabled(hasDocument);
  action(res::ID_CONNECT)->setEnabled(!connected && !connecting);
  action(res::ID_QUICK_CONNECT)->setEnabled(!connected && !connecting);
  action(res::ID_DISCONNECT)->setEnabled(connected && !connecting);
  action(res::ID_FILE_OPEN_WORKSPACE)->setEnabled(!connecting);
  action(res::ID_AUTO_CONNECT_ENABLE)->setEnabled(app_->autoEnable() == 0);
  action(res::ID_AUTO_CONNECT_DISABLE)->setEnabled(app_->autoEnable() == 1);
  action(res::ID_SETUP_READ_ONCE)->setEnabled(hasDocument && doc->canReadOnce());
  action(res::ID_SETUP_LOG)->setEnabled(hasDocument && !doc->dataLog().active());
  action(res::ID_SETUP_LOGGING_OFF)->setEnabled(hasDocument && doc->dataLog().active());
  action(res::ID_FUNCTIONS_TEST_CENTER)->setEnabled(hasDocument && zelmor::LinkIsOpen());
  for (int id : {int(res::ID_WRITE_SINGLE_COIL), int(res::ID_WRITE_SINGLE_REGISTER), int(res::ID_WRITE_MULTIPLE_COILS),
                 int(res::ID_WRITE_MULTIPLE_REGISTERS), int(res::ID_MASK_WRITE_REGISTER),
                 int(res::ID_READ_WRITE_REGISTERS)})
    action(id)->setEnabled(hasDocument && zelmor::LinkIsOpen());
  action(res::ID_DISPLAY_ERROR_COUNTERS)->setEnabled(hasDocument);
  action(res::ID_DISPLAY_TREND)->setEnabled(hasDocument);
  action(res::ID_VIEW_STATISTICS)->setChecked(CZelmorView::statisticsShown());
  for (QAction* a : formatGroup_->actions()) a->setEnabled(hasDocument);
  for (QAction* a : baseGroup_->actions()) a->setEnabled(hasDocument);
  if (hasDocument) {
    action(res::kDisplayFormatCommands[doc->displayFormat()])->setChecked(true);
    action(doc->oneBased() ? res::ID_DISPLAY_PLC_ADDRESSES : res::ID_DISPLAY_PROTOCOL_ADDRESSES)->setChecked(true);
  }
  action(res::ID_DISPLAY_COMMUNICATION)->setEnabled(!linkui::TrafficMonitorDialog::isOpen());
  action(res::ID_VIEW_ALWAYS_ON_TOP)->setChecked(alwaysOnTop());
  // isHidden, not isVisible: before the window is shown every child reads as invisible,
  // and syncing the check mark from that would hide the status bar for good.
  action(res::ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
  if (connecting && statusBar()->currentMessage().isEmpty()) statusBar()->showMessage(app_->connectingText());
  QString pane = zelmor::CommPaneText(app_->settings());
  if (commPane_->text() != pane) commPane_->setText(pane);
}

fw::Document* CMainFrame::openDocument(const QString& path) {
  if (zelmor::LooksLikeWorkspace(path.toStdString())) {
    LoadWorkspace(*app_, path, true);
    updateCommandUI();
    return nullptr;
  }
  return fw::MdiMainWindow::openDocument(path);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  fw::MdiMainWindow::closeEvent(event);
  if (event->isAccepted()) idleTimer_->stop();
}

void CMainFrame::onOpenWorkspace() {
  QString path = fw::GetOpenFilePath(this, text::kOpenWorkspaceTitle, text::kWorkspaceFilter, "zmw",
                                     app_->workspaceName());
  if (path.isEmpty()) return;
  app_->setWorkspaceName(path);
  LoadWorkspace(*app_, path, true);
  updateCommandUI();
}

void CMainFrame::onSaveWorkspace() {
  QString path = fw::GetSaveFilePath(this, text::kSaveWorkspaceTitle, text::kWorkspaceFilter, "zmw",
                                     app_->workspaceName(), true);
  if (path.isEmpty()) return;
  SaveWorkspace(*app_, path);
}

void CMainFrame::onConnect() { app_->connectLink(true, this); }
void CMainFrame::onQuickConnect() { app_->connectLink(false, this); }
void CMainFrame::onDisconnect() { app_->disconnectLink(); }

void CMainFrame::onAutoEnable() {
  app_->setAutoEnable(1);
  updateCommandUI();
}

void CMainFrame::onAutoDisable() {
  app_->setAutoEnable(0);
  updateCommandUI();
}

void CMainFrame::onSerialPorts() {
  SerialPortsDialog dialog(this);
  dialog.exec();
}

void CMainFrame::onPollDefinition() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->showPollDefinitionDialog(this);
  updateCommandUI();
}

void CMainFrame::onFont() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->chooseFont(this);
}

void CMainFrame::onColor() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->chooseColor(this);
}

void CMainFrame::onResetCounters() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->resetCounters();
}

void CMainFrame::onUseAsDefault() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->useAsDefault();
}

void CMainFrame::onReadOnce() {
  CZelmorDoc* doc = activeZelmorDocument();
  if (doc != nullptr && doc->canReadOnce()) doc->readOnce();
}

// The writes need an open link; the idle update disables them without one,
// and a shortcut pressed in between must not open a dialog either.
void CMainFrame::onWriteSingleCoil() {
  CZelmorDoc* doc = activeZelmorDocument();
  if (doc != nullptr && zelmor::LinkIsOpen()) doc->writeSingleCoil(this);
}

void CMainFrame::onWriteSingleRegister() {
  CZelmorDoc* doc = activeZelmorDocument();
  if (doc != nullptr && zelmor::LinkIsOpen()) doc->writeSingleRegister(this);
}

void CMainFrame::onMaskWriteRegister() {
  CZelmorDoc* doc = activeZelmorDocument();
  if (doc != nullptr && zelmor::LinkIsOpen()) doc->maskWriteRegister(this);
}

void CMainFrame::onWriteMultipleCoils() { RunWriteMultipleCoils(activeZelmorDocument(), this); }

void CMainFrame::onWriteMultipleRegisters() { RunWriteMultipleRegisters(activeZelmorDocument(), this); }

void CMainFrame::onReadWriteRegisters() { RunReadWriteRegisters(activeZelmorDocument(), this); }

void CMainFrame::onPlcAddresses() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->setOneBased(true);
  updateCommandUI();
}

void CMainFrame::onProtocolAddresses() {
  if (CZelmorDoc* doc = activeZelmorDocument()) doc->setOneBased(false);
  updateCommandUI();
}

void CMainFrame::onCommunication() {
  linkui::TrafficMonitorDialog* monitor = linkui::TrafficMonitorDialog::open(trafficSource_.get(), this);
  if (monitor != nullptr) connect(monitor, &QObject::destroyed, this, &CMainFrame::updateCommandUI);
  updateCommandUI();
}

void CMainFrame::onStatistics(bool shown) {
  if (shown == CZelmorView::statisticsShown()) return;
  CZelmorView::setStatisticsShown(shown);
  fw::AppProfile().writeInt("View", "Statistics", shown ? 1 : 0);
  // The cells move down (or up) one line in every window; error lines stay.
  for (fw::Document* d : documents())
    if (auto* doc = qobject_cast<CZelmorDoc*>(d))
      if (auto* v = qobject_cast<CZelmorView*>(doc->firstView())) v->refreshLayout();
}

void CMainFrame::onAlwaysOnTop() {
  toggleAlwaysOnTop();
  updateCommandUI();
}

void CMainFrame::onHelpTopics() {
  // Beside the program in the build tree; under <prefix>/share/zelmor when installed.
  const QDir programDir(QCoreApplication::applicationDirPath());
  QString path = programDir.filePath("zelmor-help.html");
  const QString installed = QDir::cleanPath(programDir.filePath(ZELMOR_INSTALLED_HELP));
  if (!QFileInfo::exists(path) && QFileInfo::exists(installed)) path = installed;
  fw::OpenHelpFile(path);
}

void CMainFrame::onWeb() { fw::OpenUrl(text::kWebAddress); }

void CMainFrame::onAbout() { fw::ShowAboutBox(this, text::kProductName, SUITE_VERSION_TEXT); }
