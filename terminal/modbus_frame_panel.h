#pragma once
// The lower panel that builds a Modbus request (station, function, register
// address, quantity or value) with its CRC, and shows the last frame built.
#include <QWidget>
#include <array>
#include <cstdint>

#include "terminal/send_data.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace kestrin {

class ModbusFramePanel : public QWidget {
  Q_OBJECT
 public:
  explicit ModbusFramePanel(QWidget* parent = nullptr);

  // Reads the controls and builds the frame; on success shows it in the frame
  // box. A refusal leaves frame and box unchanged; the caller reports it.
  FrameResult buildRequestFrame(std::array<std::uint8_t, 8>* frame);

  QLineEdit* stationEdit() const { return stationEdit_; }
  QComboBox* functionList() const { return functionList_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* quantityEdit() const { return quantityEdit_; }
  QLabel* quantityLabel() const { return quantityLabel_; }
  QLineEdit* frameBox() const { return frameBox_; }

 private:
  void updateQuantityLabel();

  QLineEdit* stationEdit_;
  QComboBox* functionList_;
  QLineEdit* addressEdit_;
  QLabel* quantityLabel_;
  QLineEdit* quantityEdit_;
  QLineEdit* frameBox_;
};

}  // namespace kestrin
