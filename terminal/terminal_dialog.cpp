#include "terminal/terminal_dialog.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStyle>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>
#include <array>
#include <cstring>

#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/validation.h"
#include "framework/window_messages.h"
#include "platform/ticks.h"
#include "resources/kestrin_texts.h"
#include "terminal/modbus_frame_panel.h"
#include "terminal/port_devices_dialog.h"
#include "terminal/send_data.h"
#include "terminal/text_send_panel.h"

namespace kestrin {

namespace {

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

// Painting received bytes this often keeps the window responsive under a
// continuous stream while the view stays visibly current.
constexpr int kFlushIntervalMs = 20;
constexpr int kDefaultIntervalMs = 100;
constexpr int kMinIntervalMs = 10;
constexpr int kMaxIntervalMs = 10000;
constexpr std::uint32_t kTerminalEventMask = EV_RXCHAR | EV_CTS;
constexpr int kAboutCommand = 16;
const QString kOptionsSection = QStringLiteral("Terminal");
const QString kShowSentKey = QStringLiteral("ShowSent");

// Sent lines: dark blue on a light view, light blue on a dark one.
QColor SentColour(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() >= 128 ? QColor(0, 0, 170) : QColor(130, 180, 255);
}

void ShowPortErrorBox(const std::string& message, const std::string& title) {
  const QString text = QString::fromStdString(message);
  const QString caption = QString::fromStdString(title);
  auto show = [text, caption] {
    // A port that keeps failing (a timed send to a vanished device) would
    // otherwise stack one modal box on another; one at a time is enough.
    static bool showing = false;
    if (showing) return;
    showing = true;
    fw::ShowMessage(text, fw::MsgIcon::Stop, fw::MsgButtons::Ok, nullptr, caption);
    showing = false;
  };
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) return;
  if (QThread::currentThread() == application->thread()) {
    show();
  } else {
    // The monitor thread carries on at once; the box appears on the GUI thread.
    QMetaObject::invokeMethod(application, show, Qt::QueuedConnection);
  }
}

}  // namespace

void InstallPortErrorBox() { SetPortErrorReporter(&ShowPortErrorBox); }

TerminalDialog::TerminalDialog(QWidget* parent) : QDialog(parent) {
  buildLayout();
  setWindowTitle(Text(text::kTerminalTitle));
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));

  sendTimer_.setTimerType(Qt::PreciseTimer);
  connect(&sendTimer_, &QTimer::timeout, this, &TerminalDialog::sendOnce);
  progressTimer_.setInterval(10);
  connect(&progressTimer_, &QTimer::timeout, this, &TerminalDialog::onProgressTick);
  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(kFlushIntervalMs);
  connect(&flushTimer_, &QTimer::timeout, this, &TerminalDialog::flushReceived);

  // Linux has no window system menu: the about entry lives in the dialog's
  // context menu (right click, or the menu key).
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  aboutAction_ = new QAction(Text(text::kAboutEntry), this);
  aboutAction_->setData(kAboutCommand);
  portDevicesAction_ = new QAction(Text(text::kPortDevicesEntry), this);
  connect(portDevicesAction_, &QAction::triggered, this, &TerminalDialog::onPortDevices);
  addAction(portDevicesAction_);
  addAction(separator);
  addAction(aboutAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  showSendMode(sendMode_);
  progressBar_->setRange(0, 10);
  progressBar_->setValue(0);
  setSendingEnabled(false);
}

TerminalDialog::~TerminalDialog() {
  // The monitor thread may be waiting for this window to take a byte; close
  // the target first so the port's destructor can end the thread.
  if (target_) target_->close();
}

void TerminalDialog::buildLayout() {
  showTimingBox_ = new QCheckBox(Text(text::kShowTiming), this);
  showSentBox_ = new QCheckBox(Text(text::kShowSent), this);
  showSentBox_->setChecked(fw::HasAppProfile() &&
                           fw::AppProfile().readIntInRange(kOptionsSection, kShowSentKey, 0, 0, 1) == 1);
  textModeButton_ = new QRadioButton(Text(text::kModeText), this);
  modbusModeButton_ = new QRadioButton(Text(text::kModeModbus), this);
  auto* modeGroup = new QButtonGroup(this);
  modeGroup->addButton(textModeButton_, kTextMode);
  modeGroup->addButton(modbusModeButton_, kModbusMode);
  modbusModeButton_->setChecked(true);
  timedSendBox_ = new QCheckBox(Text(text::kTimedSend), this);
  intervalEdit_ = new QLineEdit(QString::number(kDefaultIntervalMs), this);
  intervalEdit_->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 12);

  auto* top = new QHBoxLayout;
  top->addWidget(showTimingBox_);
  top->addWidget(showSentBox_);
  top->addStretch(1);
  top->addWidget(textModeButton_);
  top->addWidget(modbusModeButton_);
  top->addSpacing(12);
  top->addWidget(timedSendBox_);
  top->addWidget(intervalEdit_);
  top->addWidget(new QLabel(Text(text::kMilliseconds), this));

  receiveBox_ = new QPlainTextEdit(this);
  receiveBox_->setReadOnly(true);
  receiveBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  receiveBox_->setMaximumBlockCount(kMaxReceiveLines);
  receiveBox_->setUndoRedoEnabled(false);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  receiveBox_->setFont(fixed);
  auto* receiveLabel = new QLabel(Text(text::kReceiveLabel), this);
  receiveLabel->setBuddy(receiveBox_);

  placeholder_ = new QWidget(this);
  panelStack_ = new QStackedLayout(placeholder_);
  panelStack_->setContentsMargins(0, 0, 0, 0);

  progressBar_ = new QProgressBar(this);
  progressBar_->setTextVisible(false);
  progressBar_->setMaximumHeight(8);

  sendButton_ = new QPushButton(Text(text::kSend), this);
  clearButton_ = new QPushButton(Text(text::kClear), this);
  pauseButton_ = new QPushButton(Text(text::kPaused), this);
  settingsButton_ = new QPushButton(Text(text::kSettings), this);
  exitButton_ = new QPushButton(Text(text::kExit), this);
  for (QPushButton* button : {sendButton_, clearButton_, pauseButton_, settingsButton_}) button->setAutoDefault(false);
  exitButton_->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(sendButton_);
  buttons->addWidget(clearButton_);
  buttons->addWidget(pauseButton_);
  buttons->addWidget(settingsButton_);
  buttons->addStretch(1);
  buttons->addWidget(exitButton_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(receiveLabel);
  layout->addWidget(receiveBox_, 1);
  // The send panels carry their own "发送：" label.
  layout->addWidget(placeholder_);
  layout->addWidget(progressBar_);
  layout->addLayout(buttons);

  // 367 x 302 dialog units in the dialog's font.
  const QFontMetrics metrics = fontMetrics();
  resize(367 * metrics.averageCharWidth() / 4 + 40, 302 * metrics.height() / 8);

  connect(modeGroup, &QButtonGroup::idClicked, this, &TerminalDialog::showSendMode);
  connect(showTimingBox_, &QCheckBox::toggled, this, &TerminalDialog::onShowTimingToggled);
  connect(showSentBox_, &QCheckBox::toggled, this, [](bool on) {
    if (!fw::HasAppProfile()) return;
    fw::AppProfile().writeInt(kOptionsSection, kShowSentKey, on ? 1 : 0);
    fw::AppProfile().sync();
  });
  connect(timedSendBox_, &QCheckBox::toggled, this, &TerminalDialog::onTimedSendToggled);
  connect(sendButton_, &QPushButton::clicked, this, &TerminalDialog::sendOnce);
  connect(clearButton_, &QPushButton::clicked, this, &TerminalDialog::onClear);
  connect(pauseButton_, &QPushButton::clicked, this, &TerminalDialog::onPause);
  connect(settingsButton_, &QPushButton::clicked, this, &TerminalDialog::onSettings);
  connect(exitButton_, &QPushButton::clicked, this, &TerminalDialog::accept);
}

void TerminalDialog::showSendMode(int mode) {
  sendMode_ = mode;
  QWidget* panel = nullptr;
  if (mode == kTextMode) {
    if (textPanel_ == nullptr) {
      textPanel_ = new TextSendPanel(placeholder_);
      panelStack_->addWidget(textPanel_);
    }
    panel = textPanel_;
  } else {
    if (modbusPanel_ == nullptr) {
      modbusPanel_ = new ModbusFramePanel(placeholder_);
      panelStack_->addWidget(modbusPanel_);
    }
    panel = modbusPanel_;
  }
  panelStack_->setCurrentWidget(panel);
  (mode == kTextMode ? textModeButton_ : modbusModeButton_)->setChecked(true);
}

void TerminalDialog::setSendingEnabled(bool enabled) {
  if (!enabled && timedSendBox_->isChecked()) timedSendBox_->setChecked(false);
  sendButton_->setEnabled(enabled && !timedSendBox_->isChecked());
  timedSendBox_->setEnabled(enabled);
}

void TerminalDialog::onSettings() {
  PortConfigDialog dialog(port_, this);
  if (dialog.exec() != QDialog::Accepted) return;
  openPort(dialog.choices());
}

void TerminalDialog::onPortDevices() {
  // The mapping is read when a port opens, so a change takes effect on the next "设定".
  PortDevicesDialog dialog(this);
  dialog.exec();
}

bool TerminalDialog::openPort(const PortChoices& choices) {
  const PortOpenArguments arguments = OpenArgumentsFromChoices(choices);
  // A new target per opening: closing the old one releases a monitor thread
  // blocked delivering a byte, so the port can end it.
  if (target_) target_->close();
  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
        return handlePortMessage(message, wParam, lParam);
      });
  portNumber_ = arguments.portNumber;
  const bool opened = port_.OpenPort(target_->handle(), arguments.portNumber, arguments.baudRate, arguments.parity,
                                     arguments.dataBits, arguments.stopBits, kTerminalEventMask,
                                     arguments.sendBufferSize);
  if (opened) {
    port_.StartPortThread();
    timeReference_ = 0;
    pauseButton_->setText(Text(text::kReceiving));
    receiving_ = true;
    setSendingEnabled(true);
    setWindowTitle(QString::asprintf(text::kTerminalTitleWithPort, arguments.portNumber));
  } else {
    setWindowTitle(Text(text::kTerminalTitle));
    setSendingEnabled(false);
    fw::ShowMessage(Text(text::kOpenFailed), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this,
                    Text(text::kProgramName));
  }
  return opened;
}

void TerminalDialog::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  QWidget* focus = QApplication::focusWidget();
  if (enter && event->modifiers() == Qt::NoModifier && focus != nullptr && placeholder_->isAncestorOf(focus)) {
    if (sendButton_->isEnabled()) sendOnce();
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TerminalDialog::refuseSend(const QString& message) {
  if (timedSendBox_->isChecked()) timedSendBox_->setChecked(false);
  fw::ShowMessage(message, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
}

void TerminalDialog::sendOnce() {
  int count = 0;
  if (sendMode_ == kTextMode) {
    if (textPanel_ == nullptr) return;
    const std::vector<std::uint8_t> bytes = textPanel_->bytes();
    const int length = static_cast<int>(bytes.size());
    if (length > kSendBufferBytes) {
      refuseSend(Text(text::kTooLongForSendBuffer).arg(kSendBufferBytes).arg(length));
      return;
    }
    if (length > 0) std::memcpy(sendBuffer_, bytes.data(), bytes.size());
    count = length;
  } else {
    if (modbusPanel_ == nullptr) return;
    std::array<std::uint8_t, 8> frame;
    switch (modbusPanel_->buildRequestFrame(&frame)) {
      case FrameResult::StationTooLarge: refuseSend(Text(text::kStationTooLarge)); return;
      case FrameResult::BadFunction: refuseSend(Text(text::kBadFunction)); return;
      case FrameResult::FieldTooLarge: refuseSend(Text(text::kFieldTooLarge)); return;
      case FrameResult::Ok: break;
    }
    std::memcpy(sendBuffer_, frame.data(), frame.size());
    count = static_cast<int>(frame.size());
  }
  if (count == 0) return;
  if (count > port_.SendBufferSize()) {
    refuseSend(Text(text::kTooLongForPortBuffer).arg(port_.SendBufferSize()).arg(count));
    return;
  }
  if (!port_.QueueWrite(sendBuffer_, count)) {
    refuseSend(Text(text::kPortBusy));
    return;
  }
  showSent(sendBuffer_, count);
  if (!progressTimer_.isActive()) progressTimer_.start();
}

void TerminalDialog::onProgressTick() {
  ++progressCount_;
  progressBar_->setValue(progressCount_ > 10 ? 10 : progressCount_);
  if (progressCount_ > 10) {
    progressTimer_.stop();
    progressCount_ = 0;
    progressBar_->setValue(0);
  }
}

std::intptr_t TerminalDialog::handlePortMessage(std::uint32_t message, std::uintptr_t wParam,
                                                std::intptr_t lParam) {
  if (message == WM_PORT_CHAR) onPortChar(static_cast<std::uint8_t>(wParam), static_cast<int>(lParam));
  return 0;
}

void TerminalDialog::onPortChar(std::uint8_t byte, int portNumber) {
  if (portNumber < 1 || portNumber > 50 || !receiving_) return;
  if (bytesInLine_ == kBytesPerLine) {
    pendingReceived_ += QLatin1Char('\n');
    bytesInLine_ = 0;
  }
  pendingReceived_ += QLatin1String(FormatReceivedByte(byte).c_str());
  ++bytesInLine_;
  ++shownBytes_;
  if (showTiming_) {
    const std::uint32_t now = platform::TickCount();
    if (timeReference_ == 0) timeReference_ = now;
    pendingReceived_ += QLatin1String(FormatElapsed(static_cast<int>(now - timeReference_)).c_str());
    timeReference_ = now;
  }
  if (!flushTimer_.isActive()) flushTimer_.start();
}

void TerminalDialog::flushReceived() {
  flushTimer_.stop();
  if (pendingReceived_.isEmpty()) return;
  // Appending (rather than setting the whole text again) keeps each byte's
  // cost independent of how much the view already holds.
  QTextCursor cursor(receiveBox_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pendingReceived_);
  pendingReceived_.clear();
  receiveBox_->setTextCursor(cursor);
  receiveBox_->verticalScrollBar()->setValue(receiveBox_->verticalScrollBar()->maximum());
}

void TerminalDialog::showSent(const std::uint8_t* bytes, int count) {
  // A paused view takes nothing, sent or received.
  if (!showSentBox_->isChecked() || !receiving_) return;
  flushReceived();  // what came before the request stays before it
  QTextCursor cursor(receiveBox_->document());
  cursor.movePosition(QTextCursor::End);
  if (bytesInLine_ > 0) cursor.insertText(QStringLiteral("\n"), QTextCharFormat());
  QTextCharFormat marked;
  marked.setForeground(SentColour(receiveBox_->palette()));
  cursor.insertText(QString::fromStdString(FormatSentLines(bytes, count, text::kSentMark, kBytesPerLine)), marked);
  cursor.insertText(QStringLiteral("\n"), QTextCharFormat());
  bytesInLine_ = 0;  // the reply starts a line of its own
  receiveBox_->setTextCursor(cursor);
  receiveBox_->verticalScrollBar()->setValue(receiveBox_->verticalScrollBar()->maximum());
}

QString TerminalDialog::receiveText() {
  flushReceived();
  return receiveBox_->toPlainText();
}

void TerminalDialog::onClear() {
  flushTimer_.stop();
  pendingReceived_.clear();
  bytesInLine_ = 0;
  shownBytes_ = 0;
  receiveBox_->clear();
  timeReference_ = 0;
}

void TerminalDialog::onPause() {
  if (receiving_) {
    timeReference_ = 0;
    pauseButton_->setText(Text(text::kPaused));
    receiving_ = false;
  } else {
    pauseButton_->setText(Text(text::kReceiving));
    receiving_ = true;
  }
}

void TerminalDialog::onShowTimingToggled(bool on) {
  showTiming_ = on;
  if (on) return;
  flushReceived();
  const QString stripped =
      QString::fromStdString(RemoveTimingGroups(receiveBox_->toPlainText().toStdString()));
  receiveBox_->setPlainText(stripped);
  QTextCursor cursor(receiveBox_->document());
  cursor.movePosition(QTextCursor::End);
  receiveBox_->setTextCursor(cursor);
  receiveBox_->verticalScrollBar()->setValue(receiveBox_->verticalScrollBar()->maximum());
}

void TerminalDialog::onTimedSendToggled(bool on) {
  if (on) {
    fw::DataExchange exchange(this);
    int interval = kDefaultIntervalMs;
    if (!exchange.intField(intervalEdit_, kMinIntervalMs, kMaxIntervalMs, &interval)) {
      const QSignalBlocker blocker(timedSendBox_);
      timedSendBox_->setChecked(false);
      return;
    }
    sendTimer_.start(interval);
    sendButton_->setEnabled(false);
  } else {
    sendTimer_.stop();
    sendButton_->setEnabled(timedSendBox_->isEnabled());
  }
}

}  // namespace kestrin
