#pragma once
// The "Connection" dialog with its "Advanced" dialog (flow control, echo), and
// the "Serial Ports" dialog that maps port numbers to device paths.
#include <QDialog>

#include "master/core/zelmor_files.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace fw {
class SerialPortMapWidget;
}

class AdvancedDialog : public QDialog {
  Q_OBJECT

 public:
  AdvancedDialog(const zelmor::CommSettings& settings, QWidget* parent = nullptr);
  // Copies the five values into settings (after OK).
  void takeInto(zelmor::CommSettings* settings) const;

  QCheckBox* dsrBox() const { return dsrBox_; }
  QCheckBox* ctsBox() const { return ctsBox_; }
  QCheckBox* rtsToggleBox() const { return rtsToggleBox_; }
  QLineEdit* delayEdit() const { return delayEdit_; }
  QCheckBox* echoBox() const { return echoBox_; }

 public slots:
  void accept() override;

 private:
  void updateEnabling();
  QCheckBox* dsrBox_;
  QCheckBox* ctsBox_;
  QCheckBox* rtsToggleBox_;
  QLineEdit* delayEdit_;
  QCheckBox* echoBox_;
  int delay_ = 1;
};

class ConnectionDialog : public QDialog {
  Q_OBJECT

 public:
  ConnectionDialog(const zelmor::CommSettings& settings, QWidget* parent = nullptr);
  const zelmor::CommSettings& settings() const { return settings_; }

  QComboBox* portList() const { return portList_; }
  QComboBox* baudList() const { return baudList_; }
  QComboBox* dataBitsList() const { return dataBitsList_; }
  QComboBox* parityList() const { return parityList_; }
  QComboBox* stopBitsList() const { return stopBitsList_; }
  QRadioButton* rtuButton() const { return rtuButton_; }
  QRadioButton* asciiButton() const { return asciiButton_; }
  QLineEdit* timeoutEdit() const { return timeoutEdit_; }
  QLineEdit* delayEdit() const { return delayEdit_; }
  QLineEdit* ipEdit() const { return ipEdit_; }  // host name, IPv4 or IPv6 address
  QComboBox* transportList() const { return transportList_; }
  QLineEdit* servicePortEdit() const { return servicePortEdit_; }
  QPushButton* advancedButton() const { return advancedButton_; }
  QLabel* deviceLabel() const { return deviceLabel_; }

  // Opens "Advanced"; OK copies its five values into this dialog's record.
  void openAdvanced();

 public slots:
  void accept() override;

 private:
  void portChanged(int index);
  void updateEnabling();
  // Takes every field into settings_, validating; false with the dialog kept open.
  bool takeFields();

  zelmor::CommSettings settings_;
  int shownPort_ = 0;
  QComboBox* portList_;
  QComboBox* baudList_;
  QComboBox* dataBitsList_;
  QComboBox* parityList_;
  QComboBox* stopBitsList_;
  QRadioButton* rtuButton_;
  QRadioButton* asciiButton_;
  QLineEdit* timeoutEdit_;
  QLineEdit* delayEdit_;
  QLineEdit* ipEdit_;
  QComboBox* transportList_;
  QLineEdit* servicePortEdit_;
  QPushButton* advancedButton_;
  QLabel* deviceLabel_;
};

// Port 1..8 -> device path, stored in the profile section "Ports". Each port
// offers the serial devices present and takes any typed path.
class SerialPortsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit SerialPortsDialog(QWidget* parent = nullptr);
  // The path field of port 1..8 (the edit of its device drop-down).
  QLineEdit* pathEdit(int portNumber) const;
  fw::SerialPortMapWidget* portMap() const { return map_; }

 public slots:
  void accept() override;

 private:
  fw::SerialPortMapWidget* map_;
};
