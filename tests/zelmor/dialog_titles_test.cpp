// Every dialog of zelmor shows its whole title: each one is made as the program
// makes it, shown offscreen and grabbed, and must be at least as wide as its
// title in the title-bar font plus the frame's buttons.
#include <QtTest>
#include <memory>
#include <vector>

#include "common/value_format.h"
#include "framework/dialog_title.h"
#include "framework/testing/dialog_title_checks.h"
#include "framework/traffic/traffic_monitor.h"
#include "gui_test_support.h"
#include "master/app/connection_dialog.h"
#include "master/app/data_log_dialog.h"
#include "master/app/error_counters_dialog.h"
#include "master/app/multiple_write_dialogs.h"
#include "master/app/poll_definition_dialog.h"
#include "master/app/test_center_dialog.h"
#include "master/app/write_dialogs.h"

class DialogTitlesTest : public QObject {
  Q_OBJECT

 private slots:
  void noDialogTitleIsElided() {
    fw::InstallDialogTitleFit(QCoreApplication::instance());  // as InitApplication does
    ZelmorFixture fx;
    QVERIFY(fx.start() != nullptr);
    CZelmorDoc* doc = fx.doc();
    QVERIFY(doc != nullptr);
    const zelmor::CommSettings settings = LoopbackTcpSettings(502);
    std::vector<std::unique_ptr<QDialog>> dialogs;
    dialogs.emplace_back(new AdvancedDialog(settings));
    dialogs.emplace_back(new ConnectionDialog(settings));
    dialogs.emplace_back(new SerialPortsDialog);
    dialogs.emplace_back(new LogRateDialog(zelmor::LogSettings{}));
    dialogs.emplace_back(new CErrorCountersDlg(CErrorCountersDlg::Counters{}));
    dialogs.emplace_back(new CErrorCountersDlg(CErrorCountersDlg::Counters{}, masterengine::ResponseTimes{}));
    dialogs.emplace_back(new PollDefinitionDialog(doc));
    dialogs.emplace_back(new CTestCenterDlg(false, 0));
    dialogs.emplace_back(new CWriteCoilsDlg(CoilsStartFromDocument(*doc)));
    dialogs.emplace_back(new CWriteRegistersDlg(RegistersStartFromDocument(*doc)));
    dialogs.emplace_back(new CReadWriteRegistersDlg(ReadWriteStartFromDocument(*doc)));
    dialogs.emplace_back(new CEnterValueDlg(valuefmt::kUnsigned));
    dialogs.emplace_back(new CEnterBitsDlg(0x1234));
    for (int function : {0, 1}) {
      dialogs.emplace_back(new CWriteSingleCoilDlg(true, 1, 1, false, function));
      dialogs.emplace_back(new CWriteRegisterDlg(true, 1, 1, 0, 0, function));
      dialogs.emplace_back(new CWriteRegisterBinDlg(true, 1, 1, 0, function));
    }
    dialogs.emplace_back(new CMaskWriteDlg(true, 1, 1, 0xFFFF, 0));
    dialogs.emplace_back(new CWriteFloatDlg(true, 1, 1, valuefmt::kFloat, 1.5));
    dialogs.emplace_back(new CWriteFloatDlg(true, 1, 1, valuefmt::kDouble, 2.5));
    dialogs.emplace_back(new CWriteLongDlg(true, 1, 1, valuefmt::kLong, 7));
    QStringList clipped;
    for (const auto& dialog : dialogs) {
      const QString problem = fw::testing::TitleClippedIn(dialog.get());
      if (!problem.isEmpty()) clipped << problem;
    }
    // The traffic monitor, opened by its command as the user does.
    fx.frame()->action(zelmor::res::ID_DISPLAY_COMMUNICATION)->trigger();
    QVERIFY(linkui::TrafficMonitorDialog::instance() != nullptr);
    const QString problem = fw::testing::TitleClippedIn(linkui::TrafficMonitorDialog::instance());
    if (!problem.isEmpty()) clipped << problem;
    delete linkui::TrafficMonitorDialog::instance();
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(DialogTitlesTest)
#include "dialog_titles_test.moc"
