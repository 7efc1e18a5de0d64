#include "slave/app/definition_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

#include "common/modbus_protocol.h"
#include "framework/validation.h"
#include "resources/vantor_resources.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"

DefinitionDialog::DefinitionDialog(QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(QString::fromLatin1(kDefinitionTitle));
  slaveIdEdit_ = new QLineEdit(this);
  functionList_ = new QComboBox(this);
  for (const char* text : kFunctionTexts) functionList_->addItem(QString::fromLatin1(text));
  addressEdit_ = new QLineEdit(this);
  lengthEdit_ = new QLineEdit(this);
  auto* form = new QFormLayout(this);
  form->addRow(QString::fromLatin1(kSlaveIdLabel), slaveIdEdit_);
  form->addRow(QString::fromLatin1(kFunctionLabel), functionList_);
  form->addRow(QString::fromLatin1(kAddressLabel), addressEdit_);
  form->addRow(QString::fromLatin1(kLengthLabel), lengthEdit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &DefinitionDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &DefinitionDialog::reject);
}

void DefinitionDialog::setValues(int slaveId, int table, int address, int length, bool oneBased) {
  oneBased_ = oneBased;
  slaveIdEdit_->setText(QString::number(slaveId));
  using namespace autochange;
  functionList_->setCurrentIndex(IsKnownTable(table) ? table - kTableCoils : kTableHoldingRegisters - kTableCoils);
  addressEdit_->setText(QString::number(address));
  lengthEdit_->setText(QString::number(length));
}

void DefinitionDialog::accept() {
  fw::DataExchange dx(this);
  int address = 0, length = 0, slaveId = 0;
  const int table = autochange::kTableCoils + functionList_->currentIndex();
  // Field by field; the length first against the bit tables' range, then against the register tables'.
  if (!dx.intField(addressEdit_, 0, modbus::MAX_ADDRESS, &address)) return;
  if (!dx.intField(lengthEdit_, 1, slaveengine::kMaxBitLength, &length)) return;
  if (!dx.intField(slaveIdEdit_, 1, modbus::MAX_UNIT_ID, &slaveId)) return;
  if (autochange::IsRegisterTable(table) && !dx.intField(lengthEdit_, 1, slaveengine::kMaxRegisterLength, &length))
    return;
  if (oneBased_ && !dx.intField(addressEdit_, 1, modbus::MAX_ADDRESS, &address)) return;
  slaveId_ = slaveId;
  table_ = table;
  address_ = address;
  length_ = length;
  QDialog::accept();
}
