#pragma once
// CBusScanDlg: the bus scanner window. Walks slave ids x line settings with
// the Qt-free busscan walk; every probe goes through the engine's one-shot
// slot 0 (so it shows in the traffic monitor) and its completion comes back as
// a posted message, so the window never waits on the link. A serial scan
// closes the program's connection and opens the port at each line setting; a
// TCP scan uses the current connection as it is.
#include <QDialog>
#include <functional>
#include <memory>

#include "master/core/bus_scan.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTimer;
class ZelmorConnection;

namespace fw {
class MessageTarget;
}

class CBusScanDlg : public QDialog {
  Q_OBJECT

 public:
  // openPoll opens a poll window (slave, function, address, length) for "Use these settings".
  using OpenPoll = std::function<void(int, int, int, int)>;
  CBusScanDlg(ZelmorConnection* connection, OpenPoll openPoll, QWidget* parent = nullptr);
  ~CBusScanDlg() override;

  bool isScanning() const { return scanning_; }
  const busscan::ScanState& state() const { return state_; }
  // Controls, for tests.
  QSpinBox* firstId() const { return firstId_; }
  QSpinBox* lastId() const { return lastId_; }
  QComboBox* probeChoice() const { return probe_; }
  QPushButton* startButton() const { return start_; }
  QPushButton* stopButton() const { return stop_; }
  QPushButton* useButton() const { return use_; }
  QTableWidget* results() const { return table_; }
  QLabel* statusLabel() const { return status_; }

 public slots:
  void startScan();
  void stopScan();
  void exportCsv();
  void useSelected();

 protected:
  void reject() override;

 private:
  QWidget* buildChoices();
  busscan::ScanPlan planFromControls() const;
  void step();
  void onProbeDone(std::uint16_t result);
  void finish();
  void addRow(const busscan::ProbeResult& r);
  void showProgress();

  ZelmorConnection* connection_;
  OpenPoll openPoll_;
  std::unique_ptr<fw::MessageTarget> target_;
  busscan::ScanState state_;
  busscan::Combination probing_;
  bool scanning_ = false;
  bool probePending_ = false;
  bool ownLink_ = false;  // the scan opened the serial port itself
  qint64 startedMs_ = 0;
  QTimer* watchdog_;
  QSpinBox* firstId_;
  QSpinBox* lastId_;
  QListWidget* bauds_;
  QCheckBox* parities_[3];
  QCheckBox* rtu_;
  QCheckBox* ascii_;
  QComboBox* probe_;
  QSpinBox* address_;
  QSpinBox* timeout_;
  QPushButton* start_;
  QPushButton* stop_;
  QPushButton* export_;
  QPushButton* use_;
  QProgressBar* progress_;
  QLabel* status_;
  QTableWidget* table_;
};
