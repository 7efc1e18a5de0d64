#include "slave/app/edit_dialogs.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <charconv>

#include "framework/validation.h"
#include "resources/vantor_resources.h"
#include "slave/engine/autochange.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

QDialogButtonBox* AddButtons(QDialog* dialog, QBoxLayout* layout) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  layout->addWidget(buttons);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

// Shortest text that reads back as the same value.
template <typename T>
QString NumberText(T value) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return QString::fromLatin1(buffer, static_cast<int>(result.ptr - buffer));
}

// "Value:" and an edit holding the value, on one row.
QLineEdit* AddValueRow(QDialog* dialog, QBoxLayout* layout, const QString& value) {
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(Text(vantorres::kValueLabel), dialog));
  auto* edit = new QLineEdit(value, dialog);
  row->addWidget(edit);
  layout->addLayout(row);
  return edit;
}

// The "&Auto increment" check box, then OK and Cancel.
QCheckBox* AddAutoIncrementAndButtons(QDialog* dialog, QBoxLayout* layout, bool checked) {
  auto* box = new QCheckBox(Text(vantorres::kAutoIncrement), dialog);
  box->setChecked(checked);
  layout->addWidget(box);
  AddButtons(dialog, layout);
  return box;
}

void FocusValue(QLineEdit* edit) {
  edit->setFocus();
  edit->selectAll();
}

}  // namespace

// ---- Edit Coil -----------------------------------------------------------------

EditCoilDialog::EditCoilDialog(std::uint8_t value, bool autoChange, QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(Text(kEditCoilTitle));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(Text(kValueGroup), this);
  auto* groupLayout = new QHBoxLayout(group);
  on_ = new QRadioButton(Text(kOn), group);
  off_ = new QRadioButton(Text(kOff), group);
  groupLayout->addWidget(on_);
  groupLayout->addWidget(off_);
  (value ? on_ : off_)->setChecked(true);
  auto_ = new QCheckBox(Text(kAutoChange), this);
  auto_->setChecked(autoChange);
  layout->addWidget(group);
  layout->addWidget(auto_);
  AddButtons(this, layout);
}

std::uint8_t EditCoilDialog::value() const { return on_->isChecked() ? 1 : 0; }
bool EditCoilDialog::autoChange() const { return auto_->isChecked(); }

// ---- Edit Register -------------------------------------------------------------

EditRegisterDialog::EditRegisterDialog(int format, std::uint16_t value, bool autoIncrement, QWidget* parent)
    : QDialog(parent), format_(format), value_(value) {
  using namespace vantorres;
  setWindowTitle(Text(kEditRegisterTitle));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  label_ = new QLabel(Text(format == autochange::kHex ? kHexValueLabel : kValueLabel), this);
  signedEdit_ = new QLineEdit(QString::number(static_cast<std::int16_t>(value)), this);
  unsignedEdit_ = new QLineEdit(QString::number(value), this);
  hexEdit_ = new QLineEdit(QString::asprintf("%X", value), this);
  hexEdit_->setMaxLength(4);
  row->addWidget(label_);
  // The three edits share one place; only the format's edit is shown.
  for (QLineEdit* edit : {signedEdit_, unsignedEdit_, hexEdit_}) {
    row->addWidget(edit);
    edit->setVisible(edit == valueEdit());
  }
  layout->addLayout(row);
  auto_ = new QCheckBox(Text(kAutoIncrement), this);
  auto_->setChecked(autoIncrement);
  layout->addWidget(auto_);
  AddButtons(this, layout);
  FocusValue(valueEdit());
}

QLineEdit* EditRegisterDialog::valueEdit() const {
  return format_ == autochange::kSigned ? signedEdit_ : format_ == autochange::kHex ? hexEdit_ : unsignedEdit_;
}

bool EditRegisterDialog::autoIncrement() const { return auto_->isChecked(); }

void EditRegisterDialog::accept() {
  fw::DataExchange dx(this);
  if (format_ == autochange::kSigned) {
    int v = 0;
    if (!dx.intField(signedEdit_, -32768, 32767, &v)) return;
    value_ = static_cast<std::uint16_t>(v);
  } else if (format_ == autochange::kHex) {
    const QString text = hexEdit_->text();
    bool ok = !text.isEmpty() && text.size() <= 4;
    for (QChar c : text) ok = ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
    if (!ok) {
      dx.fail(hexEdit_, Text(vantorres::kHexNumber));
      return;
    }
    value_ = static_cast<std::uint16_t>(text.toUInt(nullptr, 16));
  } else {
    int v = 0;
    if (!dx.intField(unsignedEdit_, 0, 65535, &v)) return;
    value_ = static_cast<std::uint16_t>(v);
  }
  QDialog::accept();
}

// ---- Edit Register Binary ------------------------------------------------------

EditBinaryDialog::EditBinaryDialog(std::uint16_t value, bool autoIncrement, QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(Text(kEditBinaryTitle));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(Text(kValueGroup), this);
  auto* row = new QHBoxLayout(group);
  // Bit 15 on the left down to bit 0 on the right, in groups of four.
  for (int bit = 15; bit >= 0; --bit) {
    bits_[bit] = new QCheckBox(group);
    bits_[bit]->setToolTip(QString::number(bit));
    bits_[bit]->setChecked((value >> bit) & 1);
    row->addWidget(bits_[bit]);
    if (bit % 4 == 0 && bit != 0) row->addSpacing(12);
  }
  layout->addWidget(group);
  auto_ = new QCheckBox(Text(kAutoIncrement), this);
  auto_->setChecked(autoIncrement);
  layout->addWidget(auto_);
  AddButtons(this, layout);
}

std::uint16_t EditBinaryDialog::value() const {
  std::uint16_t v = 0;
  for (int bit = 0; bit < 16; ++bit)
    if (bits_[bit]->isChecked()) v = static_cast<std::uint16_t>(v | (1u << bit));
  return v;
}

bool EditBinaryDialog::autoIncrement() const { return auto_->isChecked(); }

// ---- Edit Floating Point -------------------------------------------------------

EditFloatDialog::EditFloatDialog(bool isDouble, double value, bool autoIncrement, QWidget* parent)
    : QDialog(parent), isDouble_(isDouble), value_(value) {
  using namespace vantorres;
  setWindowTitle(Text(kEditFloatTitle));
  auto* layout = new QVBoxLayout(this);
  edit_ = AddValueRow(this, layout, isDouble ? NumberText(value) : NumberText(static_cast<float>(value)));
  auto_ = AddAutoIncrementAndButtons(this, layout, autoIncrement);
  FocusValue(edit_);
}

bool EditFloatDialog::autoIncrement() const { return auto_->isChecked(); }

void EditFloatDialog::accept() {
  fw::DataExchange dx(this);
  if (isDouble_) {
    double v = 0;
    if (!dx.doubleField(edit_, -1.7e307, 1.7e307, &v)) return;
    value_ = v;
  } else {
    float v = 0;
    if (!dx.floatField(edit_, -3.4e38f, 3.4e38f, &v)) return;
    value_ = v;
  }
  QDialog::accept();
}

// ---- Edit Long Integer ---------------------------------------------------------

EditLongDialog::EditLongDialog(std::int32_t value, bool autoIncrement, QWidget* parent)
    : QDialog(parent), value_(static_cast<std::uint32_t>(value)) {
  using namespace vantorres;
  setWindowTitle(Text(kEditLongTitle));
  auto* layout = new QVBoxLayout(this);
  edit_ = AddValueRow(this, layout, QString::number(value));
  auto_ = AddAutoIncrementAndButtons(this, layout, autoIncrement);
  FocusValue(edit_);
}

EditLongDialog::EditLongDialog(std::uint32_t value, bool autoIncrement, QWidget* parent)
    : EditLongDialog(static_cast<std::int32_t>(value), autoIncrement, parent) {
  unsigned_ = true;
  edit_->setText(QString::number(value));
  FocusValue(edit_);
}

bool EditLongDialog::autoIncrement() const { return auto_->isChecked(); }

void EditLongDialog::accept() {
  fw::DataExchange dx(this);
  if (unsigned_) {
    if (!dx.uint32Field(edit_, &value_)) return;
    QDialog::accept();
    return;
  }
  int v = 0;
  if (!dx.intField(edit_, -2147483646, 2147483646, &v)) return;
  value_ = static_cast<std::uint32_t>(v);
  QDialog::accept();
}
