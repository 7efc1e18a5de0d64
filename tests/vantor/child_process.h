#pragma once
// A vantor child process started by a test: asked to end (SIGTERM to its pid)
// when the test leaves the scope, killed if it does not end within 5 s.
#include <QProcess>

struct StopOnExit {
  QProcess& process;
  ~StopOnExit() {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
  }
};
