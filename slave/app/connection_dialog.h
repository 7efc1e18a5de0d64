#pragma once
// The slave's "Connection" dialog: port (serial 1..8 or TCP/IP), line settings,
// framing, flow control, "Ignore Unit ID", plus where the port's device lives
// and where the TCP server listens.
#include <QDialog>
#include <QString>
#include <cstdint>

#include "slave/core/slave_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

struct ConnectionChoice {
  slavesettings::SlaveSettings settings;
  QString devicePaths[8];  // device path behind "Port 1".."Port 8"
  QString listenAddress;   // "" = every local IPv4 address; IPv4 or IPv6
  int listenPort = 502;
  int transport = slavesettings::kTransportModbusTcp;  // of the TCP/IP choice
};

class ConnectionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConnectionDialog(const ConnectionChoice& choice, QWidget* parent = nullptr);
  const ConnectionChoice& choice() const { return choice_; }

  QComboBox* portList() const { return port_; }
  QComboBox* baudList() const { return baud_; }
  QComboBox* dataBitsList() const { return dataBits_; }
  QComboBox* parityList() const { return parity_; }
  QComboBox* stopBitsList() const { return stopBits_; }
  QRadioButton* rtuButton() const { return rtu_; }
  QRadioButton* asciiButton() const { return ascii_; }
  QCheckBox* dsrBox() const { return dsr_; }
  QCheckBox* ctsBox() const { return cts_; }
  QCheckBox* rtsToggleBox() const { return rtsToggle_; }
  QLineEdit* rtsDelayEdit() const { return rtsDelay_; }
  QCheckBox* ignoreUnitIdBox() const { return ignoreUnitId_; }
  QLineEdit* devicePathEdit() const { return devicePath_; }
  QLineEdit* listenAddressEdit() const { return listenAddress_; }
  QLineEdit* listenPortEdit() const { return listenPort_; }
  QComboBox* transportList() const { return transport_; }

  void accept() override;

 private:
  // Takes the controls over into choice_; false (dialog stays) on a bad field.
  bool takeFields();
  void showFields();
  void enableForPort();
  void portChosen(int index);

  ConnectionChoice choice_;
  int shownPort_ = 0;
  QComboBox* port_;
  QComboBox* baud_;
  QComboBox* dataBits_;
  QComboBox* parity_;
  QComboBox* stopBits_;
  QRadioButton* rtu_;
  QRadioButton* ascii_;
  QCheckBox* dsr_;
  QCheckBox* cts_;
  QCheckBox* rtsToggle_;
  QLineEdit* rtsDelay_;
  QCheckBox* ignoreUnitId_;
  QLineEdit* devicePath_;
  QLineEdit* listenAddress_;
  QLineEdit* listenPort_;
  QComboBox* transport_;
};
