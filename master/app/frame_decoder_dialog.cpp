#include "master/app/frame_decoder_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "master/core/frame_decoder.h"
#include "resources/zelmor_resources.h"

namespace res = zelmor::res;

CFrameDecoderDlg::CFrameDecoderDlg(const QString& frameText, int direction, QWidget* parent) : QDialog(parent) {
  setWindowTitle(res::scan::kDecoderTitle);
  input_ = new QPlainTextEdit(frameText, this);
  input_->setMaximumHeight(70);
  framing_ = new QComboBox(this);
  for (const char* name : res::scan::kFramings) framing_->addItem(name);
  direction_ = new QComboBox(this);
  for (const char* name : res::scan::kDirections) direction_->addItem(name);
  direction_->setCurrentIndex(direction >= 0 && direction <= 2 ? direction : 0);
  output_ = new QPlainTextEdit(this);
  output_->setReadOnly(true);
  output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);

  auto* choices = new QHBoxLayout;
  choices->addWidget(framing_);
  choices->addWidget(direction_);
  choices->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(res::scan::kDecoderInput, this));
  layout->addWidget(input_);
  layout->addLayout(choices);
  layout->addWidget(output_, 1);
  layout->addWidget(buttons);
  resize(520, 420);

  connect(input_, &QPlainTextEdit::textChanged, this, &CFrameDecoderDlg::decode);
  connect(framing_, &QComboBox::currentIndexChanged, this, &CFrameDecoderDlg::decode);
  connect(direction_, &QComboBox::currentIndexChanged, this, &CFrameDecoderDlg::decode);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  decode();
}

QString CFrameDecoderDlg::decodedText() const { return output_->toPlainText(); }

QString CFrameDecoderDlg::FrameTextOfLine(const QString& line, int* direction) {
  *direction = 0;
  for (const auto& [marker, d] : {std::pair{"-Tx:", 1}, std::pair{"-Rx:", 2}}) {
    const int at = line.indexOf(marker);
    if (at >= 0) {
      *direction = d;
      return line.mid(at + 4).trimmed();
    }
  }
  return line.trimmed();
}

void CFrameDecoderDlg::decode() {
  const QByteArray text = input_->toPlainText().toLatin1();
  std::vector<std::uint8_t> bytes;
  std::string error;
  if (!framedecode::ParseFrameInput(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                                    &bytes, &error)) {
    output_->setPlainText(QString::fromStdString(error));
    return;
  }
  const framedecode::Decoded d = framedecode::DecodeFrame(
      bytes, static_cast<framedecode::Framing>(framing_->currentIndex()),
      static_cast<framedecode::Direction>(direction_->currentIndex()));
  QStringList lines;
  for (const std::string& line : d.lines) lines << QString::fromStdString(line);
  output_->setPlainText(lines.join('\n'));
}
