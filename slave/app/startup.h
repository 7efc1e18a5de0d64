#pragma once
// vantor's start-up: settings, document template, main window, command line and
// automatic connection, in that order.
#include <QStringList>
#include <memory>

class CMainFrame;
class CVantorApp;
class VantorApplicationObject;

namespace fw {
class AutomationHost;
class DocumentTemplate;
}

struct VantorCommandLine {
  QStringList paths;      // .vnd documents and .vnw workspaces, opened in this order
  QString listenAddress;  // --listen ADDRESS:PORT (for this run only)
  int listenPort = 0;     // 0: not given
  bool automation = false;  // --automation, -Automation, -Embedding: serve the bus hidden
  QString error;          // non-empty for a bad command line
};

// Arguments after the program name.
VantorCommandLine ParseVantorCommandLine(const QStringList& arguments);

// The running program's objects, created by StartVantor.
struct VantorProgram {
  VantorProgram();
  ~VantorProgram();  // main frame first, then the application object
  std::unique_ptr<CVantorApp> app;
  std::unique_ptr<fw::DocumentTemplate> documentTemplate;
  std::unique_ptr<CMainFrame> mainFrame;
  // The session-bus server (null when not serving).
  std::unique_ptr<fw::AutomationHost> automation;
  std::unique_ptr<VantorApplicationObject> automationObject;
};

// Needs a QApplication and fw::InitApplication. False when start-up fails
// (the command line's document could not be opened).
bool StartVantor(const VantorCommandLine& commandLine, VantorProgram* program, bool show = true);
