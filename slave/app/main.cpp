// vantor: the Modbus slave simulator. "--headless" runs without a window.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "framework/application.h"
#include "resources/vantor_resources.h"
#include "slave/app/headless_autochange.h"
#include "slave/app/startup.h"
#include "slave/headless/headless_vantor.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      headless::SetRefreshHandler(&HeadlessAutoChange);
      return RunHeadlessVantor(argc, argv);
    }
  }
  QApplication application(argc, argv);
  fw::InitApplication(QString::fromLatin1(vantorres::kApplicationName),
                      QString::fromLatin1(vantorres::kApplicationTitle));
  const VantorCommandLine commandLine = ParseVantorCommandLine(application.arguments().mid(1));
  if (!commandLine.error.isEmpty()) {
    std::fprintf(stderr, "vantor: %s\nusage: vantor [--automation] [--listen ADDRESS:PORT] [FILE.vnd | FILE.vnw]\n"
                         "       vantor --headless ... (see vantor --headless --help)\n",
                 commandLine.error.toLocal8Bit().constData());
    return 2;
  }
  VantorProgram program;
  if (!StartVantor(commandLine, &program)) return 1;
  return application.exec();
}
