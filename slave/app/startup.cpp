#include "slave/app/startup.h"

#include "framework/document.h"
#include "framework/profile.h"
#include "resources/vantor_resources.h"
#include "slave/app/main_frame.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/app/vantor_view.h"
#include "slave/vnw_file.h"

VantorProgram::VantorProgram() = default;

VantorProgram::~VantorProgram() {
  mainFrame.reset();
  documentTemplate.reset();
  app.reset();
}

VantorCommandLine ParseVantorCommandLine(const QStringList& arguments) {
  VantorCommandLine result;
  for (int i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    if (argument == QLatin1String("--listen")) {
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
      result.path = argument;
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

  bool workspaceOpened = false;
  bool workspaceConnected = false;
  if (!commandLine.path.isEmpty() && vnw::NamesWorkspace(commandLine.path.toStdString())) {
    workspaceOpened = frame->loadWorkspace(commandLine.path, false, &workspaceConnected);
  } else if (!commandLine.path.isEmpty()) {
    if (!frame->openDocumentFile(commandLine.path)) return false;
  } else {
    frame->newDocument();
  }
  if (show) frame->show();
  frame->updateCommands();
  // A workspace saved while connected reconnects once the window is shown.
  if ((app->autoEnable() && !workspaceOpened) || workspaceConnected) {
    app->settings().connected = 0;
    app->connectLink(frame, false);
    frame->updateCommands();
  }
  return true;
}
