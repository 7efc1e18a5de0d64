#pragma once
// The "设定" dialog: port number, line settings, send-buffer size and the
// port-event check boxes. It starts from the port's current settings and
// hands back the user's choices as texts.
#include <QDialog>
#include <QString>
#include <array>

class QCheckBox;
class QComboBox;

namespace kestrin {

class EventSerialPort;

// Check boxes, top to bottom.
enum EventBox {
  kBoxBreak, kBoxCts, kBoxDsr, kBoxErr, kBoxRing, kBoxRlsd, kBoxRxChar, kBoxRxFlag, kBoxTxEmpty, kEventBoxCount
};

struct PortChoices {
  QString port;
  QString baudRate;
  QString dataBits;
  QString parity;
  QString stopBits;
  QString sendBuffer;
  std::array<int, kEventBoxCount> events{};
};

// What the terminal opens the port with, read from the choices.
struct PortOpenArguments {
  int portNumber = 1;
  int baudRate = 9600;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
  int sendBufferSize = 512;
};
PortOpenArguments OpenArgumentsFromChoices(const PortChoices& choices);

constexpr int kMinSendBuffer = 1;
constexpr int kMaxSendBuffer = 65536;

class PortConfigDialog : public QDialog {
  Q_OBJECT
 public:
  PortConfigDialog(const EventSerialPort& port, QWidget* parent = nullptr);

  // Valid after the dialog was accepted.
  const PortChoices& choices() const { return choices_; }

  QComboBox* portList() const { return portList_; }
  QComboBox* baudList() const { return baudList_; }
  QComboBox* parityList() const { return parityList_; }
  QComboBox* dataBitsList() const { return dataBitsList_; }
  QComboBox* stopBitsList() const { return stopBitsList_; }
  QComboBox* sendBufferBox() const { return sendBufferBox_; }
  QCheckBox* eventBox(EventBox box) const { return eventBoxes_[box]; }

  void accept() override;

 private:
  QComboBox* portList_;
  QComboBox* baudList_;
  QComboBox* parityList_;
  QComboBox* dataBitsList_;
  QComboBox* stopBitsList_;
  QComboBox* sendBufferBox_;
  std::array<QCheckBox*, kEventBoxCount> eventBoxes_{};
  PortChoices choices_;
};

}  // namespace kestrin
