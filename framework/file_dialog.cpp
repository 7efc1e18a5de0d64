#include "framework/file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace fw {

namespace {

QString g_lastDirectory;

class QtFileDialogService : public FileDialogService {
 public:
  QString choose(QWidget* parent, const FileDialogRequest& request) override {
    // Headless (no widgets): no dialog can be shown, which is a cancel.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return QString();
    QFileDialog dialog(parent);
    dialog.setWindowTitle(!request.title.isEmpty() ? request.title
                          : request.save           ? QFileDialog::tr("Save As")
                                                   : QFileDialog::tr("Open"));
    dialog.setNameFilter(QtFilterFromFilter(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save || !request.mustExist ? QFileDialog::AnyFile
                                                          : QFileDialog::ExistingFile);
    QString suffix = request.defaultExtension;
    if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!request.confirmOverwrite) dialog.setOption(QFileDialog::DontConfirmOverwrite);
    QString directory = !request.directory.isEmpty() ? request.directory : g_lastDirectory;
    QFileInfo initial(request.initialName);
    if (!request.initialName.isEmpty() && !initial.path().isEmpty() && initial.path() != QLatin1String(".")) {
      directory = initial.path();
    }
    if (!directory.isEmpty()) dialog.setDirectory(directory);
    if (!request.initialName.isEmpty()) dialog.selectFile(initial.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    QString path = dialog.selectedFiles().first();
    g_lastDirectory = QFileInfo(path).absolutePath();
    return path;
  }
};

QtFileDialogService g_qtService;
FileDialogService* g_service = &g_qtService;

}  // namespace

QString ChooseFile(QWidget* parent, const FileDialogRequest& request) {
  QString path = g_service->choose(parent, request);
  if (path.isEmpty()) return path;
  return request.save ? WithDefaultExtension(path, request.defaultExtension) : path;
}

QString GetOpenFilePath(QWidget* parent, const QString& title, const QString& filter,
                        const QString& defaultExtension, const QString& initialName) {
  FileDialogRequest request;
  request.save = false;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = defaultExtension;
  request.initialName = initialName;
  return ChooseFile(parent, request);
}

QString GetSaveFilePath(QWidget* parent, const QString& title, const QString& filter,
                        const QString& defaultExtension, const QString& initialName,
                        bool confirmOverwrite) {
  FileDialogRequest request;
  request.save = true;
  request.title = title;
  request.filter = filter;
  request.defaultExtension = defaultExtension;
  request.initialName = initialName;
  request.confirmOverwrite = confirmOverwrite;
  return ChooseFile(parent, request);
}

void SetFileDialogService(FileDialogService* service) {
  g_service = service != nullptr ? service : &g_qtService;
}

FileDialogService* CurrentFileDialogService() { return g_service; }

QString QtFilterFromFilter(const QString& filter) {
  if (!filter.contains(QLatin1Char('|'))) {
    QString qtFilter = filter;
    return qtFilter.replace(QStringLiteral("(*.*)"), QStringLiteral("(*)"));
  }
  // Pairs of "description|patterns"; Qt reads the patterns from the description's parentheses.
  QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    if (description.isEmpty()) continue;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    if (patterns == QLatin1String("*.*")) patterns = QStringLiteral("*");
    int open = description.indexOf(QLatin1Char('('));
    if (open >= 0) description = description.left(open).trimmed();
    entries << QStringLiteral("%1 (%2)").arg(description, patterns);
  }
  return entries.join(QStringLiteral(";;"));
}

QString WithDefaultExtension(const QString& path, const QString& defaultExtension) {
  QString extension = defaultExtension;
  if (extension.startsWith(QLatin1Char('.'))) extension.remove(0, 1);
  if (extension.isEmpty()) return path;
  QFileInfo info(path);
  if (info.fileName().contains(QLatin1Char('.'))) return path;
  return path + QLatin1Char('.') + extension;
}

}  // namespace fw
