#include "slave/app/replay_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

#include "framework/file_dialog.h"
#include "resources/vantor_resources.h"
#include "slave/engine/replay.h"

namespace {
QString Text(const char* text) { return QString::fromLatin1(text); }
}  // namespace

QString ChooseRecordingFile(QWidget* parent) {
  fw::FileDialogRequest request;
  request.filter = Text(vantorres::kRecordingFilter);
  request.defaultExtension = QStringLiteral("csv");
  request.mustExist = true;
  return fw::ChooseFile(parent, request);
}

ReplayDialog::ReplayDialog(const QString& fileName, QWidget* parent) : QDialog(parent) {
  using namespace vantorres;
  setWindowTitle(Text(kReplayTitle));
  auto* layout = new QFormLayout(this);
  layout->addRow(new QLabel(fileName, this));
  speed_ = new QSpinBox(this);
  speed_->setRange(replay::kMinSpeed, replay::kMaxSpeed);
  speed_->setValue(1);
  layout->addRow(Text(kReplaySpeedLabel), speed_);
  loop_ = new QCheckBox(Text(kReplayLoop), this);
  loop_->setChecked(true);
  layout->addRow(loop_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addRow(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

int ReplayDialog::speed() const { return speed_->value(); }
bool ReplayDialog::loop() const { return loop_->isChecked(); }
