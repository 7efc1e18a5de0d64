#pragma once
// The lower panel that sends typed text, as characters or as hexadecimal bytes.
#include <QWidget>
#include <cstdint>
#include <vector>

class QLineEdit;
class QRadioButton;

namespace kestrin {

class TextSendPanel : public QWidget {
  Q_OBJECT
 public:
  enum Format { Ascii = 0, Hex = 1 };

  explicit TextSendPanel(QWidget* parent = nullptr);

  // The bytes to send, read from the controls (may be longer than any buffer;
  // the caller refuses what does not fit).
  std::vector<std::uint8_t> bytes() const;

  Format format() const;
  void setFormat(Format format);
  QLineEdit* textEdit() const { return textEdit_; }

 private:
  QRadioButton* asciiButton_;
  QRadioButton* hexButton_;
  QLineEdit* textEdit_;
};

}  // namespace kestrin
