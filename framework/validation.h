#pragma once
// Dialog data exchange: reads and checks dialog fields in order and stops at
// the first bad one. A failure shows the standard text through the
// message-box service (exclamation icon), focuses the offending field and
// selects its text; the dialog should then stay open.
//
//   fw::DataExchange dx;
//   if (!dx.intField(addressEdit, 0, 65535, &address) ||
//       !dx.intField(lengthEdit, 1, 2000, &length)) return;   // stay open
#include <QString>

#include <cstdint>

class QLineEdit;
class QWidget;

namespace fw {

// The standard texts.
QString IntegerRangeText(int min, int max);                  // "Please enter an integer between %1 and %2."
QString IntegerText();                                        // "Please enter an integer."
QString NumberRangeText(double min, double max, int digits);  // "Please enter a number between %1 and %2."
QString NumberText();                                         // "Please enter a number."
QString MaxCharsText(int maxChars);                           // "Please enter no more than %1 characters."

// Integer text: blanks (spaces, tabs) around, an optional sign, decimal
// digits. A value beyond the 32-bit range is clamped to it (and so fails any
// narrower range check). False for anything else, including an empty text.
bool ParseIntegerText(const QString& text, int* value);
// Decimal number text: blanks around, optional sign, digits with an optional
// point and exponent. No "inf", "nan" or hex forms. An overflowing value gives
// +-infinity (and so fails any range check).
bool ParseNumberText(const QString& text, double* value);

class DataExchange {
 public:
  // parent: the dialog, used as parent of the message box.
  explicit DataExchange(QWidget* parent = nullptr) : parent_(parent) {}

  // Each check does nothing and returns false once an earlier check failed.
  bool intField(QLineEdit* edit, int min, int max, int* out);
  bool intField(QLineEdit* edit, int* out);  // any 32-bit integer
  bool uint32Field(QLineEdit* edit, std::uint32_t* out);  // 0..4294967295
  // digits: significant digits of the bounds in the range text (6 float, 15 double).
  bool doubleField(QLineEdit* edit, double min, double max, double* out, int digits = 15);
  bool doubleField(QLineEdit* edit, double* out);
  bool floatField(QLineEdit* edit, float min, float max, float* out);
  bool textField(QLineEdit* edit, int maxChars, QString* out);
  // A check of the dialog's own: shows text, focuses field (selecting the text
  // of a line edit) and records the failure. Always returns false.
  bool fail(QWidget* field, const QString& text);

  bool ok() const { return ok_; }
  QWidget* failedField() const { return failedField_; }

 private:
  QWidget* parent_;
  bool ok_ = true;
  QWidget* failedField_ = nullptr;
};

}  // namespace fw
