#include "master/app/bit_row.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>

#include "common/value_format.h"

namespace {
constexpr int kGroupGap = 12;

QString HexText(std::uint16_t value) {
  return QString::fromStdString(valuefmt::RegisterText(valuefmt::kHex, value, valuefmt::TextForm::kMasterScreen));
}
}  // namespace

BitRow::BitRow(QWidget* parent) : QWidget(parent) {
  // Row 0 the bit numbers, row 1 the boxes; a gap column after every group of four.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(2);
  grid->setVerticalSpacing(0);
  int column = 0;
  for (int bit = 15; bit >= 0; --bit) {
    auto* box = new QCheckBox(this);
    box->setObjectName(QStringLiteral("bit%1").arg(bit));
    box->setToolTip(QStringLiteral("Bit %1").arg(bit));
    boxes_[bit] = box;
    grid->addWidget(new QLabel(QString::number(bit), this), 0, column, Qt::AlignHCenter | Qt::AlignBottom);
    grid->addWidget(box, 1, column, Qt::AlignHCenter);
    connect(box, &QCheckBox::toggled, this, &BitRow::showHex);
    ++column;
    if (bit % 4 == 0 && bit != 0) grid->setColumnMinimumWidth(column++, kGroupGap);
  }
  grid->setColumnMinimumWidth(column++, kGroupGap);
  hex_ = new QLabel(this);
  hex_->setObjectName(QStringLiteral("hex"));
  hex_->setMinimumWidth(hex_->fontMetrics().horizontalAdvance(HexText(0xFFFF)));  // no jumps as digits change
  grid->addWidget(hex_, 1, column);
  showHex();
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

void BitRow::showHex() {
  hex_->setText(HexText(value()));
}
