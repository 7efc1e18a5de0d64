// Every dialog of kestrin shows its whole title: each one is made as the program
// makes it, shown offscreen and grabbed, and must be at least as wide as its
// title in the title-bar font plus the frame's buttons.
#include <QtTest>
#include <memory>
#include <vector>

#include "framework/dialog_title.h"
#include "framework/testing/dialog_title_checks.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "terminal/event_serial_port.h"
#include "terminal/port_config_dialog.h"
#include "terminal/port_devices_dialog.h"
#include "terminal/terminal_dialog.h"

class DialogTitlesTest : public QObject {
  Q_OBJECT

 private slots:
  void noDialogTitleIsElided() {
    fw::InstallWindowMessaging();
    fw::InstallDialogTitleFit(QCoreApplication::instance());  // as InitApplication does
    fw::testing::MessageBoxRecorder boxes;
    kestrin::EventSerialPort port;
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.emplace_back(new kestrin::TerminalDialog);
    dialogs.emplace_back(new kestrin::PortConfigDialog(port));
    dialogs.emplace_back(new kestrin::PortDevicesDialog);
    QStringList clipped;
    for (const auto& dialog : dialogs) {
      const QString problem = fw::testing::TitleClippedIn(dialog.get());
      if (!problem.isEmpty()) clipped << problem;
    }
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(DialogTitlesTest)
#include "dialog_titles_test.moc"
