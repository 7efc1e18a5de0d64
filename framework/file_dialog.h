#pragma once
// The one file-dialog service of the programs. Application code calls
// GetOpenFilePath / GetSaveFilePath; tests install a recorder
// (framework/testing/file_dialog_recorder.h) that returns scripted paths.
#include <QString>

class QWidget;

namespace fw {

struct FileDialogRequest {
  bool save = false;
  QString title;             // empty: "Open" / "Save As"
  QString filter;            // "Zelmor Files (*.zmd)" or "modbus comm. data (*.txt)|*.txt||"
  QString defaultExtension;  // "zmd" or ".zmd": appended when the chosen name has none
  QString initialName;       // proposed file name (may include a directory)
  QString directory;         // start directory; empty: the last one used
  bool confirmOverwrite = true;  // save: ask before replacing an existing file
  bool mustExist = true;         // open: the file must exist
};

class FileDialogService {
 public:
  virtual ~FileDialogService() = default;
  // The chosen path, or an empty string when the user cancelled.
  virtual QString choose(QWidget* parent, const FileDialogRequest& request) = 0;
};

QString ChooseFile(QWidget* parent, const FileDialogRequest& request);
QString GetOpenFilePath(QWidget* parent, const QString& title, const QString& filter,
                        const QString& defaultExtension = QString(),
                        const QString& initialName = QString());
QString GetSaveFilePath(QWidget* parent, const QString& title, const QString& filter,
                        const QString& defaultExtension = QString(),
                        const QString& initialName = QString(), bool confirmOverwrite = true);

// Replaces the service; nullptr restores the QFileDialog implementation.
void SetFileDialogService(FileDialogService* service);
FileDialogService* CurrentFileDialogService();

// "Name (*.a)|*.a|Other (*.b)|*.b||" -> "Name (*.a);;Other (*.b)"; a filter
// already in Qt form ("Zelmor Files (*.zmd)") is returned unchanged. An
// "All Files (*.*)" entry becomes "All Files (*)".
QString QtFilterFromFilter(const QString& filter);
// Appends the default extension (with or without leading dot) when the file
// name of path has no extension.
QString WithDefaultExtension(const QString& path, const QString& defaultExtension);

}  // namespace fw
