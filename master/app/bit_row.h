#pragma once
// A 16-bit value as a row of 16 check boxes in four groups of four, bit 15 at
// the left, a checked box a 1 bit. The binary register write, the mask write
// and the binary value entry all use it; the caller puts it in its group box.
#include <QWidget>
#include <array>
#include <cstdint>

class QCheckBox;

class BitRow : public QWidget {
  Q_OBJECT

 public:
  explicit BitRow(QWidget* parent = nullptr);

  void setValue(std::uint16_t value);
  std::uint16_t value() const;
  // The box of bit 0..15.
  QCheckBox* box(int bit) const { return boxes_[bit]; }

 private:
  std::array<QCheckBox*, 16> boxes_{};
};
