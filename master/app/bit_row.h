#pragma once
// A 16-bit value as a row of 16 check boxes in four groups of four, bit 15 at
// the left, a checked box a 1 bit. Each box has its bit number above it, and
// the value is shown in hex at the right as the boxes change. The binary
// register write, the mask write and the binary value entry all use it; the
// caller puts it in its group box.
#include <QWidget>
#include <array>
#include <cstdint>

class QCheckBox;
class QLabel;

class BitRow : public QWidget {
  Q_OBJECT

 public:
  explicit BitRow(QWidget* parent = nullptr);

  void setValue(std::uint16_t value);
  std::uint16_t value() const;
  // The box of bit 0..15.
  QCheckBox* box(int bit) const { return boxes_[bit]; }
  // The value in hex, as the poll window shows it ("0x8001").
  QLabel* hexLabel() const { return hex_; }

 private:
  void showHex();

  std::array<QCheckBox*, 16> boxes_{};
  QLabel* hex_;
};
