#pragma once
// Shared by the screenshot programs: a private settings folder, waiting on the
// event loop, and saving a window's picture.
#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

#include "framework/profile.h"

namespace shots {

// Settings go to a temporary folder, so that taking pictures leaves the
// user's own settings alone.
inline QTemporaryDir& PrivateSettings() {
  static QTemporaryDir dir;
  fw::Profile::setTestDirectory(dir.path());
  return dir;
}

inline void Run(int milliseconds) {
  QDeadlineTimer deadline(milliseconds);
  while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

inline bool Save(QWidget* window, const QString& path) {
  window->raise();
  Run(200);
  if (!window->grab().save(path, "PNG")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

}  // namespace shots
