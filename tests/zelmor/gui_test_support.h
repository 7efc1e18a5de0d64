#pragma once
// Shared set-up of zelmor's window tests: a private profile per test, the
// message-box and file-dialog recorders, and the application object.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/testing/file_dialog_recorder.h"
#include "framework/testing/message_box_recorder.h"
#include "framework/window_messages.h"
#include "master/app/main_frame.h"
#include "master/app/zelmor_app.h"
#include "master/app/zelmor_doc.h"
#include "master/app/zelmor_view.h"
#include "master/core/zelmor_files.h"
#include "resources/zelmor_resources.h"

// The link record of a Modbus/TCP peer on this machine.
inline zelmor::CommSettings LoopbackTcpSettings(quint16 port) {
  zelmor::CommSettings s;
  s.port = zelmor::kTcpPortChoice;
  s.ipAddress = "127.0.0.1";
  s.servicePort = port;
  return s;
}

class ZelmorFixture {
 public:
  ZelmorFixture() {
    fw::InstallWindowMessaging();
    fw::SetApplicationTitle("zelmor");
    static int profileNumber = 0;
    fw::SetAppProfile(
        std::make_unique<fw::Profile>("zelmor", dir.filePath(QString("profile%1.ini").arg(++profileNumber))));
    boxes = std::make_unique<fw::testing::MessageBoxRecorder>();
    files = std::make_unique<fw::testing::FileDialogRecorder>();
  }
  ~ZelmorFixture() {
    if (app) {
      app->exitInstance();
      app.reset();
    }
    files.reset();
    boxes.reset();
  }

  CZelmorApp* start(const QStringList& args = {}) {
    app = std::make_unique<CZelmorApp>();
    if (!app->initInstance(args)) return nullptr;
    return app.get();
  }
  CMainFrame* frame() const { return app->mainFrame(); }
  // Takes `settings` as the link record and connects by Quick Connect, as the
  // user's F5 does, then waits for the outcome. True when connected; otherwise
  // the message box's text (boxes->lastText()) tells why.
  bool quickConnect(const zelmor::CommSettings& settings);
  // quickConnect to the Modbus/TCP peer at 127.0.0.1:port.
  bool connectTcp(quint16 port) { return quickConnect(LoopbackTcpSettings(port)); }
  CZelmorDoc* doc() const { return frame()->activeZelmorDocument(); }
  CZelmorView* view() const { return doc() ? qobject_cast<CZelmorView*>(doc()->firstView()) : nullptr; }
  fw::Profile& profile() const { return fw::AppProfile(); }
  QString path(const QString& name) const { return dir.filePath(name); }

  QTemporaryDir dir;
  std::unique_ptr<fw::testing::MessageBoxRecorder> boxes;
  std::unique_ptr<fw::testing::FileDialogRecorder> files;
  std::unique_ptr<CZelmorApp> app;
};

// A TCP connect finishes on the event loop: waits (serving events) until the
// connect in flight, if any, has run its whole sequence. False if it did not
// end within the link's own connect time-out and a margin.
inline bool WaitForConnect(CZelmorApp* app, int timeoutMs = 15000) {
  return QTest::qWaitFor([app] { return !app->isConnecting(); }, timeoutMs);
}

inline bool ZelmorFixture::quickConnect(const zelmor::CommSettings& settings) {
  app->setSettings(settings);
  frame()->action(zelmor::res::ID_QUICK_CONNECT)->trigger();
  return WaitForConnect(app.get()) && app->isConnected();
}

// Runs `drive` on the next modal dialog of type T once it is shown.
// Gives up after about five seconds of event-loop rounds.
template <typename T>
void WhenModal(std::function<void(T*)> drive, int attemptsLeft = 500) {
  QTimer::singleShot(10, [drive, attemptsLeft] {
    auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr) {
      if (attemptsLeft > 0) WhenModal<T>(drive, attemptsLeft - 1);  // not shown yet
      return;
    }
    drive(dialog);
  });
}
