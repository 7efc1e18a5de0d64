#pragma once
// CIdentityDlg: edits the identity objects vantor serves per slave id (read
// device identification 43/14, report slave id 17): the seven named objects
// and any other object id added by number. OK hands them to the engine and
// the profile; Cancel leaves both as they were.
#include <QDialog>
#include <cstdint>
#include <map>

#include "slave/engine/identity.h"

class QSpinBox;
class QTableWidget;

class CIdentityDlg : public QDialog {
  Q_OBJECT

 public:
  CIdentityDlg(int slaveId, QWidget* parent = nullptr);

  QSpinBox* slaveBox() const { return slave_; }
  QSpinBox* objectBox() const { return object_; }
  QTableWidget* table() const { return table_; }
  // Sets the value of an object row (adding the row first when needed), for tests.
  void setValue(std::uint8_t objectId, const QString& value);

 public slots:
  void accept() override;
  void addObject();

 private:
  void keepEdits();
  void showSlave(int slaveId);
  int rowOf(std::uint8_t objectId, bool add);

  std::map<std::uint8_t, slaveidentity::Objects> edited_;  // slave id -> its objects as edited
  int shown_ = -1;
  QSpinBox* slave_ = nullptr;
  QSpinBox* object_ = nullptr;
  QTableWidget* table_ = nullptr;
};

// Loads the identity objects from the profile into the engine (program start).
void LoadIdentityFromProfile();
// Runs the dialog for `slaveId`; on OK the engine and the profile take the objects.
void RunIdentityDialog(int slaveId, QWidget* parent);
