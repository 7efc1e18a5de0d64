#include "terminal/text_send_panel.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "resources/kestrin_texts.h"
#include "terminal/send_data.h"

namespace kestrin {

TextSendPanel::TextSendPanel(QWidget* parent) : QWidget(parent) {
  auto* layout = new QGridLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  asciiButton_ = new QRadioButton(QString::fromUtf8(text::kFormatAscii), this);
  hexButton_ = new QRadioButton(QString::fromUtf8(text::kFormatHex), this);
  auto* group = new QButtonGroup(this);
  group->addButton(asciiButton_, Ascii);
  group->addButton(hexButton_, Hex);
  textEdit_ = new QLineEdit(this);
  auto* label = new QLabel(QString::fromUtf8(text::kSendLabel), this);
  label->setBuddy(textEdit_);
  layout->addWidget(label, 0, 0);
  layout->addWidget(asciiButton_, 0, 1);
  layout->addWidget(hexButton_, 0, 2);
  layout->setColumnStretch(3, 1);
  layout->addWidget(textEdit_, 1, 0, 1, 4);
  hexButton_->setChecked(true);
}

TextSendPanel::Format TextSendPanel::format() const { return asciiButton_->isChecked() ? Ascii : Hex; }

void TextSendPanel::setFormat(Format format) {
  (format == Ascii ? asciiButton_ : hexButton_)->setChecked(true);
}

std::vector<std::uint8_t> TextSendPanel::bytes() const {
  const QByteArray encoded = textEdit_->text().toUtf8();
  if (format() == Hex) return ParseHexText(encoded.toStdString());
  return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
}

}  // namespace kestrin
