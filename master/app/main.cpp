// zelmor: the Modbus master. "--headless" polls without a window.
#include <QApplication>
#include <cstring>
#include <string>
#include <vector>

#include "framework/application.h"
#include "master/app/headless/headless.h"
#include "master/app/zelmor_app.h"
#include "resources/zelmor_resources.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      std::vector<std::string> args(argv + 1, argv + argc);
      return zelmor::RunHeadless(args);
    }
  }
  QApplication application(argc, argv);
  fw::InitApplication(zelmor::res::text::kAppTitle, zelmor::res::text::kAppTitle);
  int exitCode = 1;
  {
    CZelmorApp app;
    if (app.initInstance(QApplication::arguments().mid(1))) exitCode = QApplication::exec();
    app.exitInstance();
  }
  return exitCode;
}
