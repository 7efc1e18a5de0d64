#pragma once
// CMainFrame: zelmor's MDI main window: menus, toolbar, status bar and the
// commands that are not a document's own. It follows the connection's signals;
// the command states are brought up to date on those, on a change of the
// active window and before a menu opens. CChildFrame is the framework's child
// frame as it is: one CZelmorView on one CZelmorDoc.
#include <QList>
#include <QString>
#include <memory>

#include "framework/commands.h"
#include "framework/mdi.h"

class CZelmorDoc;
class DeviceRecorder;
class ZelmorConnection;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QToolBar;
class ZelmorTrafficSource;

using CChildFrame = fw::ChildFrame;

class CMainFrame : public fw::MdiMainWindow {
  Q_OBJECT

 public:
  CMainFrame(ZelmorConnection* connection, fw::Profile* profile);
  ~CMainFrame() override;

  // Workspaces (".zmw" anywhere in the path) load as workspaces, everything else as documents.
  fw::Document* openDocument(const QString& path) override;

  CZelmorDoc* activeZelmorDocument() const;
  // The action of a command id (tests trigger menu commands through it).
  QAction* action(int commandId) const { return commands_.action(commandId); }
  QLabel* commPane() const { return commPane_; }
  // Setup > Record Device and its status-bar pane ("Recording: N rows", hidden otherwise).
  DeviceRecorder* recorder() const { return recorder_; }
  QLabel* recordPane() const { return recordPane_; }
  QToolBar* toolBar() const { return toolBar_; }

 public slots:
  // Enabling, check marks and the communication pane.
  void updateCommandUI();

 private:
  // One per menu, in the menu bar's order; the Display menu's Communication
  // command shows in the View menu too.
  void createFileMenu();
  void createConnectionMenu();
  void createSetupMenu();
  void createFunctionsMenu();
  QAction* createDisplayMenu();
  void createRegisterMapCommands(QMenu* display);
  void createViewMenu(QAction* communication);
  void createWindowMenu();
  void createHelpMenu();
  void createToolBar();
  void onConnectingChanged(bool connecting);
  // While a TCP connect runs its message stays in the status bar (a menu's
  // status tip may clear it).
  void showConnectingMessage();
  void onOpenWorkspace();
  void onSaveWorkspace();
  void onRecordDevice();
  void showRecordedRows();
  void onConnect();
  void onQuickConnect();
  void onDisconnect();
  void onAutoEnable();
  void onAutoDisable();
  void onSerialPorts();
  void onPollDefinition();
  void onFont();
  void onColor();
  void onResetCounters();
  void onUseAsDefault();
  void onReadOnce();
  void onWriteSingleCoil();
  void onWriteSingleRegister();
  void onMaskWriteRegister();
  void onWriteMultipleCoils();
  void onWriteMultipleRegisters();
  void onReadWriteRegisters();
  void onPlcAddresses();
  void onProtocolAddresses();
  void onCommunication();
  void onBusScan();
  void onRegisterScan();
  void onStatistics(bool shown);
  void onAlwaysOnTop();
  void onHelpTopics();
  void onWeb();
  void onAbout();

  ZelmorConnection* connection_;
  fw::CommandSet commands_;
  QString workspaceName_;  // proposed by the workspace dialogs
  QActionGroup* formatGroup_ = nullptr;
  QActionGroup* baseGroup_ = nullptr;
  QList<QMenu*> documentMenus_;
  QList<QAction*> documentFileActions_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* commPane_ = nullptr;
  DeviceRecorder* recorder_ = nullptr;
  QLabel* recordPane_ = nullptr;
  std::unique_ptr<ZelmorTrafficSource> trafficSource_;
};
