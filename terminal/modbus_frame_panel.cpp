#include "terminal/modbus_frame_panel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

#include "resources/kestrin_texts.h"

namespace kestrin {

namespace {

QLineEdit* DigitsEdit(const QString& initial, int maxDigits, QWidget* parent) {
  auto* edit = new QLineEdit(initial, parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  edit->setMaxLength(maxDigits);
  return edit;
}

// An empty digits-only field reads as 0.
long FieldValue(const QLineEdit* edit) { return edit->text().toLong(); }

}  // namespace

ModbusFramePanel::ModbusFramePanel(QWidget* parent) : QWidget(parent) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  // Station numbers up to 999 can be typed so that a number above 256 is
  // refused with its message rather than silently cut.
  stationEdit_ = DigitsEdit(QStringLiteral("1"), 3, this);
  functionList_ = new QComboBox(this);
  for (int function = 1; function <= 6; ++function) functionList_->addItem(QStringLiteral(" %1").arg(function));
  functionList_->setCurrentIndex(2);  // " 3"
  addressEdit_ = DigitsEdit(QStringLiteral("0"), 5, this);
  quantityEdit_ = DigitsEdit(QStringLiteral("1"), 5, this);
  quantityLabel_ = new QLabel(QString::fromUtf8(text::kQuantity), this);
  frameBox_ = new QLineEdit(this);
  frameBox_->setReadOnly(true);

  auto addField = [&](int column, const char* caption, QWidget* field) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setBuddy(field);
    layout->addWidget(label, 0, column);
    layout->addWidget(field, 1, column);
  };
  layout->addWidget(new QLabel(QString::fromUtf8(text::kSendLabel), this), 0, 0);
  addField(1, text::kStation, stationEdit_);
  addField(2, text::kFunction, functionList_);
  addField(3, text::kRegisterAddress, addressEdit_);
  quantityLabel_->setBuddy(quantityEdit_);
  layout->addWidget(quantityLabel_, 0, 4);
  layout->addWidget(quantityEdit_, 1, 4);
  auto* frameLabel = new QLabel(QString::fromUtf8(text::kFrame), this);
  frameLabel->setBuddy(frameBox_);
  layout->addWidget(frameLabel, 2, 0);
  layout->addWidget(frameBox_, 2, 1, 1, 4);

  connect(functionList_, &QComboBox::currentIndexChanged, this, [this] { updateQuantityLabel(); });
  updateQuantityLabel();
}

void ModbusFramePanel::updateQuantityLabel() {
  const int function = functionList_->currentText().trimmed().toInt();
  quantityLabel_->setText(QString::fromUtf8(function == 5 || function == 6 ? text::kWriteValue : text::kQuantity));
}

FrameResult ModbusFramePanel::buildRequestFrame(std::array<std::uint8_t, 8>* frame) {
  ModbusRequestFields fields;
  fields.station = FieldValue(stationEdit_);
  fields.function = functionList_->currentText().trimmed().toLong();
  fields.registerAddress = FieldValue(addressEdit_);
  fields.quantityOrValue = FieldValue(quantityEdit_);
  const FrameResult result = BuildRequestFrame(fields, frame);
  if (result == FrameResult::Ok) {
    frameBox_->setText(QString::fromLatin1(FormatFrameText(frame->data(), static_cast<int>(frame->size()))));
  }
  return result;
}

}  // namespace kestrin
