#pragma once
// CErrorCountersDlg: "Error Counters", the counts of the active poll window's
// failures by kind, as they were when the window opened.
#include <QDialog>
#include <array>
#include <cstdint>

#include "master/app/core/poll_results.h"

class QListWidget;
class QPushButton;

class CErrorCountersDlg : public QDialog {
  Q_OBJECT

 public:
  using Counters = std::array<std::uint32_t, zelmor::kErrorCounterCount>;

  explicit CErrorCountersDlg(const Counters& counters, QWidget* parent = nullptr);

  // The lines in the order shown, for tests.
  QStringList lines() const;
  QListWidget* list() const { return list_; }
  QPushButton* okButton() const { return okButton_; }

 private:
  Counters counters_;
  QListWidget* list_;
  QPushButton* okButton_;
};
