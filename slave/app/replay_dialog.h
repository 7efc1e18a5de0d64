#pragma once
// The "Replay Recording" dialog: how fast to play the chosen recording and
// whether to start again after its last row.
#include <QDialog>

class QCheckBox;
class QSpinBox;

// The open dialog for a recording (*.csv, existing); empty when cancelled.
QString ChooseRecordingFile(QWidget* parent);

class ReplayDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ReplayDialog(const QString& fileName, QWidget* parent = nullptr);

  int speed() const;
  bool loop() const;
  QSpinBox* speedEdit() const { return speed_; }
  QCheckBox* loopCheck() const { return loop_; }

 private:
  QSpinBox* speed_;
  QCheckBox* loop_;
};
