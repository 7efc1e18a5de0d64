// zelmor: the Modbus master. "--headless" polls without a window.
#include <QApplication>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "framework/application.h"
#include "master/headless/headless.h"
#include "master/app/zelmor_app.h"
#include "resources/icons/suite_icons.h"
#include "resources/zelmor_resources.h"

namespace {

const char kUsage[] =
    "Usage: zelmor [--automation] [FILE.zmd | FILE.zmw ...]\n"
    "       zelmor --headless [options] [FILE.zmw | FILE.zmd ...]\n"
    "Modbus master: opens the poll document or the workspace given, or a new poll document.\n"
    "  --automation start hidden as a session-bus automation server\n"
    "  --headless   poll without a window (see zelmor --headless --help)\n"
    "  --help       this text\n"
    "  --version    the version\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      std::vector<std::string> args(argv + 1, argv + argc);
      return zelmor::RunHeadless(args);
    }
  }
  // A data log or recording written to a pipe whose reader went away fails
  // with EPIPE and ends with its message, instead of killing the window.
  std::signal(SIGPIPE, SIG_IGN);
  // Answered before a display is needed, so that they work on any terminal.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("zelmor %s\n", SUITE_VERSION_TEXT);
      return 0;
    }
  }
  QApplication application(argc, argv);
  fw::InitApplication(zelmor::res::text::kAppTitle, zelmor::res::text::kAppTitle);
  suiteicons::InitProgramDesktop(QStringLiteral("zelmor"));
  int exitCode = 1;
  {
    CZelmorApp app;
    if (app.initInstance(QApplication::arguments().mid(1))) exitCode = QApplication::exec();
    app.exitInstance();
  }
  return exitCode;
}
