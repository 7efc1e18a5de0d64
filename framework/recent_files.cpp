#include "framework/recent_files.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include "framework/command_prompt.h"
#include "framework/profile.h"

namespace fw {

namespace {
const QString kSection = QStringLiteral("Recent File List");
QString FileKey(int index) { return QStringLiteral("File%1").arg(index + 1); }
}  // namespace

RecentFileList::RecentFileList(Profile* profile, int maxEntries, QObject* parent)
    : QObject(parent), profile_(profile), maxEntries_(maxEntries > 0 ? maxEntries : 0) {
  if (profile_ == nullptr) return;
  for (int i = 0; i < maxEntries_; ++i) {
    QString path = profile_->readString(kSection, FileKey(i));
    if (!path.isEmpty() && !files_.contains(path)) files_.append(path);
  }
}

void RecentFileList::add(const QString& path) {
  if (path.isEmpty() || maxEntries_ == 0) return;
  QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  files_.removeAll(clean);
  files_.prepend(clean);
  while (files_.size() > maxEntries_) files_.removeLast();
  save();
  emit changed();
}

void RecentFileList::remove(const QString& path) {
  QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
  if (files_.removeAll(clean) == 0 && files_.removeAll(path) == 0) return;
  save();
  emit changed();
}

void RecentFileList::save() {
  if (profile_ == nullptr) return;
  for (int i = 0; i < maxEntries_; ++i) {
    if (i < files_.size()) {
      profile_->writeString(kSection, FileKey(i), files_[i]);
    } else {
      profile_->remove(kSection, FileKey(i));
    }
  }
  profile_->sync();
}

void RecentFileList::fillMenu(QMenu* menu, QAction* before) {
  for (QAction* action : menuActions_) {
    menu->removeAction(action);
    action->deleteLater();
  }
  menuActions_.clear();
  if (files_.isEmpty()) {
    auto* placeholder = new QAction(QStringLiteral("Recent File"), menu);
    placeholder->setEnabled(false);
    menu->insertAction(before, placeholder);
    menuActions_.append(placeholder);
    return;
  }
  for (int i = 0; i < files_.size(); ++i) {
    QString path = files_[i];
    // A single "&" in a path would become a mnemonic.
    QString label = QStringLiteral("&%1 ").arg(i + 1) +
            QString(QDir::toNativeSeparators(path)).replace(QLatin1Char('&'), QStringLiteral("&&"));
    auto* action = new QAction(label, menu);
    SetCommandPrompt(action, kRecentFilePrompt);
    connect(action, &QAction::triggered, this, [this, path] { emit openRequested(path); });
    menu->insertAction(before, action);
    menuActions_.append(action);
  }
}

}  // namespace fw
