#pragma once
// The "Poll Definition" dialog of a poll document: OK, Cancel, Apply and Poll Once.
#include <QDialog>

#include "master/app/zelmor_doc.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

class PollDefinitionDialog : public QDialog {
  Q_OBJECT

 public:
  PollDefinitionDialog(CZelmorDoc* document, QWidget* parent = nullptr);

  // Controls, for tests.
  QLineEdit* slaveEdit() const { return slaveEdit_; }
  QComboBox* functionList() const { return functionList_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* lengthEdit() const { return lengthEdit_; }
  QLineEdit* scanRateEdit() const { return scanRateEdit_; }
  QCheckBox* enableBox() const { return enableBox_; }
  QPushButton* okButton() const { return okButton_; }
  QPushButton* applyButton() const { return applyButton_; }
  QPushButton* pollOnceButton() const { return pollOnceButton_; }

 public slots:
  void accept() override;
  void apply();
  void pollOnce();

 private:
  // Reads and checks the fields in the fixed order; false (dialog stays open) on the first bad one.
  bool validate(PollDefinition* definition);

  CZelmorDoc* document_;
  bool oneBased_;
  QLineEdit* slaveEdit_;
  QComboBox* functionList_;
  QLineEdit* addressEdit_;
  QLineEdit* lengthEdit_;
  QLineEdit* scanRateEdit_;
  QCheckBox* enableBox_;
  QPushButton* okButton_;
  QPushButton* applyButton_;
  QPushButton* pollOnceButton_;
};
