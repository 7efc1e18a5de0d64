#pragma once
// CMainFrame: zelmor's MDI main window: menus, toolbar, status bar and the
// commands that are not a document's own. CChildFrame is the framework's child
// frame as it is: one CZelmorView on one CZelmorDoc.
#include <QHash>
#include <memory>

#include "framework/mdi.h"

class CZelmorApp;
class CZelmorDoc;
class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class ZelmorTrafficSource;

using CChildFrame = fw::ChildFrame;

class CMainFrame : public fw::MdiMainWindow {
  Q_OBJECT

 public:
  CMainFrame(CZelmorApp* app, fw::Profile* profile);
  ~CMainFrame() override;

  // Workspaces (".zmw" anywhere in the path) load as workspaces, everything else as documents.
  fw::Document* openDocument(const QString& path) override;

  CZelmorDoc* activeZelmorDocument() const;
  // The action of a command id (tests trigger menu commands through it).
  QAction* action(int commandId) const { return actions_.value(commandId); }
  QLabel* commPane() const { return commPane_; }
  QToolBar* toolBar() const { return toolBar_; }

 public slots:
  // Enabling, check marks and the communication pane (the idle update).
  void updateCommandUI();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QAction* addCommand(QMenu* menu, int id, const char* text, void (CMainFrame::*slot)());
  void createActions();
  void onOpenWorkspace();
  void onSaveWorkspace();
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
  void onStatistics(bool shown);
  void onAlwaysOnTop();
  void onHelpTopics();
  void onWeb();
  void onAbout();

  CZelmorApp* app_;
  QHash<int, QAction*> actions_;
  QActionGroup* formatGroup_ = nullptr;
  QActionGroup* baseGroup_ = nullptr;
  QList<QMenu*> documentMenus_;
  QList<QAction*> documentFileActions_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QLabel* commPane_ = nullptr;
  QTimer* idleTimer_ = nullptr;
  std::unique_ptr<ZelmorTrafficSource> trafficSource_;
};
