#include "master/app/bit_row.h"

#include <QCheckBox>
#include <QHBoxLayout>

namespace {
constexpr int kGroupGap = 12;
}

BitRow::BitRow(QWidget* parent) : QWidget(parent) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  for (int bit = 15; bit >= 0; --bit) {
    auto* box = new QCheckBox(this);
    box->setObjectName(QStringLiteral("bit%1").arg(bit));
    box->setToolTip(QStringLiteral("Bit %1").arg(bit));
    boxes_[bit] = box;
    row->addWidget(box);
    if (bit % 4 == 0 && bit != 0) row->addSpacing(kGroupGap);
  }
}

void BitRow::setValue(std::uint16_t value) {
  for (int bit = 0; bit < 16; ++bit) boxes_[bit]->setChecked((value >> bit) & 1);
}

std::uint16_t BitRow::value() const {
  unsigned value = 0;
  for (int bit = 0; bit < 16; ++bit)
    if (boxes_[bit]->isChecked()) value |= 1u << bit;
  return static_cast<std::uint16_t>(value);
}
