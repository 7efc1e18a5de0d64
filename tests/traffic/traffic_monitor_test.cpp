// The traffic monitor through both programs' adapters: vantor's slave engine
// announces frames, zelmor's poll engine announces transactions (served here by
// the slave engine's TCP server in the same process).
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>
#include <QWheelEvent>
#include <QtTest>
#include <cstdint>
#include <vector>

#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/traffic/traffic_view_options.h"
#include "tests/common/file_size_limit.h"
#include "framework/testing/file_dialog_recorder.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "framework/traffic/traffic_monitor.h"
#include "master/app/traffic_source_zelmor.h"
#include "master/engine/comm_interface.h"
#include "slave/app/traffic_source_vantor.h"
#include "slave/engine/receive_loop.h"
#include "slave/engine/slave_engine.h"
#include "slave/engine/tcp_server.h"

using linkui::TrafficMonitorDialog;
using linkui::TrafficViewOptions;

namespace {

const std::vector<std::uint8_t> kRequest = {0x01, 0x03, 0x00, 0x00, 0x00, 0x0A, 0xC5, 0xCD};
const std::vector<std::uint8_t> kReply = {0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86};

QString Numbered(unsigned number, const char* rest) {
  return QString::asprintf("%06u-", number) + QString::fromLatin1(rest);
}

void CtrlWheel(QWidget* viewport, int angle, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
  const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
  QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, modifiers,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(viewport, &wheel);
}

int FontPixels(const QListWidget* list) { return list->font().pixelSize(); }

// The tool tip the list shows when the mouse rests on row `row`.
QString ToolTipOfRow(QListWidget* list, int row) {
  QToolTip::hideText();
  const QPoint at = list->visualItemRect(list->item(row)).center();
  QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
  QApplication::sendEvent(list->viewport(), &help);
  return QToolTip::isVisible() ? QToolTip::text() : QString();
}

}  // namespace

class TrafficMonitorTest : public QObject {
  Q_OBJECT

 private:
  VantorTrafficSource vantor_;
  ZelmorTrafficSource zelmor_;

  TrafficMonitorDialog* openVantor() {
    auto* monitor = TrafficMonitorDialog::open(&vantor_);
    monitor->show();
    return monitor;
  }
  void received(const std::vector<std::uint8_t>& frame) {
    slaveengine::RecordReceived(frame.data(), static_cast<std::uint16_t>(frame.size()));
  }
  void sent(const std::vector<std::uint8_t>& frame) {
    slaveengine::RecordSent(frame.data(), static_cast<std::uint16_t>(frame.size()));
  }
  void closeMonitor() {
    if (auto* monitor = TrafficMonitorDialog::instance()) {
      QPointer<TrafficMonitorDialog> guard(monitor);
      QTest::mouseClick(monitor->exitButton(), Qt::LeftButton);
      QTRY_VERIFY(guard.isNull());
    }
  }

 private slots:
  void initTestCase() {
    fw::InstallWindowMessaging();
    slaveengine::InitEngine();
    masterengine::InitEngine();
  }

  void cleanup() { closeMonitor(); }

  void vantorFramesBecomeNumberedLines() {
    TrafficMonitorDialog* monitor = openVantor();
    QVERIFY(monitor->stopOnErrorBox() == nullptr);  // the slave has no "Stop on Error"
    QCOMPARE(monitor->stopButton()->text(), QStringLiteral("&Stop"));
    QVERIFY(!monitor->saveButton()->isEnabled());
    QVERIFY(!monitor->copyButton()->isEnabled());
    const unsigned first = linkui::NextTrafficLineNumber();
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 1);
    sent(kReply);
    QTRY_COMPARE(monitor->list()->count(), 2);
    QCOMPARE(monitor->lines().at(0), Numbered(first, "Rx:01 03 00 00 00 0A C5 CD "));
    QCOMPARE(monitor->lines().at(1), Numbered(first + 1, "Tx:01 03 02 00 07 F9 86 "));
    // An empty frame adds nothing.
    slaveengine::RecordReceived(kRequest.data(), 0);
    QTest::qWait(50);
    QCOMPARE(monitor->list()->count(), 2);
  }

  void onlyOneMonitorAndNumberingContinuesAfterReopening() {
    TrafficMonitorDialog* monitor = openVantor();
    QCOMPARE(TrafficMonitorDialog::open(&vantor_), monitor);
    QVERIFY(TrafficMonitorDialog::isOpen());
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 1);
    const QString last = monitor->lines().last();
    closeMonitor();
    QVERIFY(!TrafficMonitorDialog::isOpen());
    // Frames while closed reach no window and use no numbers.
    received(kRequest);
    QTest::qWait(50);
    TrafficMonitorDialog* again = openVantor();
    sent(kReply);
    QTRY_COMPARE(again->list()->count(), 1);
    const unsigned lastNumber = last.left(6).toUInt();
    QCOMPARE(again->lines().at(0), Numbered(lastNumber + 1, "Tx:01 03 02 00 07 F9 86 "));
  }

  void listKeepsTheNewest101Lines() {
    TrafficMonitorDialog* monitor = openVantor();
    const unsigned first = linkui::NextTrafficLineNumber();
    for (int i = 0; i < 102; ++i) {
      std::vector<std::uint8_t> frame = {static_cast<std::uint8_t>(i)};
      received(frame);
      QTRY_COMPARE(linkui::NextTrafficLineNumber(), first + i + 1);
    }
    QCOMPARE(monitor->list()->count(), 101);
    QCOMPARE(monitor->lines().first(), Numbered(first + 1, "Rx:01 "));
    QCOMPARE(monitor->lines().last(), Numbered(first + 101, "Rx:65 "));
  }

  void stopDropsLinesAndContinueResumes() {
    TrafficMonitorDialog* monitor = openVantor();
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 1);
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    QVERIFY(monitor->isStopped());
    QCOMPARE(monitor->stopButton()->text(), QStringLiteral("&Continue"));
    QVERIFY(monitor->saveButton()->isEnabled());
    QVERIFY(monitor->copyButton()->isEnabled());
    const unsigned before = linkui::NextTrafficLineNumber();
    sent(kReply);
    QTest::qWait(100);
    QCOMPARE(monitor->list()->count(), 1);
    QCOMPARE(linkui::NextTrafficLineNumber(), before);  // lost, not queued
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    QVERIFY(!monitor->isStopped());
    QCOMPARE(monitor->stopButton()->text(), QStringLiteral("&Stop"));
    QVERIFY(!monitor->saveButton()->isEnabled());
    sent(kReply);
    QTRY_COMPARE(monitor->list()->count(), 2);
  }

  void copyPutsTheBytesOfTheSelectedLineOnTheClipboard() {
    fw::testing::MessageBoxRecorder boxes;
    TrafficMonitorDialog* monitor = openVantor();
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 1);
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    QApplication::clipboard()->setText(QStringLiteral("untouched"));
    QTest::mouseClick(monitor->copyButton(), Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("No string selected")});
    QCOMPARE(boxes.calls().first().icon, fw::MsgIcon::Exclamation);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("untouched"));
    monitor->list()->setCurrentRow(0);
    QTest::mouseClick(monitor->copyButton(), Qt::LeftButton);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("01 03 00 00 00 0A C5 CD"));
  }

  void saveWritesEveryLineAndKeepsTheOldFileOnFailure() {
    fw::testing::MessageBoxRecorder boxes;
    fw::testing::FileDialogRecorder files;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("commdata.txt"));
    TrafficMonitorDialog* monitor = openVantor();
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 1);
    sent(kReply);
    QTRY_COMPARE(monitor->list()->count(), 2);
    received(kRequest);
    QTRY_COMPARE(monitor->list()->count(), 3);
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);

    files.script({path});
    QTest::mouseClick(monitor->saveButton(), Qt::LeftButton);
    QCOMPARE(files.count(), 1);
    const fw::FileDialogRequest& request = files.requests().first();
    QVERIFY(request.save);
    QCOMPARE(request.filter, QStringLiteral("modbus comm. data (*.txt)|*.txt||"));
    QCOMPARE(request.defaultExtension, QStringLiteral("txt"));
    QCOMPARE(request.initialName, QStringLiteral("commdata"));
    QVERIFY(request.confirmOverwrite);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray expected = (monitor->lines().join(QLatin1Char('\n')) + QLatin1Char('\n')).toLatin1();
    QCOMPARE(file.readAll(), expected);
    file.close();
    QVERIFY(expected.split('\n').at(0).endsWith("C5 CD "));
    QCOMPARE(boxes.count(), 0);

    // Cancel writes nothing; a path that cannot be created reports and writes nothing.
    QTest::mouseClick(monitor->saveButton(), Qt::LeftButton);
    QCOMPARE(boxes.count(), 0);
    files.script({dir.filePath(QStringLiteral("missing/dir/commdata.txt"))});
    QTest::mouseClick(monitor->saveButton(), Qt::LeftButton);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("File open error")});
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
    file.close();
    // Failing halfway on the same file (its temporary file cannot be written) keeps the old capture.
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    received(kReply);
    QTRY_COMPARE(monitor->list()->count(), 4);
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    files.script({path});
    {
      FileSizeLimit full(16);
      QTest::mouseClick(monitor->saveButton(), Qt::LeftButton);
    }
    QCOMPARE(boxes.lastText(), QStringLiteral("Disk full or disk error"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), expected);
  }

  // Zoom by keys and wheel, time stamps, colours: each changes the window at
  // once, is kept in the profile and comes back with the next window.
  void viewOptionsChangeTheLinesAndComeBackFromTheProfile() {
    QTemporaryDir dir;
    fw::SetAppProfile(std::make_unique<fw::Profile>("vantor", dir.filePath("vantor.ini")));
    struct NoProfile {
      ~NoProfile() { fw::SetAppProfile(nullptr); }
    } noProfile;
    TrafficMonitorDialog* monitor = openVantor();
    QVERIFY(QTest::qWaitForWindowActive(monitor));
    QListWidget* list = monitor->list();
    TrafficViewOptions* options = monitor->viewOptions();
    QCOMPARE(FontPixels(list), 10);  // the window's own size until zoomed
    QVERIFY(!options->timeStampAction()->isChecked() && !options->colourAction()->isChecked());
    QVERIFY(list->actions().contains(options->timeStampAction()));  // offered by the context menu

    QTest::keyClick(list, Qt::Key_Plus, Qt::ControlModifier);
    QCOMPARE(FontPixels(list), 11);
    QTest::keyClick(monitor->stopButton(), Qt::Key_Equal, Qt::ControlModifier);  // anywhere in the window
    QCOMPARE(FontPixels(list), 12);
    CtrlWheel(list->viewport(), 240);
    QCOMPARE(FontPixels(list), 14);
    CtrlWheel(list->viewport(), 60);  // half a notch waits for the other half
    QCOMPARE(FontPixels(list), 14);
    CtrlWheel(list->viewport(), -180);
    QCOMPARE(FontPixels(list), 13);
    CtrlWheel(list->viewport(), 120, Qt::NoModifier);  // a plain wheel scrolls
    QCOMPARE(FontPixels(list), 13);
    QTest::keyClick(list, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(FontPixels(list), 12);
    QCOMPARE(fw::AppProfile().readInt("Traffic", "Zoom", 0), 2);

    const unsigned first = linkui::NextTrafficLineNumber();
    received(kRequest);
    QTRY_COMPARE(list->count(), 1);
    options->timeStampAction()->trigger();
    options->colourAction()->trigger();
    sent(kReply);
    QTRY_COMPARE(list->count(), 2);
    const QRegularExpression stamp("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d $");
    for (int row = 0; row < 2; ++row) {
      const QString line = monitor->lines().at(row);
      QVERIFY2(stamp.match(line.left(13)).hasMatch(), qPrintable(line));
      QCOMPARE(line.mid(13), row == 0 ? Numbered(first, "Rx:01 03 00 00 00 0A C5 CD ")
                                      : Numbered(first + 1, "Tx:01 03 02 00 07 F9 86 "));
    }
    const QColor rx = list->item(0)->foreground().color(), tx = list->item(1)->foreground().color();
    QVERIFY(rx != tx);
    QVERIFY(rx.lightness() < 128 && tx.lightness() < 128);  // dark on the light list
    QPalette dark = list->palette();
    dark.setColor(QPalette::Base, Qt::black);
    list->setPalette(dark);
    QVERIFY(list->item(0)->foreground().color().lightness() >= 128);
    QVERIFY(list->item(1)->foreground().color().lightness() >= 128);
    // Copy takes the bytes without the time stamp.
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);
    list->setCurrentRow(0);
    QTest::mouseClick(monitor->copyButton(), Qt::LeftButton);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("01 03 00 00 00 0A C5 CD"));
    closeMonitor();

    monitor = openVantor();
    list = monitor->list();
    QCOMPARE(FontPixels(list), 12);
    QVERIFY(monitor->viewOptions()->timeStampAction()->isChecked());
    QVERIFY(monitor->viewOptions()->colourAction()->isChecked());
    received(kRequest);
    QTRY_COMPARE(list->count(), 1);
    QVERIFY2(stamp.match(monitor->lines().at(0).left(13)).hasMatch(), qPrintable(monitor->lines().at(0)));
    QVERIFY(list->item(0)->foreground().color().lightness() < 128);
    // Off again: the same lines as they would be without the options.
    monitor->viewOptions()->timeStampAction()->trigger();
    monitor->viewOptions()->colourAction()->trigger();
    QVERIFY(monitor->lines().at(0).startsWith(Numbered(linkui::NextTrafficLineNumber() - 1, "Rx:")));
    QVERIFY(!list->item(0)->data(Qt::ForegroundRole).isValid());
    QVERIFY(QTest::qWaitForWindowActive(monitor));
    QTest::keyClick(list, Qt::Key_0, Qt::ControlModifier);
    QCOMPARE(FontPixels(list), 10);
    QCOMPARE(fw::AppProfile().readInt("Traffic", "Zoom", -1), 0);
    QCOMPARE(fw::AppProfile().readInt("Traffic", "TimeStamps", -1), 0);
    QCOMPARE(fw::AppProfile().readInt("Traffic", "ColourLines", -1), 0);
  }

  // A line the list cuts has the whole line as its tool tip; a whole line has none.
  void toolTipHoldsTheWholeOfACutLine() {
    TrafficMonitorDialog* monitor = openVantor();
    monitor->resize(300, 200);
    QVERIFY(QTest::qWaitForWindowExposed(monitor));
    received({0x01});
    QTRY_COMPARE(monitor->list()->count(), 1);
    std::vector<std::uint8_t> longFrame(80, 0xAB);
    received(longFrame);
    QTRY_COMPARE(monitor->list()->count(), 2);
    QCOMPARE(ToolTipOfRow(monitor->list(), 0), QString());
    const QString whole = monitor->lines().at(1);
    QVERIFY(whole.endsWith(QStringLiteral("AB AB ")) && whole.size() > 200);
    QCOMPARE(ToolTipOfRow(monitor->list(), 1), whole);
  }

  void zelmorResultTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("timeout") << 1 << "Timeout Error";
    QTest::newRow("no connection") << 6 << "No Connection";
    QTest::newRow("thread") << 7 << "Not possible to start communication thread";
    QTest::newRow("bytes missing") << 11 << "Bytes Missing Error";
    QTest::newRow("bad slot") << 8 << "Unknown Error";
    QTest::newRow("no values") << 9 << "Unknown Error";
    QTest::newRow("connect failed") << 14 << "Unknown Error";
    QTest::newRow("exception 1") << 129 << "Illigal Function";
    QTest::newRow("exception 7") << 135 << "NAK-NEGATIVE ACKNOWLEDGMENT";
    QTest::newRow("exception 0") << 128 << "";
    QTest::newRow("exception 8") << 136 << "";
    QTest::newRow("beyond exceptions") << 300 << "Unknown Error";
  }

  void zelmorResultTexts() {
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(ZelmorTrafficSource::ResultCodeText(static_cast<std::uint16_t>(code)), text);
  }

  void zelmorTransactionsAndStopOnError() {
    fw::testing::MessageBoxRecorder boxes;
    // Stops the threads and links whatever the outcome of the checks.
    struct Teardown {
      ~Teardown() {
        masterengine::TcpDisconnect();
        slaveloop::StopReceiveThread();
        slavetcp::StopTcpServer();
      }
    } teardown;
    // A slave served by this process: holding registers 0..9 of slave 1.
    const int slot = slaveengine::RegisterSlot(0, platform::WM_ENGINE_NOTIFY, 0, 1, 3, 0, 10);
    QVERIFY(slot >= 0);
    slaveengine::SetRegisterValue(slot, 0, 7);
    QCOMPARE(slavetcp::StartTcpServer("127.0.0.1", 0), 0);
    slaveloop::SetLinkMode(slaveloop::kLinkTcp);
    QVERIFY(slaveloop::StartReceiveThread());

    auto* monitor = TrafficMonitorDialog::open(&zelmor_);
    QVERIFY(monitor->stopOnErrorBox() != nullptr);
    QCOMPARE(monitor->stopOnErrorBox()->text(), QStringLiteral("S&top on Error"));
    monitor->stopOnErrorBox()->setChecked(true);

    // Not connected: the transaction never reaches the link, adds no line, but stops.
    const int poll = masterengine::RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 1000, 1, 3, 0, 1, 0, 0);
    QVERIFY(poll > 0);
    masterengine::SetPollMode(poll, masterengine::kModeOnce);
    masterengine::PollTick();
    QTRY_VERIFY(monitor->isStopped());
    QCOMPARE(monitor->list()->count(), 0);
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("No Connection")});
    QCOMPARE(boxes.calls().first().icon, fw::MsgIcon::Exclamation);
    QTest::mouseClick(monitor->stopButton(), Qt::LeftButton);

    QCOMPARE(masterengine::NetConnect(masterengine::kLinkTcp, "127.0.0.1", slavetcp::ListeningPort(), 2000), masterengine::RESULT_OK);
    masterengine::SetLinkMode(masterengine::kLinkTcp);
    masterengine::SetPollMode(poll, masterengine::kModeOnce);
    masterengine::PollTick();
    QTRY_COMPARE(monitor->list()->count(), 2);
    QVERIFY(monitor->lines().at(0).mid(6).startsWith(QStringLiteral("-Tx:")));
    QVERIFY(monitor->lines().at(0).endsWith(QStringLiteral("00 06 01 03 00 00 00 01 ")));
    QVERIFY(monitor->lines().at(1).endsWith(QStringLiteral("00 05 01 03 02 00 07 ")));
    QVERIFY(!monitor->isStopped());
    QCOMPARE(boxes.count(), 1);

    // An address outside the definition: exception 2 stops after the lines are shown.
    masterengine::UnregisterPoll(poll);
    const int bad = masterengine::RegisterPoll(0, platform::WM_ENGINE_NOTIFY, 1000, 1, 3, 50, 1, 0, 0);
    masterengine::SetPollMode(bad, masterengine::kModeOnce);
    masterengine::PollTick();
    QTRY_VERIFY(monitor->isStopped());
    QCOMPARE(monitor->list()->count(), 4);
    QVERIFY(monitor->lines().at(3).endsWith(QStringLiteral("01 83 02 ")));
    QCOMPARE(boxes.lastText(), QStringLiteral("Illigal Data Address"));

    masterengine::UnregisterPoll(bad);
    slaveengine::ReleaseSlot(slot);
  }
};

QTEST_MAIN(TrafficMonitorTest)
#include "traffic_monitor_test.moc"
