#pragma once
// Data logging of a poll window: the "Set Log Rate" dialog and the "&Log..."
// and "Logging Off" commands (the document writes the lines).
#include <QDialog>
#include <QString>
#include <cstdint>

#include "master/core/data_log.h"

class CZelmorDoc;
class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

class LogRateDialog : public QDialog {
  Q_OBJECT

 public:
  explicit LogRateDialog(const zelmor::LogSettings& settings, QWidget* parent = nullptr);

  // The settings taken by OK.
  const zelmor::LogSettings& settings() const { return settings_; }

  // Controls, for tests.
  QRadioButton* eachPollButton() const { return eachPoll_; }
  QRadioButton* selectButton() const { return select_; }
  QLineEdit* rateEdit() const { return rateEdit_; }
  QRadioButton* delimiterButton(int delimiter) const { return delimiters_[delimiter]; }
  QCheckBox* logErrorsBox() const { return logErrors_; }
  QCheckBox* datedBox() const { return dated_; }
  QPushButton* okButton() const { return okButton_; }

 public slots:
  void accept() override;

 private:
  void updateRateEnabling();

  zelmor::LogSettings settings_;
  QRadioButton* eachPoll_;
  QRadioButton* select_;
  QLineEdit* rateEdit_;
  QRadioButton* delimiters_[3];
  QCheckBox* logErrors_;
  QCheckBox* dated_;
  QPushButton* okButton_;
};

// "&Log...": the file dialog, then "Set Log Rate"; creates the file and starts
// the log. Cancel in either ends the command without a change. The file dialog
// starts in the folder of the last log (kept in the profile) or else in the
// user's documents; the long form's check box is kept in the profile too.
void StartLogging(CZelmorDoc* document, QWidget* parent);
// The folder the log's file dialog starts in: `remembered` when it is a folder,
// else the documents folder, else the home folder; never one on /proc, /sys or
// /dev (the file dialog can hang reading them) and never the working directory.
QString LogStartFolder(const QString& remembered);
// "Logging Off".
void StopLogging(CZelmorDoc* document);
