#pragma once
// CFrameDecoderDlg: a pasted or picked frame taken apart field by field by the
// Qt-free frame decoder (master/core/frame_decoder.*). Opened from the test
// center's traffic list and the traffic monitor with the chosen frame.
#include <QDialog>

class QComboBox;
class QPlainTextEdit;

class CFrameDecoderDlg : public QDialog {
  Q_OBJECT

 public:
  // frameText: hex bytes (or an ASCII frame); direction 0 either, 1 request, 2 reply.
  CFrameDecoderDlg(const QString& frameText, int direction, QWidget* parent = nullptr);

  // The decoded lines as shown (for tests).
  QString decodedText() const;
  QPlainTextEdit* input() const { return input_; }

  // A test center or traffic monitor line ("001-Tx:01 03 ...") -> the frame
  // text and its direction (Tx request, Rx reply); other text is kept as is.
  static QString FrameTextOfLine(const QString& line, int* direction);

 private:
  void decode();

  QPlainTextEdit* input_;
  QComboBox* framing_;
  QComboBox* direction_;
  QPlainTextEdit* output_;
};
