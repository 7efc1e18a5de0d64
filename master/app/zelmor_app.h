#pragma once
// CZelmorApp: the communication settings and the link's state, Auto Connect,
// the start-up order and the exit order of zelmor.
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "master/app/core/zelmor_files.h"

class CMainFrame;
class QWidget;

namespace fw {
class DocumentTemplate;
}

class CZelmorApp : public QObject {
  Q_OBJECT

 public:
  CZelmorApp();
  ~CZelmorApp() override;

  // Start-up after the QApplication and the profile exist. args: the command
  // line without the program name. False when start-up failed.
  bool initInstance(const QStringList& args);
  // Closes the link and stops the poll thread.
  void exitInstance();

  CMainFrame* mainFrame() const { return mainFrame_.get(); }
  fw::DocumentTemplate* documentTemplate() const { return template_.get(); }

  // ---- Communication ----
  const zelmor::CommSettings& settings() const { return settings_; }
  void setSettings(const zelmor::CommSettings& settings) { settings_ = settings; }
  bool isConnected() const { return settings_.connected != 0; }
  // Connect (with the dialog) or quick connect (without). Shows the failure
  // message; writes the profile only after a successful connection made with
  // the dialog. True when connected.
  bool connectLink(bool withDialog, QWidget* parent);
  void disconnectLink();

  int autoEnable() const { return autoEnable_; }
  void setAutoEnable(int enable);

  QString workspaceName() const { return workspaceName_; }
  void setWorkspaceName(const QString& name) { workspaceName_ = name; }

 private:
  zelmor::CommSettings settings_;
  int autoEnable_ = 0;
  QString workspaceName_;
  std::unique_ptr<fw::DocumentTemplate> template_;
  std::unique_ptr<CMainFrame> mainFrame_;
};

// The one application object (set by the constructor).
CZelmorApp* ZelmorApp();
