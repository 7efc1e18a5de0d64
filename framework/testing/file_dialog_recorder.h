#pragma once
// Test double of the file-dialog service: records every request and answers
// with scripted paths (an empty path = Cancel). Installs itself for its lifetime.
#include <QList>
#include <QString>
#include <deque>

#include "framework/file_dialog.h"

namespace fw::testing {

class FileDialogRecorder : public FileDialogService {
 public:
  FileDialogRecorder();
  ~FileDialogRecorder() override;

  // Paths for the next dialogs, in order; when the script is empty a dialog is cancelled.
  void script(std::initializer_list<QString> paths);
  const QList<FileDialogRequest>& requests() const { return requests_; }
  int count() const { return requests_.size(); }

  QString choose(QWidget* parent, const FileDialogRequest& request) override;

 private:
  FileDialogService* previous_;
  std::deque<QString> answers_;
  QList<FileDialogRequest> requests_;
};

}  // namespace fw::testing
