#pragma once
// The "Faults" dialog of a slave definition: the answer delay, a fixed
// exception, the drop and corruption rates, busy bursts and the seed of the
// random faults, each as the text the headless options take. An empty field is
// off; a bad value keeps the dialog open on its field.
#include <QDialog>
#include <cstdint>

#include "slave/engine/faults.h"

class QLineEdit;

class FaultsDialog : public QDialog {
  Q_OBJECT

 public:
  explicit FaultsDialog(QWidget* parent = nullptr);

  void setValues(const slavefaults::FaultSettings& settings, std::uint64_t seed);
  const slavefaults::FaultSettings& settings() const { return settings_; }
  std::uint64_t seed() const { return seed_; }

  QLineEdit* delayEdit() const { return delay_; }
  QLineEdit* exceptionEdit() const { return exception_; }
  QLineEdit* dropEdit() const { return drop_; }
  QLineEdit* corruptEdit() const { return corrupt_; }
  QLineEdit* busyEdit() const { return busy_; }
  QLineEdit* seedEdit() const { return seedEdit_; }

  void accept() override;

 private:
  QLineEdit* delay_;
  QLineEdit* exception_;
  QLineEdit* drop_;
  QLineEdit* corrupt_;
  QLineEdit* busy_;
  QLineEdit* seedEdit_;
  slavefaults::FaultSettings settings_;
  std::uint64_t seed_ = 0;
};
