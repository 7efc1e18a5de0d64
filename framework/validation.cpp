#include "framework/validation.h"

#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "framework/message_box.h"

namespace fw {

namespace {

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

// The text between leading and trailing blanks.
QString StripBlanks(const QString& text) {
  int begin = 0;
  int end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

}  // namespace

QString IntegerRangeText(int min, int max) {
  return QStringLiteral("Please enter an integer between %1 and %2.").arg(min).arg(max);
}

QString IntegerText() { return QStringLiteral("Please enter an integer."); }

QString NumberRangeText(double min, double max, int digits) {
  return QStringLiteral("Please enter a number between %1 and %2.")
      .arg(QString::asprintf("%.*g", digits, min), QString::asprintf("%.*g", digits, max));
}

QString NumberText() { return QStringLiteral("Please enter a number."); }

QString MaxCharsText(int maxChars) {
  return QStringLiteral("Please enter no more than %1 characters.").arg(maxChars);
}

namespace {

// Optional sign and decimal digits; the magnitude saturates a little above 2^32.
bool ParseWideIntegerText(const QString& text, long long* value) {
  QString body = StripBlanks(text);
  int pos = 0;
  bool negative = false;
  if (pos < body.size() && (body[pos] == QLatin1Char('+') || body[pos] == QLatin1Char('-'))) {
    negative = body[pos] == QLatin1Char('-');
    ++pos;
  }
  if (pos >= body.size()) return false;
  long long magnitude = 0;
  for (; pos < body.size(); ++pos) {
    QChar c = body[pos];
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    // Saturate instead of wrapping; the range check then rejects it.
    if (magnitude <= 0xFFFFFFFFLL) magnitude = magnitude * 10 + (c.unicode() - '0');
  }
  *value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

bool ParseIntegerText(const QString& text, int* value) {
  long long signedValue = 0;
  if (!ParseWideIntegerText(text, &signedValue)) return false;
  if (signedValue > std::numeric_limits<int>::max()) signedValue = std::numeric_limits<int>::max();
  if (signedValue < std::numeric_limits<int>::min()) signedValue = std::numeric_limits<int>::min();
  *value = static_cast<int>(signedValue);
  return true;
}

bool ParseNumberText(const QString& text, double* value) {
  QString body = StripBlanks(text);
  QByteArray ascii = body.toLatin1();
  const char* p = ascii.constData();
  int i = 0;
  if (p[i] == '+' || p[i] == '-') ++i;
  int digits = 0;
  while (p[i] >= '0' && p[i] <= '9') ++i, ++digits;
  if (p[i] == '.') {
    ++i;
    while (p[i] >= '0' && p[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (p[i] == 'e' || p[i] == 'E') {
    ++i;
    if (p[i] == '+' || p[i] == '-') ++i;
    int exponentDigits = 0;
    while (p[i] >= '0' && p[i] <= '9') ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  if (i != ascii.size() || body.size() != ascii.size()) return false;
  // from_chars reads the point as decimal separator whatever the user's locale.
  const char* begin = p + (p[0] == '+' ? 1 : 0);
  double parsed = 0;
  auto [end, error] = std::from_chars(begin, p + ascii.size(), parsed);
  if (end != p + ascii.size()) return false;
  if (error == std::errc::result_out_of_range) {
    // Too large gives infinity (fails any range), too small gives zero. An
    // exponent decides which; without one only a non-zero integer part can overflow.
    int exponentAt = std::max(ascii.indexOf('e'), ascii.indexOf('E'));
    bool huge = false;
    if (exponentAt >= 0) {
      huge = p[exponentAt + 1] != '-';
    } else {
      const char* digit = begin + (begin[0] == '-' ? 1 : 0);
      while (*digit == '0') ++digit;
      huge = *digit >= '1' && *digit <= '9';
    }
    bool negative = p[0] == '-';
    parsed = huge ? (negative ? -HUGE_VAL : HUGE_VAL) : (negative ? -0.0 : 0.0);
  } else if (error != std::errc()) {
    return false;
  }
  *value = parsed;
  return true;
}

bool DataExchange::fail(QWidget* field, const QString& text) {
  ok_ = false;
  failedField_ = field;
  ShowMessage(text, MsgIcon::Exclamation, MsgButtons::Ok, parent_);
  if (field != nullptr) {
    field->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
  }
  return false;
}

bool DataExchange::intField(QLineEdit* edit, int min, int max, int* out) {
  if (!ok_) return false;
  int value = 0;
  if (!ParseIntegerText(edit->text(), &value)) return fail(edit, IntegerText());
  if (value < min || value > max) return fail(edit, IntegerRangeText(min, max));
  *out = value;
  return true;
}

bool DataExchange::intField(QLineEdit* edit, int* out) {
  return intField(edit, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), out);
}

bool DataExchange::uint32Field(QLineEdit* edit, std::uint32_t* out) {
  if (!ok_) return false;
  long long value = 0;
  if (!ParseWideIntegerText(edit->text(), &value)) return fail(edit, IntegerText());
  if (value < 0 || value > 0xFFFFFFFFLL) return fail(edit, NumberRangeText(0, 4294967295.0, 10));
  *out = static_cast<std::uint32_t>(value);
  return true;
}

bool DataExchange::doubleField(QLineEdit* edit, double min, double max, double* out, int digits) {
  if (!ok_) return false;
  double value = 0;
  if (!ParseNumberText(edit->text(), &value)) return fail(edit, NumberText());
  if (!(value >= min && value <= max)) return fail(edit, NumberRangeText(min, max, digits));
  *out = value;
  return true;
}

bool DataExchange::doubleField(QLineEdit* edit, double* out) {
  if (!ok_) return false;
  double value = 0;
  if (!ParseNumberText(edit->text(), &value) || !std::isfinite(value)) return fail(edit, NumberText());
  *out = value;
  return true;
}

bool DataExchange::floatField(QLineEdit* edit, float min, float max, float* out) {
  double value = 0;
  if (!doubleField(edit, min, max, &value, 6)) return false;
  *out = static_cast<float>(value);
  return true;
}

bool DataExchange::textField(QLineEdit* edit, int maxChars, QString* out) {
  if (!ok_) return false;
  QString text = edit->text();
  if (text.size() > maxChars) return fail(edit, MaxCharsText(maxChars));
  *out = text;
  return true;
}

}  // namespace fw
