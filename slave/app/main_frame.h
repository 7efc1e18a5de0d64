#pragma once
// CMainFrame: vantor's MDI main window: menus and accelerators, the status bar's
// link pane, the connection commands, the traffic monitor command and the
// workspace commands (the files themselves: workspace_io).
#include <QString>
#include <memory>

#include "framework/commands.h"
#include "framework/mdi.h"
#include "slave/app/traffic_source_vantor.h"

class CVantorApp;
class CVantorDoc;
class QAction;
class QLabel;
class QMenu;
class QToolBar;
class ReplayRunner;

// The child frame of a slave window adds nothing to the framework's frame.
using CChildFrame = fw::ChildFrame;

class CMainFrame : public fw::MdiMainWindow {
  Q_OBJECT

 public:
  CMainFrame(CVantorApp* app, fw::Profile* profile, QWidget* parent = nullptr);
  ~CMainFrame() override;

  CVantorApp* app() const { return app_; }
  CVantorDoc* activeVantorDoc() const;

  // Paths containing ".vnw" open as workspaces; anything else as a document.
  fw::Document* openDocument(const QString& path) override;

  // Loads a workspace. allowConnect: connect now when it was saved connected.
  // *wantsConnect (may be null) tells whether it was saved connected.
  bool loadWorkspace(const QString& path, bool allowConnect, bool* wantsConnect = nullptr);
  // Saves to path; a name whose extension is not "vnw" is refused with a message.
  bool saveWorkspace(const QString& path);

  QAction* action(int commandId) const;
  QString commPaneText() const;
  // What the network server serves ("RTU over TCP 127.0.0.1:1502"); "" otherwise.
  QString servingPaneText() const;
  // "Faults on" while some open definition has faults set; hidden otherwise.
  bool faultsPaneShown() const;
  // The replay of a recording into the open definitions (File > Replay Recording...).
  ReplayRunner* replayRunner() const { return replay_; }
  // "Replaying NAME, 12.3 s of 60.0 s" while a replay runs; hidden otherwise.
  QString replayPaneText() const;
  // Re-evaluates enabled and checked states (also done before menus open).
  void updateCommands();

 public slots:
  void openWorkspaceCommand();
  void saveWorkspaceCommand();
  void connectCommand();
  void quickConnectCommand();
  void disconnectCommand();
  void communicationCommand();
  void portPathsCommand();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // One per menu, in the menu bar's order.
  void createFileMenu();
  void replayRecordingCommand();
  void createConnectionMenu();
  void createSetupMenu();
  void createDisplayMenu();
  QToolBar* createViewMenu();
  void createWindowMenu();
  void createHelpMenu();
  void fillToolBar(QToolBar* toolBar);
  void updateStatus();

  CVantorApp* app_;
  VantorTrafficSource trafficSource_;
  QLabel* commPane_;
  QLabel* servingPane_;
  QLabel* faultsPane_;
  QLabel* replayPane_;
  ReplayRunner* replay_;
  QMenu* recentMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;
  fw::CommandSet commands_;
};
