// zelmor's window polling the demo workspace (a vantor serving it must be listening).
//   zelmor_shot DEMO.zmw OUT.png
#include "desktop/screenshots/screenshot_support.h"
#include "framework/application.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "resources/icons/suite_icons.h"
#include "resources/zelmor_resources.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: zelmor_shot DEMO.zmw OUT.png\n");
    return 2;
  }
  QApplication application(argc, argv);
  shots::PrivateSettings();
  fw::InitApplication(zelmor::res::text::kAppTitle, zelmor::res::text::kAppTitle);
  suiteicons::InitProgramDesktop(QStringLiteral("zelmor"));
  bool saved = false;
  {
    CZelmorApp app;
    if (app.initInstance({QString::fromLocal8Bit(argv[1])})) {
      app.mainFrame()->resize(900, 620);
      shots::Run(3000);
      saved = shots::Save(app.mainFrame(), QString::fromLocal8Bit(argv[2]));
    }
    app.exitInstance();
  }
  return saved ? 0 : 1;
}
