#include "master/app/data_log_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/validation.h"
#include "master/app/zelmor_doc.h"
#include "resources/zelmor_resources.h"

namespace text = zelmor::res::text;

namespace {

const QString kLogSection = QStringLiteral("DataLog");
const QString kFolderKey = QStringLiteral("Folder");
const QString kDatedKey = QStringLiteral("DateAndHeader");

bool OnPseudoFileSystem(const QString& folder) {
  const QString path = QFileInfo(folder).canonicalFilePath();
  for (const char* root : {"/proc", "/sys", "/dev"}) {
    const QString top = QString::fromLatin1(root);
    if (path == top || path.startsWith(top + QLatin1Char('/'))) return true;
  }
  return false;
}

bool UsableFolder(const QString& folder) {
  return !folder.isEmpty() && QFileInfo(folder).isDir() && !OnPseudoFileSystem(folder);
}

}  // namespace

QString LogStartFolder(const QString& remembered) {
  if (UsableFolder(remembered)) return remembered;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (UsableFolder(documents)) return documents;
  if (UsableFolder(QDir::homePath())) return QDir::homePath();
  return QDir::rootPath();
}

LogRateDialog::LogRateDialog(const zelmor::LogSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(text::kLogRateTitle);

  auto* rateGroup = new QGroupBox(text::kLogRateGroup, this);
  eachPoll_ = new QRadioButton(text::kLogEachPoll, rateGroup);
  select_ = new QRadioButton(text::kLogSelect, rateGroup);
  rateEdit_ = new QLineEdit(rateGroup);
  rateEdit_->setMaximumWidth(60);
  auto* rateRow = new QHBoxLayout;
  rateRow->addWidget(new QLabel(text::kLogRateLabel, rateGroup));
  rateRow->addWidget(rateEdit_);
  rateRow->addWidget(new QLabel(text::kLogRateUnit, rateGroup));
  rateRow->addStretch(1);
  auto* rateLayout = new QVBoxLayout(rateGroup);
  rateLayout->addWidget(eachPoll_);
  rateLayout->addWidget(select_);
  rateLayout->addLayout(rateRow);

  auto* delimiterGroup = new QGroupBox(text::kLogDelimitersGroup, this);
  auto* delimiterLayout = new QVBoxLayout(delimiterGroup);
  const char* delimiterTexts[3] = {text::kLogFixedWidth, text::kLogComma, text::kLogTab};
  for (int d = 0; d < 3; ++d) {
    delimiters_[d] = new QRadioButton(delimiterTexts[d], delimiterGroup);
    delimiterLayout->addWidget(delimiters_[d]);
  }
  logErrors_ = new QCheckBox(text::kLogErrors, this);
  dated_ = new QCheckBox(text::kLogDated, this);

  okButton_ = new QPushButton(tr("OK"), this);
  okButton_->setDefault(true);
  auto* cancelButton = new QPushButton(tr("Cancel"), this);
  connect(okButton_, &QPushButton::clicked, this, &LogRateDialog::accept);
  connect(cancelButton, &QPushButton::clicked, this, &LogRateDialog::reject);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton);
  buttons->addStretch(1);
  auto* groups = new QVBoxLayout;
  groups->addWidget(rateGroup);
  groups->addWidget(delimiterGroup);
  groups->addWidget(logErrors_);
  groups->addWidget(dated_);
  auto* top = new QHBoxLayout(this);
  top->addLayout(groups);
  top->addLayout(buttons);

  (settings.timed ? select_ : eachPoll_)->setChecked(true);
  rateEdit_->setText(QString::number(settings.rate));
  int delimiter = settings.delimiter >= 0 && settings.delimiter < 3 ? settings.delimiter : zelmor::kLogFixed;
  delimiters_[delimiter]->setChecked(true);
  logErrors_->setChecked(settings.errors);
  dated_->setChecked(settings.dated);
  // The rate can be edited only while "Select" is chosen.
  connect(eachPoll_, &QRadioButton::toggled, this, &LogRateDialog::updateRateEnabling);
  connect(select_, &QRadioButton::toggled, this, &LogRateDialog::updateRateEnabling);
  updateRateEnabling();
}

void LogRateDialog::updateRateEnabling() { rateEdit_->setEnabled(select_->isChecked()); }

void LogRateDialog::accept() {
  zelmor::LogSettings s = settings_;
  s.timed = select_->isChecked();
  int rate = s.rate;
  fw::DataExchange dx(this);
  // A disabled rate field cannot take the focus, so it is checked only when it
  // counts; with "Each poll" an unreadable rate keeps the previous one.
  if (s.timed) {
    if (!dx.intField(rateEdit_, zelmor::kMinLogRate, zelmor::kMaxLogRate, &rate)) return;
  } else if (!fw::ParseIntegerText(rateEdit_->text(), &rate) || rate < zelmor::kMinLogRate ||
             rate > zelmor::kMaxLogRate) {
    rate = s.rate;
  }
  s.rate = rate;
  for (int d = 0; d < 3; ++d)
    if (delimiters_[d]->isChecked()) s.delimiter = d;
  s.errors = logErrors_->isChecked();
  s.dated = dated_->isChecked();
  settings_ = s;
  QDialog::accept();
}

void StartLogging(CZelmorDoc* document, QWidget* parent) {
  if (document == nullptr || document->dataLog().active()) return;
  fw::FileDialogRequest request;
  request.save = true;
  request.filter = text::kLogFilter;
  request.defaultExtension = text::kLogExtension;
  request.initialName = text::kLogFileName;
  request.confirmOverwrite = true;
  fw::Profile& profile = fw::AppProfile();
  request.directory = LogStartFolder(profile.readString(kLogSection, kFolderKey));
  const QString path = fw::ChooseFile(parent, request);
  if (path.isEmpty()) return;
  zelmor::LogSettings settings = document->dataLog().settings();
  settings.dated = profile.readIntInRange(kLogSection, kDatedKey, 0, 0, 1) == 1;
  LogRateDialog dialog(settings, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  document->dataLog().setSettings(dialog.settings());
  profile.writeInt(kLogSection, kDatedKey, dialog.settings().dated ? 1 : 0);
  if (!document->dataLog().start(QFile::encodeName(path).toStdString())) {
    fw::ShowMessage(text::kFileOpenError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent);
    return;
  }
  profile.writeString(kLogSection, kFolderKey, QFileInfo(path).absolutePath());
  profile.sync();
}

void StopLogging(CZelmorDoc* document) {
  if (document != nullptr) document->dataLog().stop();
}
