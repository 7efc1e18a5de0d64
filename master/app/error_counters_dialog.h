#pragma once
// CErrorCountersDlg: "Error Counters", the counts of the active poll window's
// failures by kind, and below them the response times, as they were when the
// window opened.
#include <QDialog>
#include <array>
#include <cstdint>

#include "master/core/poll_results.h"
#include "master/engine/comm_interface.h"

class QLabel;
class QListWidget;
class QPushButton;

class CErrorCountersDlg : public QDialog {
  Q_OBJECT

 public:
  using Counters = std::array<std::uint32_t, zelmor::kErrorCounterCount>;

  explicit CErrorCountersDlg(const Counters& counters, QWidget* parent = nullptr);
  CErrorCountersDlg(const Counters& counters, const masterengine::ResponseTimes& times, QWidget* parent = nullptr);

  // The lines in the order shown, for tests.
  QStringList lines() const;
  QListWidget* list() const { return list_; }
  // The response-time values shown (last, minimum, mean, maximum, replies timed).
  QStringList responseTimeTexts() const;
  QPushButton* okButton() const { return okButton_; }

 private:
  Counters counters_;
  QListWidget* list_;
  QList<QLabel*> timeValues_;
  QPushButton* okButton_;
};
