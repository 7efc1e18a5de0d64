#pragma once
// kestrin's one window: the receive view above, the send panel of the current
// mode below (text or Modbus frame), and the buttons that open the port, send
// once or on a timer, clear and pause.
#include <QDialog>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <vector>

#include "terminal/event_serial_port.h"
#include "terminal/port_config_dialog.h"
#include "terminal/send_data.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedLayout;

namespace fw {
class MessageTarget;
}

namespace kestrin {

class ModbusFramePanel;
class TextSendPanel;

// Routes the port's error boxes to the message-box service on the GUI thread.
void InstallPortErrorBox();

class TerminalDialog : public QDialog {
  Q_OBJECT
 public:
  enum SendMode { kTextMode = 0, kModbusMode = 1 };

  // Received bytes per line of the receive view. Breaking the text into short
  // paragraphs keeps appending cheap however much has been received.
  static constexpr int kBytesPerLine = 16;
  // Lines kept in the receive view; the oldest go first.
  static constexpr int kMaxReceiveLines = 100000;

  explicit TerminalDialog(QWidget* parent = nullptr);
  ~TerminalDialog() override;

  // Opens (or reopens) the port with the configuration dialog's choices, as
  // after "设定" with OK. True when the port was opened.
  bool openPort(const PortChoices& choices);
  // "发送": sends the current panel's bytes once.
  void sendOnce();
  // The receive view's text, including bytes not yet painted.
  QString receiveText();
  // Bytes added to the receive view since it was last cleared.
  long shownByteCount() const { return shownBytes_; }
  // Handles one notification of the port (on the GUI thread).
  std::intptr_t handlePortMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

  EventSerialPort& port() { return port_; }
  int sendMode() const { return sendMode_; }
  bool receiving() const { return receiving_; }
  // The panels, created on first use (nullptr before).
  TextSendPanel* textPanel() const { return textPanel_; }
  ModbusFramePanel* modbusPanel() const { return modbusPanel_; }

  QCheckBox* showTimingBox() const { return showTimingBox_; }
  // "显示发送数据": sent bytes also appear in the receive view, each line marked
  // "TX:" and coloured, so that requests and replies pair up. Off by default,
  // kept in the profile (section "Terminal", key "ShowSent").
  QCheckBox* showSentBox() const { return showSentBox_; }
  QRadioButton* textModeButton() const { return textModeButton_; }
  QRadioButton* modbusModeButton() const { return modbusModeButton_; }
  QCheckBox* timedSendBox() const { return timedSendBox_; }
  QLineEdit* intervalEdit() const { return intervalEdit_; }
  QPlainTextEdit* receiveBox() const { return receiveBox_; }
  QProgressBar* progressBar() const { return progressBar_; }
  QPushButton* sendButton() const { return sendButton_; }
  QPushButton* clearButton() const { return clearButton_; }
  QPushButton* pauseButton() const { return pauseButton_; }
  QPushButton* settingsButton() const { return settingsButton_; }
  QPushButton* exitButton() const { return exitButton_; }
  QWidget* placeholder() const { return placeholder_; }
  QAction* aboutAction() const { return aboutAction_; }
  QAction* portDevicesAction() const { return portDevicesAction_; }
  bool timedSendRunning() const { return sendTimer_.isActive(); }
  bool progressRunning() const { return progressTimer_.isActive(); }

 protected:
  // Enter in a send panel sends (when sending is possible) instead of
  // pressing the default "退出" button, so typing and sending never ends the program.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void buildLayout();
  void showSendMode(int mode);
  void onSettings();
  void onPortDevices();
  void onClear();
  void onPause();
  void onShowTimingToggled(bool on);
  void onTimedSendToggled(bool on);
  void onProgressTick();
  void onPortChar(std::uint8_t byte, int portNumber);
  void flushReceived();
  void showSent(const std::uint8_t* bytes, int count);
  void setSendingEnabled(bool enabled);
  // Shows a refusal; a running timed send stops first, so boxes cannot pile up.
  void refuseSend(const QString& message);

  EventSerialPort port_;
  std::unique_ptr<fw::MessageTarget> target_;

  int portNumber_ = 1;
  int sendMode_ = kModbusMode;
  bool receiving_ = false;
  bool showTiming_ = false;
  std::uint32_t timeReference_ = 0;
  int progressCount_ = 0;
  std::uint8_t sendBuffer_[kSendBufferBytes] = {};

  QString pendingReceived_;
  int bytesInLine_ = 0;
  long shownBytes_ = 0;

  QTimer sendTimer_;      // timed send, period = interval
  QTimer progressTimer_;  // progress animation, 10 ms
  QTimer flushTimer_;     // paints received bytes in batches

  TextSendPanel* textPanel_ = nullptr;
  ModbusFramePanel* modbusPanel_ = nullptr;
  QCheckBox* showTimingBox_ = nullptr;
  QCheckBox* showSentBox_ = nullptr;
  QRadioButton* textModeButton_ = nullptr;
  QRadioButton* modbusModeButton_ = nullptr;
  QCheckBox* timedSendBox_ = nullptr;
  QLineEdit* intervalEdit_ = nullptr;
  QPlainTextEdit* receiveBox_ = nullptr;
  QWidget* placeholder_ = nullptr;
  QStackedLayout* panelStack_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QPushButton* sendButton_ = nullptr;
  QPushButton* clearButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* settingsButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* portDevicesAction_ = nullptr;
};

}  // namespace kestrin
