#pragma once
// Helpers of the vantor window tests: a fresh program per test with a private
// profile and recorders, modal-dialog drivers and a libmodbus master.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <modbus.h>
#include <vector>

#include "framework/profile.h"
#include "framework/testing/file_dialog_recorder.h"
#include "framework/testing/message_box_recorder.h"
#include "slave/app/main_frame.h"
#include "slave/app/startup.h"
#include "slave/app/vantor_app.h"
#include "slave/app/vantor_doc.h"
#include "slave/app/vantor_view.h"

// Runs action on the next modal dialog of type T once it is shown (exec() blocks
// the test until the action closes it). Delete the returned timer to stop waiting.
template <typename T>
QTimer* WhenDialogOpens(std::function<void(T*)> action) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      timer->stop();
      timer->deleteLater();
      action(dialog);
    }
  });
  timer->start();
  return timer;
}

// An independent Modbus/TCP master (libmodbus).
class LibModbusMaster {
 public:
  explicit LibModbusMaster(int port, int slave = 1) {
    ctx_ = modbus_new_tcp("127.0.0.1", port);
    modbus_set_slave(ctx_, slave);
    connected_ = ctx_ && modbus_connect(ctx_) == 0;
  }
  ~LibModbusMaster() {
    if (ctx_) {
      modbus_close(ctx_);
      modbus_free(ctx_);
    }
  }
  bool connected() const { return connected_; }
  // Empty on failure.
  std::vector<std::uint16_t> registers(int address, int count, bool input = false) {
    std::vector<std::uint16_t> values(count);
    const int n = input ? modbus_read_input_registers(ctx_, address, count, values.data())
                        : modbus_read_registers(ctx_, address, count, values.data());
    if (n != count) values.clear();
    return values;
  }
  std::vector<std::uint8_t> bits(int address, int count) {
    std::vector<std::uint8_t> values(count);
    if (modbus_read_bits(ctx_, address, count, values.data()) != count) values.clear();
    return values;
  }

 private:
  modbus_t* ctx_ = nullptr;
  bool connected_ = false;
};

// One vantor program with a private profile in a temporary directory.
class VantorFixture {
 public:
  VantorFixture() {
    fw::SetAppProfile(std::make_unique<fw::Profile>(QStringLiteral("vantor"), dir.filePath("vantor.ini")));
  }
  ~VantorFixture() { program.reset(); }

  bool start(const VantorCommandLine& commandLine = {}) {
    program = std::make_unique<VantorProgram>();
    const bool ok = StartVantor(commandLine, program.get(), true);
    QApplication::processEvents();
    return ok;
  }
  // Restarts with the same profile.
  bool restart(const VantorCommandLine& commandLine = {}) {
    program.reset();
    fw::SetAppProfile(std::make_unique<fw::Profile>(QStringLiteral("vantor"), dir.filePath("vantor.ini")));
    return start(commandLine);
  }

  CMainFrame* frame() const { return program->mainFrame.get(); }
  CVantorApp* app() const { return program->app.get(); }
  CVantorDoc* doc() const { return frame()->activeVantorDoc(); }
  CVantorView* view() const { return static_cast<CVantorView*>(doc()->firstView()); }

  // Sets the link to a Modbus/TCP server on a free loopback port, not yet connected.
  void chooseLoopbackTcp(bool ignoreUnitId = false);
  // Connects as that server; returns the port (0 on failure).
  int connectTcp(bool ignoreUnitId = false);

  QTemporaryDir dir;
  fw::testing::MessageBoxRecorder boxes;
  fw::testing::FileDialogRecorder files;
  std::unique_ptr<VantorProgram> program;
};
