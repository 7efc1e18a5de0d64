// Every dialog of vantor shows its whole title: each one is made as the program
// makes it, shown offscreen and grabbed, and must be at least as wide as its
// title in the title-bar font plus the frame's buttons.
#include <QtTest>
#include <memory>
#include <vector>

#include "common/value_format.h"
#include "framework/dialog_title.h"
#include "framework/testing/dialog_title_checks.h"
#include "framework/traffic/traffic_monitor.h"
#include "resources/vantor_resources.h"
#include "slave/app/connection_dialog.h"
#include "slave/app/definition_dialog.h"
#include "slave/app/edit_dialogs.h"
#include "slave/app/faults_dialog.h"
#include "slave/app/replay_dialog.h"
#include "vantor_test_support.h"

class DialogTitlesTest : public QObject {
  Q_OBJECT

 private slots:
  void noDialogTitleIsElided() {
    fw::InstallDialogTitleFit(QCoreApplication::instance());  // as InitApplication does
    VantorFixture fx;
    QVERIFY(fx.start());
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.emplace_back(new ConnectionDialog(ConnectionChoice{}));
    dialogs.emplace_back(new DefinitionDialog);
    dialogs.emplace_back(new FaultsDialog);
    dialogs.emplace_back(new EditCoilDialog(1, false));
    for (int format = valuefmt::kSigned; format <= valuefmt::kHex; ++format) {
      dialogs.emplace_back(new EditRegisterDialog(format, 0x1234, false));
    }
    dialogs.emplace_back(new EditBinaryDialog(0x1234, false));
    dialogs.emplace_back(new EditFloatDialog(false, 1.5, false));
    dialogs.emplace_back(new EditFloatDialog(true, 2.5, false));
    dialogs.emplace_back(new EditLongDialog(7, false));
    dialogs.emplace_back(new ReplayDialog(QStringLiteral("device.csv")));
    QStringList clipped;
    for (const auto& dialog : dialogs) {
      const QString problem = fw::testing::TitleClippedIn(dialog.get());
      if (!problem.isEmpty()) clipped << problem;
    }
    // The traffic monitor, opened by its command as the user does.
    fx.frame()->action(vantorres::ID_COMMUNICATION)->trigger();
    QVERIFY(linkui::TrafficMonitorDialog::instance() != nullptr);
    const QString problem = fw::testing::TitleClippedIn(linkui::TrafficMonitorDialog::instance());
    if (!problem.isEmpty()) clipped << problem;
    delete linkui::TrafficMonitorDialog::instance();
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(DialogTitlesTest)
#include "dialog_titles_test.moc"
