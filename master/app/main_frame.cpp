#include "master/app/main_frame.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "framework/application.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/recent_files.h"
#include "framework/traffic/traffic_monitor.h"
#include "master/app/bus_scan_dialog.h"
#include "master/app/comm_profile.h"
#include "master/app/connection_dialog.h"
#include "master/core/engine_glue.h"
#include "master/app/data_log_dialog.h"
#include "master/app/device_recorder.h"
#include "master/app/device_id_dialog.h"
#include "master/app/error_counters_dialog.h"
#include "master/app/frame_decoder_dialog.h"
#include "master/app/multiple_write_dialogs.h"
#include "master/app/poll_map_commands.h"
#include "master/app/register_scan_dialog.h"
#include "master/app/test_center_dialog.h"
#include "master/app/traffic_source_zelmor.h"
#include "master/app/trend_window.h"
#include "master/app/workspace_io.h"
#include "master/app/zelmor_connection.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"
#include "resources/icons/suite_icons.h"
#include "resources/zelmor_prompts.h"
#include "resources/value_order_texts.h"
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
constexpr int kRecordPaneRefreshMs = 500;  // the row count, not at every row

}  // namespace

CMainFrame::CMainFrame(ZelmorConnection* connection, fw::Profile* profile)
    : fw::MdiMainWindow(profile, kRecentFiles),
      connection_(connection),
      commands_(this, &res::PromptForCommand),
      workspaceName_(text::kDefaultWorkspaceName),
      trafficSource_(std::make_unique<ZelmorTrafficSource>()) {
  recorder_ = new DeviceRecorder(connection_, this);
  recorder_->setMessageParent(this);
  readPosition();
  setAlwaysOnTop(profile->readIntInRange("View", "AlwaysOnTop", 0, 0, 1) == 1);
  CZelmorView::setStatisticsShown(profile->readIntInRange("View", "Statistics", 0, 0, 1) == 1);
  createFileMenu();
  createConnectionMenu();
  createSetupMenu();
  createFunctionsMenu();
  createViewMenu(createDisplayMenu());
  createWindowMenu();
  createHelpMenu();
  createToolBar();
  commPane_ = new QLabel(text::kCommPaneDefault, this);
  // The serial and Modbus/TCP texts fit the pane's width; a transport's name
  // with its host ("RTU over TCP 127.0.0.1:502") widens it.
  commPane_->setMinimumWidth(kCommPaneWidth);
  statusBar()->addPermanentWidget(commPane_);
  recordPane_ = new QLabel(this);
  recordPane_->hide();
  statusBar()->addPermanentWidget(recordPane_);
  auto* recordRefresh = new QTimer(this);
  recordRefresh->setInterval(kRecordPaneRefreshMs);
  connect(recordRefresh, &QTimer::timeout, this, &CMainFrame::showRecordedRows);
  connect(recorder_, &DeviceRecorder::activeChanged, this, [this, recordRefresh](bool active) {
    if (active) recordRefresh->start(); else recordRefresh->stop();
    showRecordedRows();
    updateCommandUI();
  });
  connect(connection_, &ZelmorConnection::connectionChanged, this, &CMainFrame::updateCommandUI);
  connect(connection_, &ZelmorConnection::connectingChanged, this, &CMainFrame::onConnectingChanged);
  connect(statusBar(), &QStatusBar::messageChanged, this, &CMainFrame::showConnectingMessage);
  connect(this, &fw::MdiMainWindow::documentsChanged, this, &CMainFrame::updateCommandUI);
  connect(this, &fw::MdiMainWindow::activeDocumentChanged, this, &CMainFrame::updateCommandUI);
  for (QMenu* menu : menuBar()->findChildren<QMenu*>())
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandUI);
  connect(recentFiles(), &fw::RecentFileList::changed, this,
          [this] { recentFiles()->fillMenu(fileMenu_, recentAnchor_); });
  recentFiles()->fillMenu(fileMenu_, recentAnchor_);
  updateCommandUI();
}

CMainFrame::~CMainFrame() {
  if (auto* monitor = linkui::TrafficMonitorDialog::instance()) delete monitor;
}

void CMainFrame::createFileMenu() {
  fileMenu_ = menuBar()->addMenu(menu::kFile);
  commands_.add(fileMenu_, res::ID_FILE_NEW, menu::kNew, [this] { fileNew(); });
  commands_.add(fileMenu_, res::ID_FILE_OPEN, menu::kOpen, [this] { fileOpen(); });
  documentFileActions_ << commands_.add(fileMenu_, res::ID_FILE_CLOSE, menu::kClose, [this] { fileClose(); });
  documentFileActions_ << commands_.add(fileMenu_, res::ID_FILE_SAVE, menu::kSave, [this] { fileSave(); });
  documentFileActions_ << commands_.add(fileMenu_, res::ID_FILE_SAVE_AS, menu::kSaveAs, [this] { fileSaveAs(); });
  fileMenu_->addSeparator();
  commands_.add(fileMenu_, res::ID_FILE_OPEN_WORKSPACE, menu::kOpenWorkspace, [this] { onOpenWorkspace(); });
  commands_.add(fileMenu_, res::ID_FILE_SAVE_WORKSPACE, menu::kSaveWorkspace, [this] { onSaveWorkspace(); });
  fileMenu_->addSeparator();
  documentFileActions_ << commands_.add(fileMenu_, res::ID_FILE_PRINT, menu::kPrint, [this] { filePrint(); });
  documentFileActions_ << commands_.add(fileMenu_, res::ID_FILE_PRINT_PREVIEW, menu::kPrintPreview,
                                        [this] { filePrintPreview(); });
  commands_.add(fileMenu_, res::ID_FILE_PRINT_SETUP, menu::kPrintSetup, [this] { filePrintSetup(); });
  fileMenu_->addSeparator();
  recentAnchor_ = fileMenu_->addSeparator();
  commands_.add(fileMenu_, res::ID_APP_EXIT, menu::kExit, [this] { fileExit(); });
}

void CMainFrame::createConnectionMenu() {
  QMenu* connection = menuBar()->addMenu(menu::kConnection);
  commands_.add(connection, res::ID_CONNECT, menu::kConnect, [this] { onConnect(); });
  commands_.add(connection, res::ID_DISCONNECT, menu::kDisconnect, [this] { onDisconnect(); });
  QMenu* autoMenu = connection->addMenu(menu::kAutoConnect);
  commands_.add(autoMenu, res::ID_AUTO_CONNECT_ENABLE, menu::kAutoEnable, [this] { onAutoEnable(); });
  commands_.add(autoMenu, res::ID_AUTO_CONNECT_DISABLE, menu::kAutoDisable, [this] { onAutoDisable(); });
  commands_.add(connection, res::ID_QUICK_CONNECT, menu::kQuickConnect, [this] { onQuickConnect(); });
  connection->addSeparator();
  commands_.add(connection, res::ID_SERIAL_PORTS, menu::kSerialPorts, [this] { onSerialPorts(); });
  commands_.add(connection, res::ID_BUS_SCAN, res::scan::kMenuScan, [this] { onBusScan(); });
}

void CMainFrame::createSetupMenu() {
  QMenu* setup = menuBar()->addMenu(menu::kSetup);
  documentMenus_ << setup;
  commands_.add(setup, res::ID_SETUP_POLL_DEFINITION, menu::kPollDefinition, [this] { onPollDefinition(); });
  QMenu* options = setup->addMenu(menu::kOptions);
  commands_.add(options, res::ID_SETUP_FONT, menu::kFont, [this] { onFont(); });
  commands_.add(options, res::ID_SETUP_COLOR, menu::kColor, [this] { onColor(); });
  // Data logging of the active window.
  commands_.add(setup, res::ID_SETUP_LOG, menu::kLog, [this] {
    StartLogging(activeZelmorDocument(), this);
    updateCommandUI();
  });
  commands_.add(setup, res::ID_SETUP_LOGGING_OFF, menu::kLoggingOff, [this] {
    StopLogging(activeZelmorDocument());
    updateCommandUI();
  });
  commands_.add(setup, res::ID_SETUP_RECORD_DEVICE, menu::kRecordDevice, [this] { onRecordDevice(); })
      ->setCheckable(true);
  setup->addSeparator();
  commands_.add(setup, res::ID_SETUP_RESET_COUNTERS, menu::kResetCounters, [this] { onResetCounters(); });
  commands_.add(setup, res::ID_SETUP_USE_AS_DEFAULT, menu::kUseAsDefault, [this] { onUseAsDefault(); });
}

void CMainFrame::createFunctionsMenu() {
  QMenu* functions = menuBar()->addMenu(menu::kFunctions);
  documentMenus_ << functions;
  commands_.add(functions, res::ID_SETUP_READ_ONCE, menu::kReadOnce, [this] { onReadOnce(); });
  functions->addSeparator();
  commands_.add(functions, res::ID_WRITE_SINGLE_COIL, menu::kWriteSingleCoil, [this] { onWriteSingleCoil(); });
  commands_.add(functions, res::ID_WRITE_SINGLE_REGISTER, menu::kWriteSingleRegister,
                [this] { onWriteSingleRegister(); });
  commands_.add(functions, res::ID_WRITE_MULTIPLE_COILS, menu::kWriteMultipleCoils,
                [this] { onWriteMultipleCoils(); });
  commands_.add(functions, res::ID_WRITE_MULTIPLE_REGISTERS, menu::kWriteMultipleRegisters,
                [this] { onWriteMultipleRegisters(); });
  commands_.add(functions, res::ID_MASK_WRITE_REGISTER, menu::kMaskWriteRegister, [this] { onMaskWriteRegister(); });
  commands_.add(functions, res::ID_READ_WRITE_REGISTERS, menu::kReadWriteRegisters,
                [this] { onReadWriteRegisters(); });
  functions->addSeparator();
  commands_.add(functions, res::ID_FUNCTIONS_TEST_CENTER, menu::kTestCenter, [this] {
    if (activeZelmorDocument() != nullptr && zelmor::LinkIsOpen()) RunTestCenter(this);
  });
  commands_.add(functions, res::ID_REGISTER_SCAN, res::scan::kMenuRegisterScan, [this] { onRegisterScan(); });

  commands_.add(functions, res::ID_FUNCTIONS_DEVICE_ID, menu::kDeviceIdentification, [this] {
    if (activeZelmorDocument() != nullptr && zelmor::LinkIsOpen())
      RunDeviceIdentification(zelmor::LinkOf(connection_->settings()), this);
  });
}

QAction* CMainFrame::createDisplayMenu() {
  QMenu* display = menuBar()->addMenu(menu::kDisplay);
  documentMenus_ << display;
  formatGroup_ = new QActionGroup(this);
  for (int format = 0; format < 10; ++format) {
    QAction* a = commands_.add(display, res::kDisplayFormatCommands[format], res::kDisplayFormatMenuTexts[format],
                               [this, format] {
                                 if (CZelmorDoc* doc = activeZelmorDocument()) doc->setDisplayFormat(format);
                                 updateCommandUI();
                               });
    a->setCheckable(true);
    formatGroup_->addAction(a);
  }
  QMenu* orders = display->addMenu(ordertexts::kOtherOrdersMenu);
  for (int format = ordertexts::kFirstFormat; format < valuefmt::kAllFormatCount; ++format) {
    const int k = format - ordertexts::kFirstFormat;
    QAction* a = commands_.add(orders, ordertexts::kFormatCommandIds[k], ordertexts::kFormatMenuTexts[k],
                               [this, format] {
                                 if (CZelmorDoc* doc = activeZelmorDocument()) doc->setDisplayFormat(format);
                                 updateCommandUI();
                               });
    a->setCheckable(true);
    formatGroup_->addAction(a);
  }
  display->addSeparator();
  baseGroup_ = new QActionGroup(this);
  for (QAction* a : {commands_.add(display, res::ID_DISPLAY_PLC_ADDRESSES, menu::kPlcAddresses,
                                   [this] { onPlcAddresses(); }),
                     commands_.add(display, res::ID_DISPLAY_PROTOCOL_ADDRESSES, menu::kProtocolAddresses,
                                   [this] { onProtocolAddresses(); })}) {
    a->setCheckable(true);
    baseGroup_->addAction(a);
  }
  display->addSeparator();
  commands_.add(display, res::ID_DISPLAY_ERROR_COUNTERS, menu::kErrorCounters, [this] {
    if (CZelmorDoc* doc = activeZelmorDocument()) {
      CErrorCountersDlg dialog(doc->errorCounters(), doc->responseTimes(), this);
      dialog.exec();
    }
  });
  commands_.add(display, res::ID_DISPLAY_TREND, menu::kTrend, [this] {
    if (CZelmorDoc* doc = activeZelmorDocument()) CTrendWindow::openFor(doc, this);
  });
  createRegisterMapCommands(display);
  return commands_.add(display, res::ID_DISPLAY_COMMUNICATION, menu::kCommunication, [this] { onCommunication(); });
}

void CMainFrame::createRegisterMapCommands(QMenu* display) {
  display->addSeparator();
  commands_.add(display, res::ID_DISPLAY_ATTACH_MAP, menu::kAttachRegisterMap, [this] {
    if (CZelmorDoc* doc = activeZelmorDocument()) pollmap::AttachRegisterMap(doc, this);
  });
  commands_.add(display, res::ID_DISPLAY_EXPORT_MAP, menu::kExportRegisterMap, [this] {
    if (CZelmorDoc* doc = activeZelmorDocument()) pollmap::ExportPollValues(doc, this);
  });
  QAction* names = commands_.add(display, res::ID_DISPLAY_MAP_NAMES, menu::kRegisterMapNames);
  names->setCheckable(true);
  connect(names, &QAction::toggled, this, [this](bool shown) {
    CZelmorView::setNamesShown(shown);
    for (fw::Document* d : documents())
      if (auto* doc = qobject_cast<CZelmorDoc*>(d))
        if (auto* v = qobject_cast<CZelmorView*>(doc->firstView())) v->refreshLayout();
  });
}

void CMainFrame::createViewMenu(QAction* communication) {
  QMenu* view = menuBar()->addMenu(menu::kView);
  toolBar_ = addToolBar(tr("Toolbar"));
  toolBar_->setObjectName("toolbar");
  commands_.adopt(view, res::ID_VIEW_TOOLBAR, toolBar_->toggleViewAction(), menu::kToolbar);
  QAction* statusToggle = commands_.add(view, res::ID_VIEW_STATUS_BAR, menu::kStatusBar);
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  QAction* statistics = commands_.add(view, res::ID_VIEW_STATISTICS, menu::kStatistics);
  statistics->setCheckable(true);
  statistics->setChecked(CZelmorView::statisticsShown());
  connect(statistics, &QAction::toggled, this, &CMainFrame::onStatistics);
  QAction* onTop = commands_.add(view, res::ID_VIEW_ALWAYS_ON_TOP, menu::kAlwaysOnTop, [this] { onAlwaysOnTop(); });
  onTop->setCheckable(true);
  view->addSeparator();
  // The traffic monitor works without an open document, so it also shows here.
  view->addAction(communication);
}

void CMainFrame::createWindowMenu() {
  QMenu* window = menuBar()->addMenu(menu::kWindow);
  documentMenus_ << window;
  commands_.add(window, res::ID_WINDOW_CASCADE, menu::kCascade, [this] { cascade(); });
  commands_.add(window, res::ID_WINDOW_TILE, menu::kTile, [this] { tile(); });
  commands_.add(window, res::ID_WINDOW_ARRANGE, menu::kArrangeIcons, [this] { arrangeIcons(); });
  listWindowsIn(window);
}

void CMainFrame::createHelpMenu() {
  QMenu* help = menuBar()->addMenu(menu::kHelp);
  commands_.add(help, res::ID_HELP_FINDER, menu::kHelpTopics, [this] { onHelpTopics(); })
      ->setShortcut(QKeySequence::HelpContents);
  commands_.add(help, res::ID_HELP_WEB, menu::kOnTheWeb, [this] { onWeb(); });
  help->addSeparator();
  commands_.add(help, res::ID_APP_ABOUT, menu::kAbout, [this] { onAbout(); });
}

void CMainFrame::createToolBar() {
  // New, Open, Save, Print | Reset Counters | Poll Definition | Disconnect,
  // Quick Connect | Read Once, 05, 06, 15, 16, 22, 23 | Communication | About;
  // one image of resources/icons/toolbar per command.
  commands_.fillToolBar(toolBar_,
                        {{res::ID_FILE_NEW, "file_new"},
                         {res::ID_FILE_OPEN, "file_open"},
                         {res::ID_FILE_SAVE, "file_save"},
                         {res::ID_FILE_PRINT, "file_print"},
                         {},
                         {res::ID_SETUP_RESET_COUNTERS, "reset_counters"},
                         {},
                         {res::ID_SETUP_POLL_DEFINITION, "poll_definition"},
                         {},
                         {res::ID_DISCONNECT, "disconnect"},
                         {res::ID_QUICK_CONNECT, "quick_connect"},
                         {},
                         {res::ID_SETUP_READ_ONCE, "read_once"},
                         {res::ID_WRITE_SINGLE_COIL, "write_single_coil"},
                         {res::ID_WRITE_SINGLE_REGISTER, "write_single_register"},
                         {res::ID_WRITE_MULTIPLE_COILS, "write_multiple_coils"},
                         {res::ID_WRITE_MULTIPLE_REGISTERS, "write_multiple_registers"},
                         {res::ID_MASK_WRITE_REGISTER, "mask_write_register"},
                         {res::ID_READ_WRITE_REGISTERS, "read_write_registers"},
                         {},
                         {res::ID_DISPLAY_COMMUNICATION, "communication"},
                         {},
                         {res::ID_APP_ABOUT, "about"}},
                        [](const char* name) { return suiteicons::ToolbarIcon(QLatin1String(name)); });
}

void CMainFrame::onConnectingChanged(bool connecting) {
  if (!connecting) statusBar()->clearMessage();
  updateCommandUI();
}

void CMainFrame::showConnectingMessage() {
  if (connection_->isConnecting() && statusBar()->currentMessage().isEmpty())
    statusBar()->showMessage(connection_->connectingText());
}

CZelmorDoc* CMainFrame::activeZelmorDocument() const { return qobject_cast<CZelmorDoc*>(activeDocument()); }

void CMainFrame::updateCommandUI() {
  CZelmorDoc* doc = activeZelmorDocument();
  bool hasDocument = doc != nullptr;
  bool connected = connection_->isConnected();
  // While a TCP connect runs, no second connect, no disconnect and no workspace
  // load (which disconnects and reconnects) may start.
  bool connecting = connection_->isConnecting();
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
  action(res::ID_AUTO_CONNECT_ENABLE)->setEnabled(connection_->autoEnable() == 0);
  action(res::ID_AUTO_CONNECT_DISABLE)->setEnabled(connection_->autoEnable() == 1);
  action(res::ID_SETUP_READ_ONCE)->setEnabled(hasDocument && doc->canReadOnce());
  action(res::ID_SETUP_LOG)->setEnabled(hasDocument && !doc->dataLog().active());
  action(res::ID_SETUP_LOGGING_OFF)->setEnabled(hasDocument && doc->dataLog().active());
  action(res::ID_SETUP_RECORD_DEVICE)->setEnabled(recorder_->active() || (hasDocument && connected));
  action(res::ID_SETUP_RECORD_DEVICE)->setChecked(recorder_->active());
  action(res::ID_FUNCTIONS_TEST_CENTER)->setEnabled(hasDocument && zelmor::LinkIsOpen());
  action(res::ID_FUNCTIONS_DEVICE_ID)->setEnabled(hasDocument && zelmor::LinkIsOpen());
  for (int id : {int(res::ID_WRITE_SINGLE_COIL), int(res::ID_WRITE_SINGLE_REGISTER), int(res::ID_WRITE_MULTIPLE_COILS),
                 int(res::ID_WRITE_MULTIPLE_REGISTERS), int(res::ID_MASK_WRITE_REGISTER),
                 int(res::ID_READ_WRITE_REGISTERS)})
    action(id)->setEnabled(hasDocument && zelmor::LinkIsOpen());
  action(res::ID_DISPLAY_ERROR_COUNTERS)->setEnabled(hasDocument);
  action(res::ID_DISPLAY_TREND)->setEnabled(hasDocument);
  action(res::ID_DISPLAY_ATTACH_MAP)->setEnabled(hasDocument);
  action(res::ID_DISPLAY_EXPORT_MAP)->setEnabled(hasDocument);
  action(res::ID_VIEW_STATISTICS)->setChecked(CZelmorView::statisticsShown());
  for (QAction* a : formatGroup_->actions()) a->setEnabled(hasDocument);
  for (QAction* a : baseGroup_->actions()) a->setEnabled(hasDocument);
  if (hasDocument) {
    action(ordertexts::CommandIdOf(res::kDisplayFormatCommands, doc->displayFormat()))->setChecked(true);
    action(doc->oneBased() ? res::ID_DISPLAY_PLC_ADDRESSES : res::ID_DISPLAY_PROTOCOL_ADDRESSES)->setChecked(true);
  }
  action(res::ID_DISPLAY_COMMUNICATION)->setEnabled(!linkui::TrafficMonitorDialog::isOpen());
  action(res::ID_VIEW_ALWAYS_ON_TOP)->setChecked(alwaysOnTop());
  // isHidden, not isVisible: before the window is shown every child reads as invisible,
  // and syncing the check mark from that would hide the status bar for good.
  action(res::ID_VIEW_STATUS_BAR)->setChecked(!statusBar()->isHidden());
  showConnectingMessage();
  QString pane = zelmor::CommPaneText(connection_->settings());
  if (commPane_->text() != pane) commPane_->setText(pane);
}

fw::Document* CMainFrame::openDocument(const QString& path) {
  if (zelmor::LooksLikeWorkspace(path.toStdString())) {
    LoadWorkspace(*this, *connection_, path, true);
    updateCommandUI();
    return nullptr;
  }
  return fw::MdiMainWindow::openDocument(path);
}

void CMainFrame::onOpenWorkspace() {
  QString path = fw::GetOpenFilePath(this, text::kOpenWorkspaceTitle, text::kWorkspaceFilter, "zmw",
                                     workspaceName_);
  if (path.isEmpty()) return;
  workspaceName_ = path;
  LoadWorkspace(*this, *connection_, path, true);
  updateCommandUI();
}

void CMainFrame::onSaveWorkspace() {
  QString path = fw::GetSaveFilePath(this, text::kSaveWorkspaceTitle, text::kWorkspaceFilter, "zmw",
                                     workspaceName_, true);
  if (path.isEmpty()) return;
  SaveWorkspace(*this, connection_->settings(), path, &workspaceName_);
}

void CMainFrame::onRecordDevice() {
  if (recorder_->active()) {
    recorder_->stop();
    return;
  }
  QList<CZelmorDoc*> windows;
  for (fw::Document* d : documents())
    if (auto* doc = qobject_cast<CZelmorDoc*>(d)) windows << doc;
  if (!windows.isEmpty() && connection_->isConnected()) {
    fw::FileDialogRequest request;
    request.save = true;
    request.title = text::kRecordingTitle;
    request.filter = text::kRecordingFilter;
    request.defaultExtension = text::kRecordingExtension;
    request.initialName = text::kRecordingFileName;
    request.directory = LogStartFolder(QString());
    const QString path = fw::ChooseFile(this, request);
    QString error;
    if (!path.isEmpty() && !recorder_->start(path, windows, &error))
      fw::ShowMessage(path + QStringLiteral(": ") + error, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    // The maps of the recorded windows go beside the recording, for the one who replays it.
    if (recorder_->active()) {
      pollmap::ExportRecordingMaps(path, windows, &error);
      if (!error.isEmpty()) fw::ShowMessage(error, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    }
  }
  updateCommandUI();
}

void CMainFrame::showRecordedRows() {
  recordPane_->setVisible(recorder_->active());
  if (recorder_->active())
    recordPane_->setText(QString::fromLatin1(text::kRecordingRows).arg(recorder_->rows()));
}

void CMainFrame::onConnect() { connection_->connectLink(true, this); }
void CMainFrame::onQuickConnect() { connection_->connectLink(false, this); }
void CMainFrame::onDisconnect() { connection_->disconnectLink(); }

void CMainFrame::onAutoEnable() {
  connection_->setAutoEnable(1);
  updateCommandUI();
}

void CMainFrame::onAutoDisable() {
  connection_->setAutoEnable(0);
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

// The writes need an open link; the command update disables them without one,
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

void CMainFrame::onRegisterScan() {
  CZelmorDoc* active = activeZelmorDocument();
  auto* dialog = new CRegisterScanDlg(active != nullptr ? active->data().slaveId : 1, connection_->settings().timeout,
                                      [this](int slave, int function, int address, int length) {
                                        if (auto* doc = dynamic_cast<CZelmorDoc*>(newDocument()))
                                          doc->takeRequest(slave, function, address, length, 1000, false);
                                      },
                                      this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

void CMainFrame::onBusScan() {
  auto* dialog = new CBusScanDlg(connection_, [this](int slave, int function, int address, int length) {
    if (auto* doc = dynamic_cast<CZelmorDoc*>(newDocument())) doc->takeRequest(slave, function, address, length, 1000, false);
  }, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->show();
}

namespace {

// Decode Frame in the traffic monitor's context menu: the selected line.
void AddFrameDecoderAction(linkui::TrafficMonitorDialog* monitor) {
  QListWidget* list = monitor->list();
  if (list->findChild<QAction*>("decodeFrame") != nullptr) return;
  auto* decode = new QAction(res::scan::kDecodeAction, list);
  decode->setObjectName("decodeFrame");
  list->setContextMenuPolicy(Qt::ActionsContextMenu);
  list->addAction(decode);
  QObject::connect(decode, &QAction::triggered, monitor, [monitor, list] {
    if (list->currentItem() == nullptr) return;
    int direction = 0;
    const QString text = CFrameDecoderDlg::FrameTextOfLine(list->currentItem()->text(), &direction);
    auto* dialog = new CFrameDecoderDlg(text, direction, monitor);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
  });
}

}  // namespace

void CMainFrame::onCommunication() {
  linkui::TrafficMonitorDialog* monitor = linkui::TrafficMonitorDialog::open(trafficSource_.get(), this);
  if (monitor != nullptr) AddFrameDecoderAction(monitor);
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
