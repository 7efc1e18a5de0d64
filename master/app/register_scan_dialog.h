#pragma once
// CRegisterScanDlg: the register scan of one device. Drives the Qt-free
// regscan walk; each read goes through the engine's one-shot slot and its
// completion comes back as a posted message, so the window never waits on the
// link. Lists the readable blocks with their values, exports them as CSV and
// opens a poll window on a chosen block.
#include <QDialog>
#include <functional>
#include <memory>

#include "master/core/register_scan.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;

namespace fw {
class MessageTarget;
}

class CRegisterScanDlg : public QDialog {
  Q_OBJECT

 public:
  using OpenPoll = std::function<void(int, int, int, int)>;  // slave, function, address, length
  CRegisterScanDlg(int slave, int responseTimeoutMs, OpenPoll openPoll, QWidget* parent = nullptr);
  ~CRegisterScanDlg() override;

  bool isScanning() const { return scanning_; }
  const regscan::RegisterScanState& state() const { return state_; }
  QSpinBox* firstAddress() const { return first_; }
  QSpinBox* lastAddress() const { return last_; }
  QSpinBox* blockSize() const { return block_; }
  QPushButton* startButton() const { return start_; }
  QTableWidget* results() const { return table_; }
  QLabel* statusLabel() const { return status_; }

 public slots:
  void startScan();
  void stopScan();
  void exportCsv();
  void openPollOnBlock();

 protected:
  void reject() override;

 private:
  void step();
  void onReadDone(std::uint16_t result);
  void finish();

  OpenPoll openPoll_;
  int responseTimeoutMs_;
  std::unique_ptr<fw::MessageTarget> target_;
  regscan::RegisterScanState state_;
  int readCount_ = 0;
  bool scanning_ = false;
  bool readPending_ = false;
  QTimer* watchdog_;
  QSpinBox* slave_;
  QComboBox* function_;
  QSpinBox* first_;
  QSpinBox* last_;
  QSpinBox* block_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* export_;
  QPushButton* open_;
  QProgressBar* progress_;
  QLabel* status_;
  QTableWidget* table_;
};
