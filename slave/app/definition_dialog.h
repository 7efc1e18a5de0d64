#pragma once
// The "Slave Definition" dialog: slave id, data table, address and length,
// validated on OK in a fixed order; the dialog stays open on a bad field.
#include <QDialog>

class QComboBox;
class QLineEdit;

class DefinitionDialog : public QDialog {
  Q_OBJECT

 public:
  explicit DefinitionDialog(QWidget* parent = nullptr);

  // address is the shown address (protocol address + 1 with PLC addressing).
  void setValues(int slaveId, int table, int address, int length, bool oneBased);
  int slaveId() const { return slaveId_; }
  int table() const { return table_; }
  int address() const { return address_; }
  int length() const { return length_; }

  QLineEdit* slaveIdEdit() const { return slaveIdEdit_; }
  QComboBox* functionList() const { return functionList_; }
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* lengthEdit() const { return lengthEdit_; }

  void accept() override;

 private:
  QLineEdit* slaveIdEdit_;
  QComboBox* functionList_;
  QLineEdit* addressEdit_;
  QLineEdit* lengthEdit_;
  bool oneBased_ = true;
  int slaveId_ = 1, table_ = 3, address_ = 0, length_ = 10;
};
