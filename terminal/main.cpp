// kestrin: a serial terminal with a Chinese user interface.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "framework/application.h"
#include "framework/profile.h"
#include "resources/icons/suite_icons.h"
#include "resources/kestrin_texts.h"
#include "terminal/terminal_dialog.h"

int main(int argc, char* argv[]) {
  // Answered before a display is needed, so that they work on any terminal.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs("Usage: kestrin\n"
                 "Serial terminal: opens the terminal window on the port chosen in it.\n"
                 "  --help       this text\n"
                 "  --version    the version\n",
                 stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("kestrin %s\n", SUITE_VERSION_TEXT);
      return 0;
    }
  }
  QApplication application(argc, argv);
  fw::InitApplication(QString::fromUtf8(kestrin::text::kProgramName), QString::fromUtf8(kestrin::text::kProgramName));
  suiteicons::InitProgramDesktop(QStringLiteral("kestrin"));
  fw::AppProfile().loadPortMap();
  kestrin::InstallPortErrorBox();
  kestrin::TerminalDialog dialog;
  dialog.exec();
  return 0;
}
