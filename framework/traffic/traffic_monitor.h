#pragma once
// The communication traffic monitor: a modeless window listing every frame the
// program sends and receives, one numbered line of hexadecimal bytes each.
// At most one exists per program.
#include <QDialog>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/traffic/traffic_source.h"

class QCheckBox;
class QListWidget;
class QPushButton;

namespace fw {
class MessageTarget;
}

namespace linkui {

class TrafficViewOptions;

constexpr int kMaxTrafficLines = 101;

// "%06u-" + "Tx:"/"Rx:" + "%02X " per byte.
QString TrafficLineText(unsigned number, bool sent, const std::uint8_t* bytes, std::size_t count);
// The program-wide line counter: the number the next line gets. Never reset.
unsigned NextTrafficLineNumber();

class TrafficMonitorDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens the monitor, or returns the one already open. The source must outlive
  // the window.
  static TrafficMonitorDialog* open(TrafficSource* source, QWidget* parent = nullptr);
  static bool isOpen();
  static TrafficMonitorDialog* instance();

  ~TrafficMonitorDialog() override;

  bool isStopped() const { return stopped_; }
  QStringList lines() const;
  platform::WindowHandle handle() const;

  // Controls, for the program's own tests.
  QPushButton* exitButton() const { return exitButton_; }
  QPushButton* stopButton() const { return stopButton_; }
  QPushButton* saveButton() const { return saveButton_; }
  QPushButton* copyButton() const { return copyButton_; }
  QCheckBox* stopOnErrorBox() const { return stopOnError_; }  // nullptr without the option
  QListWidget* list() const { return list_; }
  TrafficViewOptions* viewOptions() const { return viewOptions_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  TrafficMonitorDialog(TrafficSource* source, QWidget* parent);
  void onEngineNotify(std::uintptr_t wParam, std::intptr_t lParam);
  void addLine(bool sent, const std::vector<std::uint8_t>& bytes, const QString& note = QString());
  void toggleStopped();
  void copySelected();
  void saveLines();

  TrafficSource* source_;
  std::unique_ptr<fw::MessageTarget> target_;
  bool stopped_ = false;
  QPushButton* exitButton_;
  QPushButton* stopButton_;
  QPushButton* saveButton_;
  QPushButton* copyButton_;
  QCheckBox* stopOnError_ = nullptr;
  QListWidget* list_;
  TrafficViewOptions* viewOptions_;
};

}  // namespace linkui
