// vantor: the Modbus slave simulator. "--headless" runs without a window.
#include <unistd.h>

#include <QApplication>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "framework/application.h"
#include "resources/icons/suite_icons.h"
#include "resources/vantor_resources.h"
#include "slave/headless/headless_autochange.h"
#include "slave/app/startup.h"
#include "slave/headless/headless_vantor.h"

namespace {

const char kUsage[] =
    "usage: vantor [--automation] [--listen ADDRESS:PORT] [FILE.vnd | FILE.vnw ...]\n"
    "       vantor --headless ... (see vantor --headless --help)\n";

const char kOptions[] =
    "Modbus slave simulator: opens the slave definition or the workspace given.\n"
    "  --listen ADDRESS:PORT   Modbus/TCP address and port for this session\n"
    "  --automation            start hidden as a session-bus automation server\n"
    "  --headless              serve definitions without a window\n"
    "  --help                  this text\n"
    "  --version               the version\n";

// Replaces this process by vantor-headless, which links no windowing library:
// beside this program (build tree) or in ../libexec (installed). Returns only
// when there is none to run; the run then stays in this process.
void ExecHeadlessProgram(char** argv) {
  char self[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return;
  self[length] = '\0';
  std::string directory(self);
  directory.erase(directory.rfind('/') + 1);
  for (const char* relative : {"vantor-headless", "../libexec/vantor-headless"}) {
    const std::string path = directory + relative;
    if (::access(path.c_str(), X_OK) == 0) ::execv(path.c_str(), argv);
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--headless") == 0) {
      ExecHeadlessProgram(argv);
      headless::SetRefreshHandler(&HeadlessAutoChange);
      return RunHeadlessVantor(argc, argv);
    }
  }
  // Answered before a display is needed, so that they work on any terminal.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      std::fputs(kOptions, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("vantor %s\n", SUITE_VERSION_TEXT);
      return 0;
    }
  }
  QApplication application(argc, argv);
  fw::InitApplication(QString::fromLatin1(vantorres::kApplicationName),
                      QString::fromLatin1(vantorres::kApplicationTitle));
  suiteicons::InitProgramDesktop(QStringLiteral("vantor"));
  const VantorCommandLine commandLine = ParseVantorCommandLine(application.arguments().mid(1));
  if (!commandLine.error.isEmpty()) {
    std::fprintf(stderr, "vantor: %s\n%s", commandLine.error.toLocal8Bit().constData(), kUsage);
    return 2;
  }
  VantorProgram program;
  if (!StartVantor(commandLine, &program)) return 1;
  return application.exec();
}
