#include "slave/app/faults_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "framework/message_box.h"
#include "resources/vantor_resources.h"

namespace {

QString Text(const char* text) { return QString::fromLatin1(text); }

}  // namespace

FaultsDialog::FaultsDialog(QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(Text(kFaultsTitle));
  delay_ = new QLineEdit(this);
  exception_ = new QLineEdit(this);
  drop_ = new QLineEdit(this);
  corrupt_ = new QLineEdit(this);
  busy_ = new QLineEdit(this);
  seedEdit_ = new QLineEdit(this);
  auto* form = new QFormLayout(this);
  auto* note = new QLabel(Text(kFaultsNote), this);
  note->setWordWrap(true);
  form->addRow(note);
  form->addRow(Text(kFaultDelayLabel), delay_);
  form->addRow(Text(kFaultExceptionLabel), exception_);
  form->addRow(Text(kFaultDropLabel), drop_);
  form->addRow(Text(kFaultCorruptLabel), corrupt_);
  form->addRow(Text(kFaultBusyLabel), busy_);
  form->addRow(Text(kFaultSeedLabel), seedEdit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  form->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &FaultsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &FaultsDialog::reject);
}

void FaultsDialog::setValues(const slavefaults::FaultSettings& s, std::uint64_t seed) {
  settings_ = s;
  seed_ = seed;
  delay_->setText(QString::fromStdString(slavefaults::DelayText(s)));
  exception_->setText(QString::fromStdString(slavefaults::ExceptionText(s)));
  drop_->setText(s.dropPercent ? QString::number(s.dropPercent) : QString());
  corrupt_->setText(s.corruptPercent ? QString::number(s.corruptPercent) : QString());
  busy_->setText(QString::fromStdString(slavefaults::BusyText(s)));
  seedEdit_->setText(QString::number(seed));
}

void FaultsDialog::accept() {
  using Parser = bool (*)(const std::string&, slavefaults::FaultSettings*, std::string*);
  const std::pair<QLineEdit*, Parser> fields[] = {
      {delay_, slavefaults::ParseDelay},  {exception_, slavefaults::ParseException},
      {drop_, slavefaults::ParseDrop},    {corrupt_, slavefaults::ParseCorrupt},
      {busy_, slavefaults::ParseBusy},
  };
  slavefaults::FaultSettings settings;
  for (const auto& [edit, parse] : fields) {
    const std::string text = edit->text().trimmed().toStdString();
    std::string error;
    if (text.empty() || parse(text, &settings, &error)) continue;
    fw::ShowMessage(QString::fromStdString(error), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    edit->setFocus();
    edit->selectAll();
    return;
  }
  bool ok = false;
  const qulonglong seed = seedEdit_->text().trimmed().toULongLong(&ok);
  if (!ok) {
    fw::ShowMessage(Text(vantorres::kFaultSeedError), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    seedEdit_->setFocus();
    seedEdit_->selectAll();
    return;
  }
  settings_ = settings;
  seed_ = seed;
  QDialog::accept();
}
