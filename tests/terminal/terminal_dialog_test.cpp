// The terminal dialog, its send panels and the port configuration dialog,
// driven through their controls with a pseudo-terminal as the peer.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "framework/profile.h"
#include "framework/serial_ports.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "platform/port_map.h"
#include "platform/testing/fake_serial_device.h"
#include "pty_pair.h"
#include "terminal/event_serial_port.h"
#include "terminal/modbus_frame_panel.h"
#include "terminal/port_config_dialog.h"
#include "terminal/port_devices_dialog.h"
#include "terminal/terminal_dialog.h"
#include "terminal/text_send_panel.h"

using kestrin::PortChoices;
using kestrin::PortConfigDialog;
using kestrin::TerminalDialog;
using kestrin::testing::PtyPair;
using Bytes = std::vector<std::uint8_t>;

namespace {

PortChoices Choices(int port, const QString& sendBuffer = QStringLiteral("512")) {
  PortChoices choices;
  choices.port = QString::number(port);
  choices.baudRate = QStringLiteral("9600");
  choices.dataBits = QStringLiteral("8");
  choices.parity = QStringLiteral("None");
  choices.stopBits = QStringLiteral("1");
  choices.sendBuffer = sendBuffer;
  return choices;
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class ListedPorts : public fw::SerialPortSource {
 public:
  QList<fw::SerialPortEntry> ports() const override { return listing; }
  QList<fw::SerialPortEntry> listing;
};

// Number of received-byte fields ("%4x", optionally with "[%4d]") in the view.
int FieldCount(const QString& text) {
  QString plain = text;
  plain.remove(QLatin1Char('\n'));
  return plain.size() / 4;
}

// Runs the event loop until the condition holds. Unlike QTest::qWait, which
// sleeps between rounds, the loop takes each message as it comes, as the
// program's own loop does; the timing test depends on that.
bool RunUntil(const std::function<bool()>& condition, int timeoutMs) {
  QEventLoop loop;
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, &loop, [&] {
    if (condition()) loop.quit();
  });
  QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
  check.start(5);
  loop.exec();
  return condition();
}

}  // namespace

class TerminalDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fw::InstallWindowMessaging();
    kestrin::InstallPortErrorBox();
  }

  void init() {
    for (int index = 0; index < 5; ++index) {
      ptys_[index] = std::make_unique<PtyPair>();
      QVERIFY2(ptys_[index]->ok(), "openpty failed");
      platform::SetSerialPortPath(index + 1, ptys_[index]->path());
    }
    boxes_ = std::make_unique<fw::testing::MessageBoxRecorder>();
  }

  void cleanup() {
    boxes_.reset();
    for (int index = 0; index < 5; ++index) platform::SetSerialPortPath(index + 1, "");
    for (auto& pty : ptys_) pty.reset();
  }

  void startsClosedWithTheModbusPanel() {
    TerminalDialog dialog;
    QCOMPARE(dialog.windowTitle(), U("串口通讯"));
    QVERIFY(!dialog.sendButton()->isEnabled());
    QVERIFY(!dialog.timedSendBox()->isEnabled());
    QCOMPARE(dialog.pauseButton()->text(), U("已暂停接收"));
    QCOMPARE(dialog.sendMode(), int(TerminalDialog::kModbusMode));
    QVERIFY(dialog.modbusPanel() != nullptr);
    QVERIFY(dialog.textPanel() == nullptr);
    QVERIFY(dialog.modbusModeButton()->isChecked());
    QCOMPARE(dialog.progressBar()->minimum(), 0);
    QCOMPARE(dialog.progressBar()->maximum(), 10);
    QCOMPARE(dialog.intervalEdit()->text(), QStringLiteral("100"));
    QVERIFY(dialog.actions().contains(dialog.aboutAction()));
    QCOMPARE(dialog.aboutAction()->text(), U("关于 Kestrin(&A)..."));
    QCOMPARE(dialog.modbusPanel()->frameBox()->text(), QString());
  }

  void pauseBeforeOpeningStartsReceiving() {
    TerminalDialog dialog;
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseButton()->text(), U("正在接收"));
    QVERIFY(dialog.receiving());
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseButton()->text(), U("已暂停接收"));
    QVERIFY(!dialog.receiving());
  }

  void failedOpenShowsTheRetryBox() {
    platform::SetSerialPortPath(7, "/dev/kestrin-no-such-port");
    TerminalDialog dialog;
    QVERIFY(!dialog.openPort(Choices(7)));
    QCOMPARE(boxes_->count(), 1);
    QCOMPARE(boxes_->lastText(), U("初始化端口失败!\n再试试!"));
    QCOMPARE(boxes_->calls().last().title, QStringLiteral("kestrin"));
    QCOMPARE(dialog.windowTitle(), U("串口通讯"));
    QVERIFY(!dialog.sendButton()->isEnabled());
    QVERIFY(!dialog.timedSendBox()->isEnabled());
    platform::SetSerialPortPath(7, "");
  }

  void openingEnablesSendingAndNamesThePort() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(3)));
    QCOMPARE(dialog.windowTitle(), U("串口通讯-端口 3"));
    QCOMPARE(dialog.pauseButton()->text(), U("正在接收"));
    QVERIFY(dialog.receiving());
    QVERIFY(dialog.sendButton()->isEnabled());
    QVERIFY(dialog.timedSendBox()->isEnabled());
    QCOMPARE(boxes_->count(), 0);
  }

  void timingIsShownAndRemoved() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(1)));
    dialog.showTimingBox()->click();
    // The peer paces the two bytes on its own thread while this one takes them.
    std::thread peer([this] {
      ptys_[0]->send({0x01});
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
      ptys_[0]->send({0x03});
    });
    QVERIFY(RunUntil([&] { return FieldCount(dialog.receiveText()) == 5; }, 5000));
    peer.join();
    const QString text = dialog.receiveText();
    static const QRegularExpression pattern(QStringLiteral("^   1\\[   0\\]   3\\[ *(\\d+)\\]$"));
    const QRegularExpressionMatch match = pattern.match(text);
    QVERIFY2(match.hasMatch(), qPrintable(text));
    const int elapsed = match.captured(1).toInt();
    // Both bytes are timed when the window takes them; the machine may be busy.
    QVERIFY2(elapsed >= 8 && elapsed <= 100, qPrintable(text));
    QCOMPARE(text.size(), 20);

    dialog.showTimingBox()->click();
    QCOMPARE(dialog.receiveText(), QStringLiteral("   1   3"));
    QVERIFY(ptys_[0]->send({0xAB}));
    QTRY_COMPARE(dialog.receiveText(), QStringLiteral("   1   3  ab"));

    QTest::mouseClick(dialog.clearButton(), Qt::LeftButton);
    QCOMPARE(dialog.receiveText(), QString());
  }

  void pausedDialogDropsBytes() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(1)));
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    QCOMPARE(dialog.pauseButton()->text(), U("已暂停接收"));
    QVERIFY(ptys_[0]->send({0x11, 0x22}));
    QTest::qWait(150);
    QCOMPARE(dialog.receiveText(), QString());
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    QVERIFY(ptys_[0]->send({0x0A}));
    QTRY_COMPARE(dialog.receiveText(), QStringLiteral("   a"));
  }

  void everyByteOfALongStreamIsShownInOrder() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(1)));
    Bytes sent(20000);
    for (std::size_t index = 0; index < sent.size(); ++index) sent[index] = static_cast<std::uint8_t>(index);
    int replacedOrInserted = 0;
    QTextDocument* document = dialog.receiveBox()->document();
    connect(document, &QTextDocument::contentsChange, this, [&](int position, int removed, int added) {
      if (removed != 0 || position != document->characterCount() - 1 - added) ++replacedOrInserted;
    });
    // The peer writes from its own thread: the pseudo-terminal holds only a
    // few kilobytes, and the GUI thread must stay free to take the bytes.
    std::atomic<bool> written{false};
    std::thread peer([&] { written.store(ptys_[0]->send(sent)); });
    // Joined on every way out, a failed comparison included.
    struct JoinOnExit {
      std::thread& thread;
      ~JoinOnExit() {
        if (thread.joinable()) thread.join();
      }
    } joinPeer{peer};
    // A generous bound: a loaded machine takes over 20 s for the 20000 bytes.
    QTRY_COMPARE_WITH_TIMEOUT(FieldCount(dialog.receiveText()), 20000, 90000);
    peer.join();
    QVERIFY(written.load());
    // The view was only ever appended to, never set again as a whole.
    QCOMPARE(replacedOrInserted, 0);
    const QStringList lines = dialog.receiveText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 20000 / TerminalDialog::kBytesPerLine);
    QCOMPARE(lines.first(), QStringLiteral("   0   1   2   3   4   5   6   7   8   9   a   b   c   d   e   f"));
    QCOMPARE(lines.last(), QStringLiteral("  10  11  12  13  14  15  16  17  18  19  1a  1b  1c  1d  1e  1f"));
  }

  void modbusDefaultsAreSentWithTheirCrc() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(2)));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
    QCOMPARE(dialog.modbusPanel()->frameBox()->text(), QStringLiteral("0x01 0x03 0x00 0x00 0x00 0x01 0x84 0x0A "));
    QVERIFY(dialog.progressRunning());
    QTRY_VERIFY(!dialog.progressRunning());
    QCOMPARE(dialog.progressBar()->value(), 0);
  }

  // Sent bytes in the receive view, marked and coloured, each request above its
  // reply; the option is off by default and kept in the profile.
  void sentBytesAreShownMarkedWhenChosen() {
    QTemporaryDir dir;
    fw::SetAppProfile(std::make_unique<fw::Profile>("kestrin", dir.filePath("kestrin.ini")));
    struct NoProfile {
      ~NoProfile() { fw::SetAppProfile(nullptr); }
    } noProfile;
    const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A};
    const QString requestLine = QStringLiteral("TX:   1   3   0   0   0   1  84   a");
    {
      TerminalDialog dialog;
      QCOMPARE(dialog.showSentBox()->text(), U("显示发送数据"));
      QVERIFY(!dialog.showSentBox()->isChecked());
      QVERIFY(dialog.openPort(Choices(2)));
      QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
      QCOMPARE(ptys_[1]->receive(8, 2000), request);
      QCOMPARE(dialog.receiveText(), QString());  // as before: only what is received
      dialog.showSentBox()->click();
      QCOMPARE(fw::AppProfile().readInt("Terminal", "ShowSent", 0), 1);
    }
    TerminalDialog dialog;
    QVERIFY(dialog.showSentBox()->isChecked());
    QVERIFY(dialog.openPort(Choices(2)));
    QVERIFY(ptys_[1]->send({0xEE}));  // a byte before the request stays above it
    QTRY_COMPARE(dialog.receiveText(), QStringLiteral("  ee"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), request);
    QVERIFY(ptys_[1]->send({0x01, 0x03, 0x02, 0x00, 0x07, 0xF9, 0x86}));
    QTRY_VERIFY(dialog.receiveText().endsWith(QStringLiteral("f9  86")));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), request);
    const QStringList lines = dialog.receiveText().split(QLatin1Char('\n'));
    QCOMPARE(lines, (QStringList{QStringLiteral("  ee"), requestLine, QStringLiteral("   1   3   2   0   7  f9  86"),
                                 requestLine, QString()}));
    QCOMPARE(dialog.shownByteCount(), 8);  // sent bytes are not counted as received
    // The sent lines are coloured, the received ones plain.
    QTextDocument* document = dialog.receiveBox()->document();
    for (int block = 0; block < 4; ++block) {
      const QTextCharFormat format = document->findBlockByNumber(block).begin().fragment().charFormat();
      QCOMPARE(format.hasProperty(QTextFormat::ForegroundBrush), block == 1 || block == 3);
    }
    // A paused view takes no sent bytes either.
    QTest::mouseClick(dialog.pauseButton(), Qt::LeftButton);
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), request);
    QCOMPARE(dialog.receiveText().split(QLatin1Char('\n')).size(), 5);
  }

  void modbusRefusalsSendNothing() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(2)));
    kestrin::ModbusFramePanel* panel = dialog.modbusPanel();
    panel->stationEdit()->setText(QStringLiteral("257"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(boxes_->lastText(), U("ModBus----站号>256"));
    QCOMPARE(panel->frameBox()->text(), QString());
    QVERIFY(ptys_[1]->receive(1, 150).empty());

    // Function 5: the label changes and the value is on (FF 00) or off.
    panel->stationEdit()->setText(QStringLiteral("1"));
    panel->functionList()->setCurrentIndex(4);
    QCOMPARE(panel->quantityLabel()->text(), U("写入值"));
    panel->quantityEdit()->setText(QStringLiteral("0"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), (Bytes{0x01, 0x05, 0x00, 0x00, 0x00, 0x00, 0xCD, 0xCA}));
    panel->quantityEdit()->setText(QStringLiteral("7"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[1]->receive(8, 2000), (Bytes{0x01, 0x05, 0x00, 0x00, 0xFF, 0x00, 0x8C, 0x3A}));
    panel->functionList()->setCurrentIndex(0);
    QCOMPARE(panel->quantityLabel()->text(), U("数量"));
    // The station edit takes digits only.
    panel->stationEdit()->clear();
    QTest::keyClicks(panel->stationEdit(), QStringLiteral("-1x2"));
    QCOMPARE(panel->stationEdit()->text(), QStringLiteral("12"));
  }

  void textPanelSendsHexAndAscii() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(4)));
    dialog.textModeButton()->click();
    QCOMPARE(dialog.sendMode(), int(TerminalDialog::kTextMode));
    QVERIFY(dialog.textPanel() != nullptr);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(dialog.textPanel()->isVisible());
    QVERIFY(!dialog.modbusPanel()->isVisible());
    QCOMPARE(dialog.textPanel()->format(), kestrin::TextSendPanel::Hex);

    dialog.textPanel()->textEdit()->setText(QStringLiteral(" 01 3 ff  1a2"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[3]->receive(4, 2000), (Bytes{0x01, 0x03, 0xFF, 0x1A}));
    dialog.textPanel()->textEdit()->setText(QStringLiteral("g1"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[3]->receive(1, 2000), (Bytes{0x01}));

    dialog.textPanel()->setFormat(kestrin::TextSendPanel::Ascii);
    dialog.textPanel()->textEdit()->setText(QStringLiteral("AT 1"));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[3]->receive(4, 2000), (Bytes{'A', 'T', ' ', '1'}));

    // Enter in the text sends it rather than pressing the default "退出".
    dialog.activateWindow();
    dialog.textPanel()->textEdit()->setFocus();
    QTRY_VERIFY(dialog.textPanel()->textEdit()->hasFocus());
    QTest::keyClick(dialog.textPanel()->textEdit(), Qt::Key_Return);
    QCOMPARE(ptys_[3]->receive(4, 2000), (Bytes{'A', 'T', ' ', '1'}));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);

    // Back to Modbus: the text panel is kept, only hidden.
    kestrin::TextSendPanel* textPanel = dialog.textPanel();
    dialog.modbusModeButton()->click();
    QCOMPARE(dialog.textPanel(), textPanel);
    QVERIFY(!textPanel->isVisible());
    QVERIFY(dialog.modbusPanel()->isVisible());
  }

  void inputLongerThanTheBuffersIsRefused() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(4, QStringLiteral("255"))));
    dialog.textModeButton()->click();
    QString tokens;
    for (int index = 0; index < 501; ++index) tokens += QStringLiteral("5a ");
    dialog.textPanel()->textEdit()->setText(tokens);
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(boxes_->count(), 1);
    QVERIFY2(boxes_->lastText().contains(QStringLiteral("500")), qPrintable(boxes_->lastText()));
    QVERIFY(ptys_[3]->receive(1, 150).empty());

    // Fits the dialog's 500 bytes but not the port's 255.
    dialog.textPanel()->setFormat(kestrin::TextSendPanel::Ascii);
    dialog.textPanel()->textEdit()->setText(QString(300, QLatin1Char('x')));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(boxes_->count(), 2);
    QVERIFY2(boxes_->lastText().contains(QStringLiteral("255")), qPrintable(boxes_->lastText()));
    QVERIFY(ptys_[3]->receive(1, 150).empty());

    dialog.textPanel()->textEdit()->setText(QString(255, QLatin1Char('y')));
    QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
    QCOMPARE(ptys_[3]->receive(255, 2000), Bytes(255, 'y'));
    QCOMPARE(boxes_->count(), 2);
  }

  void timedSendRepeatsUntilSwitchedOff() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(5)));
    dialog.intervalEdit()->setText(QStringLiteral("20"));
    dialog.timedSendBox()->click();
    QVERIFY(dialog.timedSendRunning());
    QVERIFY(!dialog.sendButton()->isEnabled());
    // The timer runs on this thread: collect while the event loop turns.
    Bytes frames;
    QTRY_VERIFY_WITH_TIMEOUT(([&] {
                               const Bytes more = ptys_[4]->drain();
                               frames.insert(frames.end(), more.begin(), more.end());
                               return frames.size() >= 32;
                             }()),
                             3000);
    frames.resize(frames.size() / 8 * 8);
    for (std::size_t offset = 0; offset < frames.size(); offset += 8) {
      QCOMPARE(Bytes(frames.begin() + offset, frames.begin() + offset + 8),
               (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
    }
    dialog.timedSendBox()->click();
    QVERIFY(!dialog.timedSendRunning());
    QVERIFY(dialog.sendButton()->isEnabled());
    QTest::qWait(50);
    ptys_[4]->receive(1 << 16, 50);  // whatever was on its way
    QVERIFY(ptys_[4]->receive(1, 200).empty());
  }

  void timedSendChecksTheIntervalAndStopsOnARefusal() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(5)));
    dialog.intervalEdit()->setText(QStringLiteral("5"));
    dialog.timedSendBox()->click();
    QVERIFY(!dialog.timedSendBox()->isChecked());
    QVERIFY(!dialog.timedSendRunning());
    QCOMPARE(boxes_->lastText(), QStringLiteral("Please enter an integer between 10 and 10000."));

    // A refused frame stops the timer, so one box appears, not one per tick.
    dialog.modbusPanel()->stationEdit()->setText(QStringLiteral("300"));
    dialog.intervalEdit()->setText(QStringLiteral("10"));
    boxes_->clear();
    dialog.timedSendBox()->click();
    QVERIFY(dialog.timedSendRunning());
    QTRY_VERIFY(!dialog.timedSendRunning());
    QTest::qWait(60);
    QCOMPARE(boxes_->count(), 1);
    QCOMPARE(boxes_->lastText(), U("ModBus----站号>256"));
    QVERIFY(!dialog.timedSendBox()->isChecked());
    QVERIFY(dialog.sendButton()->isEnabled());
  }

  void configurationDialogStartsFromThePort() {
    TerminalDialog dialog;
    {
      PortConfigDialog config(dialog.port());
      QCOMPARE(config.windowTitle(), U("端口配置"));
      QCOMPARE(config.portList()->currentText(), QStringLiteral("1"));
      QCOMPARE(config.portList()->count(), 30);
      QCOMPARE(config.portList()->itemData(1, Qt::ToolTipRole).toString(), QString::fromStdString(ptys_[1]->path()));
      QCOMPARE(config.baudList()->currentText(), QStringLiteral("9600"));
      QCOMPARE(config.parityList()->currentText(), QStringLiteral("None"));
      QCOMPARE(config.dataBitsList()->currentText(), QStringLiteral("8"));
      QCOMPARE(config.stopBitsList()->currentText(), QStringLiteral("1"));
      QCOMPARE(config.sendBufferBox()->currentText(), QStringLiteral("512"));
      for (int box = 0; box < kestrin::kEventBoxCount; ++box) {
        QCOMPARE(config.eventBox(kestrin::EventBox(box))->isChecked(), box == kestrin::kBoxRxChar);
      }
      QCOMPARE(config.eventBox(kestrin::kBoxTxEmpty)->text(), QStringLiteral("Last character in outputbuffer was send"));
    }
    PortChoices choices = Choices(5, QStringLiteral("100"));
    choices.baudRate = QStringLiteral("2400");
    choices.stopBits = QStringLiteral("2");
    QVERIFY(dialog.openPort(choices));
    QCOMPARE(dialog.port().SendBufferSize(), 100);
    PortConfigDialog config(dialog.port());
    QCOMPARE(config.portList()->currentText(), QStringLiteral("1"));  // not 5
    QCOMPARE(config.baudList()->currentText(), QStringLiteral("2400"));
    QCOMPARE(config.stopBitsList()->currentText(), QStringLiteral("2"));
    QCOMPARE(config.sendBufferBox()->currentText(), QStringLiteral("100"));
    QVERIFY(config.eventBox(kestrin::kBoxRxChar)->isChecked());
    QVERIFY(config.eventBox(kestrin::kBoxCts)->isChecked());
    QVERIFY(!config.eventBox(kestrin::kBoxDsr)->isChecked());
  }

  void configurationDialogChecksTheSendBuffer() {
    TerminalDialog dialog;
    PortConfigDialog config(dialog.port());
    config.sendBufferBox()->setEditText(QStringLiteral("abc"));
    config.accept();
    QCOMPARE(config.result(), int(QDialog::Rejected));
    QCOMPARE(boxes_->lastText(), QStringLiteral("Please enter an integer."));
    config.sendBufferBox()->setEditText(QStringLiteral("0"));
    config.accept();
    QCOMPARE(config.result(), int(QDialog::Rejected));
    QCOMPARE(boxes_->lastText(), QStringLiteral("Please enter an integer between 1 and 65536."));
    config.sendBufferBox()->setEditText(QStringLiteral("100"));
    config.portList()->setCurrentIndex(3);
    config.parityList()->setCurrentIndex(2);
    config.accept();
    QCOMPARE(config.result(), int(QDialog::Accepted));
    QCOMPARE(config.choices().sendBuffer, QStringLiteral("100"));
    QCOMPARE(config.choices().port, QStringLiteral("4"));
    const kestrin::PortOpenArguments arguments = kestrin::OpenArgumentsFromChoices(config.choices());
    QCOMPARE(arguments.portNumber, 4);
    QCOMPARE(arguments.parity, 'E');
    QCOMPARE(arguments.sendBufferSize, 100);
    QCOMPARE(arguments.stopBits, 1);
    QCOMPARE(config.choices().events[kestrin::kBoxRxChar], 1);
  }

  void settingsButtonOpensThePortChosenInTheDialog() {
    TerminalDialog dialog;
    QTimer::singleShot(0, [] {
      auto* config = qobject_cast<PortConfigDialog*>(QApplication::activeModalWidget());
      if (config == nullptr) return;
      config->portList()->setCurrentIndex(4);
      config->accept();
    });
    QTest::mouseClick(dialog.settingsButton(), Qt::LeftButton);
    QCOMPARE(dialog.windowTitle(), U("串口通讯-端口 5"));
    QVERIFY(ptys_[4]->send({0x5C}));
    QTRY_COMPARE(dialog.receiveText(), QStringLiteral("  5c"));
  }

  void portDevicesDialogMapsAListedDeviceThatThenOpens() {
    // The system lists the fourth pty as a USB adapter; port 9 has no device of its own.
    auto listed = std::make_shared<ListedPorts>();
    const QString device = QString::fromStdString(ptys_[3]->path());
    listed->listing = {{device, U("FTDI USB-RS485")}};
    fw::SetSerialPortSource(listed);
    QTemporaryDir home;
    fw::SetAppProfile(std::make_unique<fw::Profile>(QStringLiteral("kestrin"), home.filePath("kestrin.ini")));
    TerminalDialog dialog;
    QVERIFY(dialog.actions().contains(dialog.portDevicesAction()));
    QCOMPARE(dialog.portDevicesAction()->text(), U("串口设备(&P)..."));
    QString title;
    int rows = 0;
    QTimer::singleShot(0, [&] {
      auto* devices = qobject_cast<kestrin::PortDevicesDialog*>(QApplication::activeModalWidget());
      if (devices == nullptr) return;
      title = devices->windowTitle();
      rows = devices->portMap()->portCount();
      fw::SerialDeviceBox* box = devices->portMap()->box(9);
      const int entry = box->findText(U("FTDI USB-RS485 (%1)").arg(device));
      box->setCurrentIndex(entry);
      emit box->activated(entry);
      devices->accept();
    });
    dialog.portDevicesAction()->trigger();
    QCOMPARE(title, U("串口设备"));
    QCOMPARE(rows, 30);
    QCOMPARE(QString::fromStdString(platform::SerialPortPath(9)), device);
    QCOMPARE(fw::AppProfile().readString(QStringLiteral("Ports"), QStringLiteral("Port9")), device);
    QVERIFY(dialog.openPort(Choices(9)));
    QCOMPARE(dialog.windowTitle(), U("串口通讯-端口 9"));
    QVERIFY(ptys_[3]->send({0x4B}));
    QTRY_COMPARE(dialog.receiveText(), QStringLiteral("  4b"));
    platform::SetSerialPortPath(9, "");
    fw::SetSerialPortSource(nullptr);
    fw::SetAppProfile(nullptr);
  }

  void reopeningDuringAStreamDoesNotHang() {
    TerminalDialog dialog;
    QVERIFY(dialog.openPort(Choices(1)));
    std::atomic<bool> streaming{true};
    std::thread peer([&] {
      // Port 1 is not read once the dialog has moved to port 2: offer, never block.
      while (streaming.load()) {
        ptys_[0]->offer(Bytes(64, 0x33));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    QTRY_VERIFY(FieldCount(dialog.receiveText()) > 100);
    QVERIFY(dialog.openPort(Choices(2)));
    streaming.store(false);
    peer.join();
    QCOMPARE(dialog.windowTitle(), U("串口通讯-端口 2"));
    QVERIFY(ptys_[1]->send({0x99}));
    QTRY_VERIFY(dialog.receiveText().endsWith(QStringLiteral("  99")));
  }

  void portErrorsAppearAsTheStopBox() {
    auto fake = std::make_shared<platform::testing::FakeSerialPort>();
    fake->install();
    fake->setRefuseConfigure(true);
    {
      TerminalDialog dialog;
      QVERIFY(dialog.openPort(Choices(2)));
      QTRY_COMPARE(boxes_->count(), 1);
      const fw::testing::RecordedMessage box = boxes_->calls().first();
      QCOMPARE(box.title, QStringLiteral("Application Error"));
      QCOMPARE(box.icon, fw::MsgIcon::Stop);
      QVERIFY2(box.text.startsWith(QStringLiteral("WARNING:  SetCommState() Failed with the following error: \n")),
               qPrintable(box.text));
      QVERIFY(box.text.endsWith(QStringLiteral("\nPort: 2\n")));

      // A failing write on the monitor thread reaches the GUI thread's box too.
      fake->setFailWrites(true);
      QTest::mouseClick(dialog.sendButton(), Qt::LeftButton);
      QTRY_COMPARE(boxes_->count(), 2);
      QVERIFY(boxes_->lastText().startsWith(QStringLiteral("WARNING:  WriteFile() Failed")));
      QCOMPARE(boxes_->calls().last().icon, fw::MsgIcon::Stop);
    }
    platform::testing::FakeSerialPort::uninstall();
  }

  void failingTimedSendDoesNotStackErrorBoxes() {
    // A box that stays open for a while, turning the event loop as a modal box does.
    struct ModalBoxes : fw::MessageBoxService {
      int shown = 0;
      int depth = 0;
      int maxDepth = 0;
      fw::MsgResult show(QWidget*, const QString&, const QString&, fw::MsgIcon, fw::MsgButtons) override {
        ++shown;
        maxDepth = std::max(maxDepth, ++depth);
        QEventLoop loop;
        QTimer::singleShot(150, &loop, &QEventLoop::quit);
        loop.exec();
        --depth;
        return fw::MsgResult::Ok;
      }
    } modalBoxes;
    boxes_.reset();
    fw::SetMessageBoxService(&modalBoxes);
    auto fake = std::make_shared<platform::testing::FakeSerialPort>();
    fake->install();
    {
      TerminalDialog dialog;
      QVERIFY(dialog.openPort(Choices(1)));
      fake->setFailWrites(true);
      dialog.intervalEdit()->setText(QStringLiteral("10"));
      dialog.timedSendBox()->click();
      QTRY_VERIFY(modalBoxes.shown >= 2);
      dialog.timedSendBox()->click();
      QTest::qWait(200);
    }
    platform::testing::FakeSerialPort::uninstall();
    fw::SetMessageBoxService(nullptr);
    QCOMPARE(modalBoxes.maxDepth, 1);
  }

 private:
  std::unique_ptr<PtyPair> ptys_[5];
  std::unique_ptr<fw::testing::MessageBoxRecorder> boxes_;
};

QTEST_MAIN(TerminalDialogTest)
#include "terminal_dialog_test.moc"
