#include "slave/app/startup.h"

#include <QCoreApplication>
#include <QStatusBar>
#include <cstdio>

#include "framework/automation.h"
#include "framework/document.h"
#include "framework/profile.h"
#include "resources/vantor_resources.h"
#include "slave/app/automation_vantor.h"
#include "slave/app/main_frame.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/app/vantor_view.h"
#include "slave/core/vnw_file.h"

VantorProgram::VantorProgram() = default;

VantorProgram::~VantorProgram() {
  mainFrame.reset();
  automationObject.reset();
  automation.reset();
  documentTemplate.reset();
  app.reset();
}

VantorCommandLine ParseVantorCommandLine(const QStringList& arguments) {
  VantorCommandLine result;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (fw::IsAutomationStart({argument})) {
      result.automation = true;
    } else if (argument == QLatin1String("--listen")) {
      if (i + 1 >= arguments.size()) {
        result.error = QStringLiteral("--listen needs ADDRESS:PORT");
        return result;
      }
      const QString value = arguments[++i];
      const int colon = value.lastIndexOf(QLatin1Char(':'));
      bool ok = false;
      const int port = value.mid(colon + 1).toInt(&ok);
      if (colon < 0 || !ok || port < 1 || port > 65535) {
        result.error = QStringLiteral("--listen needs ADDRESS:PORT, e.g. 127.0.0.1:1502");
        return result;
      }
      result.listenAddress = value.left(colon);
      result.listenPort = port;
    } else if (argument.startsWith(QLatin1String("--"))) {
      result.error = QStringLiteral("unknown option ") + argument;
      return result;
    } else {
      result.paths << argument;
    }
  }
  return result;
}

bool StartVantor(const VantorCommandLine& commandLine, VantorProgram* program, bool show) {
  using namespace vantorres;
  program->app = std::make_unique<CVantorApp>();
  CVantorApp* app = program->app.get();
  app->readSettings();
  if (commandLine.listenPort != 0) app->setListen(commandLine.listenAddress, commandLine.listenPort);

  program->documentTemplate = std::make_unique<fw::DocumentTemplate>(
      fw::DocumentTemplate::Info{QString::fromLatin1(kNewFileName), QString::fromLatin1(kDocumentFilter),
                                 QString::fromLatin1(kDocumentExtension), QString::fromLatin1(kDocumentTypeName)},
      [] { return new CVantorDoc; },
      [](fw::Document* document) { return new CVantorView(static_cast<CVantorDoc*>(document)); });

  program->mainFrame = std::make_unique<CMainFrame>(app, &fw::AppProfile());
  CMainFrame* frame = program->mainFrame.get();
  frame->readPosition();
  frame->addDocumentTemplate(program->documentTemplate.get());

  // The automation server: the first instance takes the bus name; a second one
  // runs without and says so in its status bar.
  program->automation =
      std::make_unique<fw::AutomationHost>(kVantorServiceName, kVantorObjectPath, commandLine.automation);
  program->automationObject = std::make_unique<VantorApplicationObject>(frame, program->automation.get());
  const fw::AutomationHost::StartResult served = program->automation->start(program->automationObject.get());
  QString automationNote;
  if (served == fw::AutomationHost::StartResult::kNameOwned)
    automationNote = fw::AutomationHost::unavailableText(kVantorServiceName);
  if (served != fw::AutomationHost::StartResult::kServing) {
    program->automationObject.reset();
    program->automation.reset();
    if (commandLine.automation) {
      // Nothing to serve and nothing to show.
      std::fprintf(stderr, "vantor: %s\n",
                   automationNote.isEmpty() ? "automation is not available: no session bus"
                                            : automationNote.toLocal8Bit().constData());
      return false;
    }
  } else {
    QObject::connect(program->automation.get(), &fw::AutomationHost::exitRequested, program->automation.get(),
                     [] { QCoreApplication::exit(0); });
  }
  if (commandLine.automation) {
    // Hidden until a client calls ShowWindow; no document of our own.
    frame->updateCommands();
    if (app->autoEnable()) {
      app->settings().connected = 0;
      app->connectLink(frame, false, true);
      frame->updateCommands();
    }
    return true;
  }

  // Every file given opens (a file manager hands over several); one that
  // cannot be read has said so and is skipped, and start-up ends only when
  // none of them opened.
  bool workspaceOpened = false;
  bool workspaceConnected = false;
  bool anyOpened = commandLine.paths.isEmpty();
  for (const QString& path : commandLine.paths) {
    if (vnw::NamesWorkspace(path.toStdString())) {
      bool connected = false;
      const bool loaded = frame->loadWorkspace(path, false, &connected);
      workspaceOpened = workspaceOpened || loaded;
      workspaceConnected = workspaceConnected || connected;
      anyOpened = anyOpened || loaded;
    } else if (frame->openDocumentFile(path)) {
      anyOpened = true;
    }
  }
  if (!anyOpened) return false;
  if (commandLine.paths.isEmpty()) frame->newDocument();
  if (show) frame->show();
  frame->updateCommands();
  if (!automationNote.isEmpty()) frame->statusBar()->showMessage(automationNote);
  // A workspace saved while connected reconnects once the window is shown.
  if ((app->autoEnable() && !workspaceOpened) || workspaceConnected) {
    app->settings().connected = 0;
    app->connectLink(frame, false);
    frame->updateCommands();
  }
  return true;
}
