#include "master/app/write_dialogs.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "framework/message_box.h"
#include "framework/window_messages.h"
#include "master/app/bit_row.h"
#include "master/core/poll_results.h"
#include "master/core/write_values.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace text = zelmor::res::text;

namespace {

constexpr int kStatusNoticeMs = 5000;

QRadioButton* AddRadio(QVBoxLayout* group, const char* label, QWidget* parent) {
  auto* button = new QRadioButton(QString::fromUtf8(label), parent);
  group->addWidget(button);
  return button;
}

QGroupBox* RadioGroup(const char* title, QWidget* parent, QRadioButton** first, const char* firstLabel,
                      QRadioButton** second, const char* secondLabel) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  auto* column = new QVBoxLayout(box);
  *first = AddRadio(column, firstLabel, box);
  *second = AddRadio(column, secondLabel, box);
  return box;
}

QGroupBox* BitGroup(const char* title, QWidget* parent, BitRow** row) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  auto* layout = new QHBoxLayout(box);
  *row = new BitRow(box);
  layout->addWidget(*row);
  return box;
}

// Typed hex digits become capitals where the cursor is.
void MakeCapitalsEdit(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& typed) {
    QString upper = typed.toUpper();
    if (upper == typed) return;
    int cursor = edit->cursorPosition();
    edit->setText(upper);
    edit->setCursorPosition(cursor);
  });
}

}  // namespace

void ShowWriteResult(std::uint16_t result, QWidget* parent) {
  fw::ShowMessage(QString::fromStdString(zelmor::WriteResultText(result)), fw::MsgIcon::Exclamation,
                  fw::MsgButtons::Ok, parent);
}

void ShowWriteStillPending(QWidget* from) {
  QMainWindow* main = nullptr;
  for (QWidget* w = from; w != nullptr && main == nullptr; w = w->parentWidget()) main = qobject_cast<QMainWindow*>(w);
  if (main == nullptr)
    for (QWidget* w : QApplication::topLevelWidgets())
      if ((main = qobject_cast<QMainWindow*>(w)) != nullptr) break;
  if (main != nullptr) main->statusBar()->showMessage(text::kWriteStillPending, kStatusNoticeMs);
}

bool TakeValueEntry(fw::DataExchange& dx, QLineEdit* edit, int displayFormat, std::vector<std::uint16_t>* words) {
  if (!dx.ok()) return false;
  zelmor::EntryFailure failure;
  if (zelmor::ParseValueEntry(displayFormat, edit->text().toStdString(), words, &failure)) return true;
  return dx.fail(edit, QString::fromStdString(zelmor::EntryFailureText(failure)));
}

// ---- CWriteDialog -------------------------------------------------------------

CWriteDialog::CWriteDialog(const char* title, bool oneBased, int address, int slave, QWidget* parent)
    : QDialog(parent), oneBased_(oneBased) {
  setWindowTitle(QString::fromUtf8(title));
  target_ = std::make_unique<fw::MessageTarget>([this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    if (message == platform::WM_ENGINE_NOTIFY) ShowWriteResult(static_cast<std::uint16_t>(wParam), this);
    return std::intptr_t{0};
  });
  addressEdit_ = new QLineEdit(QString::number(address), this);
  slaveEdit_ = new QLineEdit(QString::number(slave), this);
}

CWriteDialog::~CWriteDialog() = default;

QLayout* CWriteDialog::makeButtons(const char* cancelText) {
  sendButton_ = new QPushButton(QString::fromUtf8(text::kWriteSend), this);
  sendButton_->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(cancelText), this);
  connect(sendButton_, &QPushButton::clicked, this, &CWriteDialog::send);
  connect(cancel, &QPushButton::clicked, this, &CWriteDialog::reject);
  auto* column = new QVBoxLayout;
  column->addWidget(sendButton_);
  column->addWidget(cancel);
  column->addStretch();
  return column;
}

bool CWriteDialog::takeAddressAndSlave(fw::DataExchange& dx, int slaveMin, std::uint16_t* protocolAddress,
                                       int* slave) {
  int address = 0;
  if (!dx.intField(addressEdit_, oneBased_ ? 1 : 0, modbus::MAX_ADDRESS, &address) ||
      !dx.intField(slaveEdit_, slaveMin, modbus::MAX_UNIT_ID, slave))
    return false;
  *protocolAddress = static_cast<std::uint16_t>(address - (oneBased_ ? 1 : 0));
  return true;
}

bool CWriteDialog::submit(int slave, int type, std::uint16_t andMask, std::uint16_t orMask,
                          std::uint16_t protocolAddress) {
  if (me::SubmitOneShot(target_->handle(), platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(slave),
                        static_cast<std::uint16_t>(type), andMask, orMask, protocolAddress, 1) == 1)
    return true;
  ShowWriteStillPending(this);
  return false;
}

// ---- CFunctionChoiceDlg ---------------------------------------------------------

CFunctionChoiceDlg::CFunctionChoiceDlg(const char* title, bool oneBased, int address, int slave, int function,
                                       QWidget* parent)
    : CWriteDialog(title, oneBased, address, slave, parent), functionAfter_(function) {}

QWidget* CFunctionChoiceDlg::functionGroup(const char* singleLabel, const char* multipleLabel) {
  QGroupBox* group = RadioGroup(text::kUseFunctionGroup, this, &single_, singleLabel, &multiple_, multipleLabel);
  (functionAfter_ == 1 ? multiple_ : single_)->setChecked(true);
  return group;
}

int CFunctionChoiceDlg::takeFunction() {
  functionAfter_ = multiple_->isChecked() ? 1 : 0;
  return functionAfter_;
}

int CFunctionChoiceDlg::registerWriteType() {
  return takeFunction() == 1 ? modbus::FC_WRITE_MULTIPLE_REGISTERS : modbus::FC_WRITE_SINGLE_REGISTER;
}

// ---- CWriteSingleCoilDlg ---------------------------------------------------------

CWriteSingleCoilDlg::CWriteSingleCoilDlg(bool oneBased, int address, int slave, bool on, int function,
                                         QWidget* parent)
    : CFunctionChoiceDlg(text::kWriteSingleCoilTitle, oneBased, address, slave, function, parent) {
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kWriteAddressLabel), addressEdit());
  form->addRow(QString::fromUtf8(text::kWriteSlaveLabel), slaveEdit());
  auto* fields = new QVBoxLayout;
  fields->addLayout(form);
  fields->addWidget(RadioGroup(text::kWriteValueGroup, this, &on_, text::kWriteOn, &off_, text::kWriteOff));
  fields->addWidget(functionGroup(text::kUseFunction05, text::kUseFunction15));
  auto* top = new QHBoxLayout(this);
  top->addLayout(fields);
  top->addLayout(makeButtons(text::kWriteCancel));
  (on ? on_ : off_)->setChecked(true);
  addressEdit()->setFocus();
  addressEdit()->selectAll();
}

void CWriteSingleCoilDlg::send() {
  fw::DataExchange dx(this);
  std::uint16_t address = 0;
  int slave = 0;
  if (!takeAddressAndSlave(dx, 0, &address, &slave)) return;
  const int function = takeFunction();
  std::uint8_t coil = on_->isChecked() ? 1 : 0;
  const int type = function == 1 ? modbus::FC_WRITE_MULTIPLE_COILS : modbus::FC_WRITE_SINGLE_COIL;
  if (submit(slave, type, 0, 0, address)) me::SetWriteBytes(0, 1, &coil);
}

// ---- CWriteRegisterDlg -----------------------------------------------------------

CWriteRegisterDlg::CWriteRegisterDlg(bool oneBased, int address, int slave, std::uint16_t value, int presentation,
                                     int function, QWidget* parent)
    : CFunctionChoiceDlg(text::kWriteRegisterTitle, oneBased, address, slave, function, parent),
      presentation_(presentation >= 0 && presentation <= 2 ? presentation : 0) {
  // All three edits hold the value; only the one of the presentation is shown.
  unsigned_ = new QLineEdit(QString::number(value), this);
  signed_ = new QLineEdit(QString::number(static_cast<std::int16_t>(value)), this);
  hex_ = new QLineEdit(QString::fromStdString(zelmor::HexEntryText(value)), this);
  MakeCapitalsEdit(hex_);
  label_ = new QLabel(QString::fromUtf8(presentation_ == valuefmt::kHex ? text::kHexValueLabel : text::kValueLabel),
                      this);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(label_);
  for (QLineEdit* edit : {unsigned_, signed_, hex_}) {
    valueRow->addWidget(edit);
    edit->setVisible(edit == valueEdit());
  }
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kWriteAddressLabel), addressEdit());
  form->addRow(QString::fromUtf8(text::kWriteSlaveLabel), slaveEdit());
  auto* fields = new QVBoxLayout;
  fields->addLayout(form);
  fields->addLayout(valueRow);
  fields->addWidget(functionGroup(text::kUseFunction06, text::kUseFunction16));
  auto* top = new QHBoxLayout(this);
  top->addLayout(fields);
  top->addLayout(makeButtons(text::kWriteCancel));
  valueEdit()->setFocus();
  valueEdit()->selectAll();
}

QLineEdit* CWriteRegisterDlg::valueEdit() const {
  return presentation_ == valuefmt::kSigned ? signed_ : presentation_ == valuefmt::kUnsigned ? unsigned_ : hex_;
}

void CWriteRegisterDlg::send() {
  fw::DataExchange dx(this);
  std::uint16_t address = 0;
  int slave = 0;
  if (!takeAddressAndSlave(dx, 0, &address, &slave)) return;
  std::vector<std::uint16_t> unsignedWord, signedWord, hexWord;
  if (!TakeValueEntry(dx, unsigned_, valuefmt::kUnsigned, &unsignedWord) ||
      !TakeValueEntry(dx, signed_, valuefmt::kSigned, &signedWord))
    return;
  // The hex text's length is checked with the fields, its digits after them.
  QString hex;
  if (!dx.textField(hex_, zelmor::kHexEntryMaxChars, &hex)) return;
  std::uint16_t value = presentation_ == valuefmt::kSigned ? signedWord[0] : unsignedWord[0];
  if (presentation_ == valuefmt::kHex && !TakeValueEntry(dx, hex_, valuefmt::kHex, &hexWord)) return;
  if (presentation_ == valuefmt::kHex) value = hexWord[0];
  if (submit(slave, registerWriteType(), 0, 0, address)) me::SetWriteRegisters(0, 1, &value);
}

// ---- CWriteRegisterBinDlg --------------------------------------------------------

CWriteRegisterBinDlg::CWriteRegisterBinDlg(bool oneBased, int address, int slave, std::uint16_t value, int function,
                                           QWidget* parent)
    : CFunctionChoiceDlg(text::kWriteRegisterBinTitle, oneBased, address, slave, function, parent) {
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kWriteAddressLabel), addressEdit());
  form->addRow(QString::fromUtf8(text::kWriteSlaveLabel), slaveEdit());
  auto* fields = new QVBoxLayout;
  fields->addWidget(functionGroup(text::kUseFunction06, text::kUseFunction16));
  fields->addLayout(form);
  fields->addWidget(BitGroup(text::kWriteValueGroup, this, &bits_));
  auto* top = new QHBoxLayout(this);
  top->addLayout(fields);
  top->addLayout(makeButtons(text::kWriteCancelAccel));
  bits_->setValue(value);
  addressEdit()->setFocus();
}

void CWriteRegisterBinDlg::send() {
  fw::DataExchange dx(this);
  std::uint16_t address = 0;
  int slave = 0;
  if (!takeAddressAndSlave(dx, 0, &address, &slave)) return;
  std::uint16_t value = bits_->value();
  if (submit(slave, registerWriteType(), 0, 0, address)) me::SetWriteRegisters(0, 1, &value);
}

// ---- CMaskWriteDlg ---------------------------------------------------------------

CMaskWriteDlg::CMaskWriteDlg(bool oneBased, int address, int slave, std::uint16_t andMask, std::uint16_t orMask,
                             QWidget* parent)
    : CWriteDialog(text::kMaskWriteTitle, oneBased, address, slave, parent) {
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kWriteAddressLabel), addressEdit());
  form->addRow(QString::fromUtf8(text::kWriteSlaveLabel), slaveEdit());
  auto* fields = new QVBoxLayout;
  fields->addLayout(form);
  fields->addWidget(BitGroup(text::kAndMaskGroup, this, &and_));
  fields->addWidget(BitGroup(text::kOrMaskGroup, this, &or_));
  auto* top = new QHBoxLayout(this);
  top->addLayout(fields);
  top->addLayout(makeButtons(text::kWriteCancelAccel));
  and_->setValue(andMask);
  or_->setValue(orMask);
  addressEdit()->setFocus();
}

void CMaskWriteDlg::send() {
  fw::DataExchange dx(this);
  std::uint16_t address = 0;
  int slave = 0;
  if (!takeAddressAndSlave(dx, 1, &address, &slave)) return;
  // A mask write carries its data in the request itself: nothing to hand over.
  submit(slave, modbus::FC_MASK_WRITE_REGISTER, and_->value(), or_->value(), address);
}

// ---- CWriteValueDlg --------------------------------------------------------------

CWriteValueDlg::CWriteValueDlg(bool oneBased, int address, int slave, QWidget* parent)
    : QDialog(parent), oneBased_(oneBased) {
  addressEdit_ = new QLineEdit(QString::number(address), this);
  slaveEdit_ = new QLineEdit(QString::number(slave), this);
  sendButton_ = new QPushButton(QString::fromUtf8(text::kWriteSend), this);
  sendButton_->setDefault(true);
}

void CWriteValueDlg::addCommonRows(QFormLayout* form) {
  form->addRow(QString::fromUtf8(text::kWriteAddressLabel), addressEdit_);
  form->addRow(QString::fromUtf8(text::kWriteSlaveLabel), slaveEdit_);
}

void CWriteValueDlg::finishLayout(QFormLayout* form, std::initializer_list<QWidget*> valueEdits) {
  auto* cancel = new QPushButton(QString::fromUtf8(text::kWriteCancel), this);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  QList<QWidget*> chain(valueEdits);
  chain << addressEdit_ << slaveEdit_ << sendButton_ << cancel;
  for (int i = 1; i < chain.size(); ++i) setTabOrder(chain[i - 1], chain[i]);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(sendButton_);
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(form);
  top->addLayout(buttons);
}

bool CWriteValueDlg::takeAddressAndSlave(fw::DataExchange& dx) {
  int address = 0;
  if (!dx.intField(addressEdit_, oneBased_ ? 1 : 0, modbus::MAX_ADDRESS, &address) ||
      !dx.intField(slaveEdit_, modbus::BROADCAST_ADDRESS, modbus::MAX_UNIT_ID, &slave_))
    return false;
  protocolAddress_ = static_cast<std::uint16_t>(address - (oneBased_ ? 1 : 0));
  return true;
}

CWriteFloatDlg::CWriteFloatDlg(bool oneBased, int address, int slave, int displayFormat, double value,
                               QWidget* parent)
    : CWriteValueDlg(oneBased, address, slave, parent), format_(displayFormat) {
  bool isDouble = valuefmt::KindOf(format_) == valuefmt::ValueKind::kDouble;
  setWindowTitle(QString::fromUtf8(isDouble ? text::kWriteDoubleTitle : text::kWriteFloatTitle));
  // The hidden edit keeps a valid 0, so it never stops the checks.
  float_ = new QLineEdit(QString::fromStdString(zelmor::FloatEntryText(isDouble ? 0.0f : static_cast<float>(value))),
                         this);
  double_ = new QLineEdit(QString::fromStdString(zelmor::DoubleEntryText(isDouble ? value : 0.0)), this);
  auto* form = new QFormLayout;
  addCommonRows(form);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(float_);
  valueRow->addWidget(double_);
  float_->setVisible(!isDouble);
  double_->setVisible(isDouble);
  form->addRow(QString::fromUtf8(text::kValueLabel), valueRow);
  finishLayout(form, {float_, double_});
  connect(sendButton_, &QPushButton::clicked, this, &CWriteFloatDlg::send);
  valueEdit()->setFocus();
  valueEdit()->selectAll();
}

QLineEdit* CWriteFloatDlg::valueEdit() const {
  return valuefmt::KindOf(format_) == valuefmt::ValueKind::kDouble ? double_ : float_;
}

void CWriteFloatDlg::send() {
  fw::DataExchange dx(this);
  std::vector<std::uint16_t> floatWords, doubleWords;
  if (!takeAddressAndSlave(dx) || !TakeValueEntry(dx, float_, valuefmt::kFloat, &floatWords) ||
      !TakeValueEntry(dx, double_, valuefmt::kDouble, &doubleWords))
    return;
  words_ = valueEdit() == double_ ? doubleWords : floatWords;
  accept();
}

CWriteLongDlg::CWriteLongDlg(bool oneBased, int address, int slave, int displayFormat, std::int32_t value,
                             QWidget* parent)
    : CWriteValueDlg(oneBased, address, slave, parent), format_(displayFormat) {
  setWindowTitle(QString::fromUtf8(text::kWriteLongTitle));
  // The unsigned long formats show and take the value as 0..4294967295.
  const bool isUnsigned = valuefmt::KindOf(format_) == valuefmt::ValueKind::kUnsignedLong;
  value_ = new QLineEdit(isUnsigned ? QString::number(static_cast<std::uint32_t>(value)) : QString::number(value), this);
  auto* form = new QFormLayout;
  form->addRow(QString::fromUtf8(text::kValueLabel), value_);
  addCommonRows(form);
  finishLayout(form, {value_});
  connect(sendButton_, &QPushButton::clicked, this, &CWriteLongDlg::send);
  value_->setFocus();
  value_->selectAll();
}

void CWriteLongDlg::send() {
  fw::DataExchange dx(this);
  std::vector<std::uint16_t> words;
  const int entry = valuefmt::KindOf(format_) == valuefmt::ValueKind::kUnsignedLong ? format_ : valuefmt::kLong;
  if (!TakeValueEntry(dx, value_, entry, &words) || !takeAddressAndSlave(dx)) return;
  words_ = words;
  accept();
}
