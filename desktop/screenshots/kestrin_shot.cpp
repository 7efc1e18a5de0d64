// kestrin's terminal window in its Modbus frame mode.
//   kestrin_shot OUT.png
#include <QRadioButton>

#include "desktop/screenshots/screenshot_support.h"
#include "framework/application.h"
#include "resources/icons/suite_icons.h"
#include "resources/kestrin_texts.h"
#include "terminal/terminal_dialog.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kestrin_shot OUT.png\n");
    return 2;
  }
  QApplication application(argc, argv);
  shots::PrivateSettings();
  fw::InitApplication(QString::fromUtf8(kestrin::text::kProgramName), QString::fromUtf8(kestrin::text::kProgramName));
  suiteicons::InitProgramDesktop(QStringLiteral("kestrin"));
  kestrin::TerminalDialog dialog;
  dialog.show();
  // The Modbus mode shows the frame builder, the part worth a picture.
  for (QRadioButton* mode : dialog.findChildren<QRadioButton*>())
    if (mode->text() == QString::fromUtf8(kestrin::text::kModeModbus)) mode->click();
  return shots::Save(&dialog, QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
