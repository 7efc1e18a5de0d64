#include "framework/testing/file_dialog_recorder.h"

namespace fw::testing {

FileDialogRecorder::FileDialogRecorder() : previous_(CurrentFileDialogService()) {
  SetFileDialogService(this);
}

FileDialogRecorder::~FileDialogRecorder() { SetFileDialogService(previous_); }

void FileDialogRecorder::script(std::initializer_list<QString> paths) {
  answers_.insert(answers_.end(), paths);
}

QString FileDialogRecorder::choose(QWidget*, const FileDialogRequest& request) {
  requests_.append(request);
  if (answers_.empty()) return QString();
  QString answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace fw::testing
