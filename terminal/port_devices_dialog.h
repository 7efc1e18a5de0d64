#pragma once
// The "串口设备" dialog: which device each port number 1..30 of "端口配置" opens.
// It lists the serial devices present and takes any typed path; OK stores the
// mapping in the profile (section "Ports").
#include <QDialog>

namespace fw {
class SerialPortMapWidget;
}

namespace kestrin {

constexpr int kPortDeviceCount = 30;

class PortDevicesDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PortDevicesDialog(QWidget* parent = nullptr);
  fw::SerialPortMapWidget* portMap() const { return map_; }

  void accept() override;

 private:
  fw::SerialPortMapWidget* map_;
};

}  // namespace kestrin
