// kestrin: a serial terminal with a Chinese user interface.
#include <QApplication>

#include "framework/application.h"
#include "framework/profile.h"
#include "resources/kestrin_texts.h"
#include "terminal/terminal_dialog.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  fw::InitApplication(QString::fromUtf8(kestrin::text::kProgramName), QString::fromUtf8(kestrin::text::kProgramName));
  fw::AppProfile().loadPortMap();
  kestrin::InstallPortErrorBox();
  kestrin::TerminalDialog dialog;
  dialog.exec();
  return 0;
}
