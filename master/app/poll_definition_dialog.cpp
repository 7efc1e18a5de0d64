#include "master/app/poll_definition_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/message_box.h"
#include "framework/validation.h"
#include "master/core/engine_glue.h"
#include "master/core/poll_definition.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

PollDefinitionDialog::PollDefinitionDialog(CZelmorDoc* document, QWidget* parent)
    : QDialog(parent), document_(document), oneBased_(document->oneBased()) {
  setWindowTitle(text::kPollDefinitionTitle);
  slaveEdit_ = new QLineEdit(this);
  functionList_ = new QComboBox(this);
  for (const char* entry : text::kFunctionEntries) functionList_->addItem(entry);
  addressEdit_ = new QLineEdit(this);
  lengthEdit_ = new QLineEdit(this);
  scanRateEdit_ = new QLineEdit(this);
  enableBox_ = new QCheckBox(tr("&Enable Polling"), this);

  auto* form = new QFormLayout;
  form->addRow(tr("Slave ID:"), slaveEdit_);
  form->addRow(tr("Function:"), functionList_);
  form->addRow(tr("Address:"), addressEdit_);
  form->addRow(tr("Length:"), lengthEdit_);
  auto* scanRow = new QHBoxLayout;
  scanRow->addWidget(scanRateEdit_);
  scanRow->addWidget(new QLabel(tr("ms"), this));
  form->addRow(tr("Scan Rate:"), scanRow);
  form->addRow(QString(), enableBox_);

  okButton_ = new QPushButton(tr("OK"), this);
  okButton_->setDefault(true);
  auto* cancelButton = new QPushButton(tr("Cancel"), this);
  applyButton_ = new QPushButton(tr("&Apply"), this);
  pollOnceButton_ = new QPushButton(tr("&Poll Once"), this);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : {okButton_, cancelButton, applyButton_, pollOnceButton_}) buttons->addWidget(b);
  buttons->addStretch();
  auto* top = new QHBoxLayout(this);
  top->addLayout(form);
  top->addLayout(buttons);

  connect(okButton_, &QPushButton::clicked, this, &PollDefinitionDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &PollDefinitionDialog::reject);
  connect(applyButton_, &QPushButton::clicked, this, &PollDefinitionDialog::apply);
  connect(pollOnceButton_, &QPushButton::clicked, this, &PollDefinitionDialog::pollOnce);

  PollDefinition d = document->definition();
  slaveEdit_->setText(QString::number(d.slaveId));
  functionList_->setCurrentIndex(d.functionIndex >= 0 && d.functionIndex < 4 ? d.functionIndex : 2);
  addressEdit_->setText(QString::number(d.shownAddress));
  lengthEdit_->setText(QString::number(d.length));
  scanRateEdit_->setText(QString::number(d.scanRate));
  enableBox_->setChecked(d.enable != 0);
  pollOnceButton_->setEnabled(zelmor::LinkIsOpen());
}

bool PollDefinitionDialog::validate(PollDefinition* d) {
  using namespace zelmor;
  // Field by field in this order, so the first bad field is the one reported; the
  // length is checked against the widest range first, then against the function's.
  fw::DataExchange dx(this);
  if (!dx.intField(addressEdit_, 0, kMaxPollAddress, &d->shownAddress) ||
      !dx.intField(lengthEdit_, 1, kMaxPollBits, &d->length) ||
      !dx.intField(scanRateEdit_, kMinScanRate, kMaxScanRate, &d->scanRate) ||
      !dx.intField(slaveEdit_, kMinPollSlave, kMaxPollSlave, &d->slaveId))
    return false;
  d->functionIndex = functionList_->currentIndex();
  const int function = kFirstPollFunction + d->functionIndex;
  if (!modbus::IsBitRead(function) && !dx.intField(lengthEdit_, 1, MaxPollLength(function), &d->length)) return false;
  // One-based addresses start at 1 and still end at the last protocol address.
  if (oneBased_ && !dx.intField(addressEdit_, 1, kMaxPollAddress, &d->shownAddress)) return false;
  d->enable = enableBox_->isChecked() ? 1 : 0;
  return true;
}

void PollDefinitionDialog::accept() {
  PollDefinition d;
  if (!validate(&d)) return;
  document_->takeDefinitionIfChanged(d);
  QDialog::accept();
}

void PollDefinitionDialog::apply() {
  PollDefinition d;
  if (!validate(&d)) return;
  document_->takeDefinition(d);
}

void PollDefinitionDialog::pollOnce() {
  PollDefinition d;
  if (!validate(&d)) return;
  if (enableBox_->isChecked()) {
    fw::ShowMessage(text::kDisablePollingFirst, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    return;
  }
  document_->pollOnceWith(d);
}
