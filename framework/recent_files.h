#pragma once
// The recent-file list: most recent first, at most N entries, stored in the
// profile (section "Recent File List", keys "File1".."FileN") whenever it changes.
#include <QObject>
#include <QStringList>

class QMenu;
class QAction;

namespace fw {

class Profile;

class RecentFileList : public QObject {
  Q_OBJECT

 public:
  // Loads the list from the profile (entries beyond maxEntries are ignored).
  RecentFileList(Profile* profile, int maxEntries, QObject* parent = nullptr);

  int maxEntries() const { return maxEntries_; }
  QStringList files() const { return files_; }
  // Puts path first (moving it if present, as an absolute clean path) and saves.
  void add(const QString& path);
  void remove(const QString& path);

  // Puts "&1 path", "&2 path", ... items into menu before "before" (nullptr:
  // at the end), replacing the items of the previous call; an empty list
  // gives one disabled "Recent File" item. Triggering an item emits
  // openRequested. Call again after changed().
  void fillMenu(QMenu* menu, QAction* before = nullptr);

 signals:
  void changed();
  void openRequested(const QString& path);

 private:
  void save();
  Profile* profile_;
  int maxEntries_;
  QStringList files_;
  QList<QAction*> menuActions_;
};

}  // namespace fw
