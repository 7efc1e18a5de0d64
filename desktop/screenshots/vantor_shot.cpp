// vantor's window serving the demo workspace.
//   vantor_shot DEMO.vnw ADDRESS:PORT OUT.png
#include "desktop/screenshots/screenshot_support.h"
#include "framework/application.h"
#include "resources/icons/suite_icons.h"
#include "resources/vantor_resources.h"
#include "slave/app/main_frame.h"
#include "slave/app/startup.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: vantor_shot DEMO.vnw ADDRESS:PORT OUT.png\n");
    return 2;
  }
  QApplication application(argc, argv);
  shots::PrivateSettings();
  fw::InitApplication(QString::fromLatin1(vantorres::kApplicationName),
                      QString::fromLatin1(vantorres::kApplicationTitle));
  suiteicons::InitProgramDesktop(QStringLiteral("vantor"));
  const VantorCommandLine commandLine = ParseVantorCommandLine(
      {QStringLiteral("--listen"), QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[1])});
  VantorProgram program;
  if (!commandLine.error.isEmpty() || !StartVantor(commandLine, &program)) return 1;
  program.mainFrame->resize(900, 620);
  shots::Run(2000);
  return shots::Save(program.mainFrame.get(), QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
