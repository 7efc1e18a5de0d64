#pragma once
// The single-item write dialogs of the Functions menu and of a double click on
// a value: coil (05/15), register in three presentations and as 16 bits
// (06/16), mask write (22), and the float/double and long entries whose write
// the poll document sends itself. Every dialog shows and takes addresses in
// its window's base and sends the protocol address.
#include <QDialog>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "framework/validation.h"

class BitRow;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace fw {
class MessageTarget;
}

// The message box of a write's result code.
void ShowWriteResult(std::uint16_t result, QWidget* parent);
// Send found the one-shot slot still taken: says so in the main window's status bar.
void ShowWriteStillPending(QWidget* from);
// Checks one value edit by the entry rule of a display format and appends its
// native-order words; on failure shows the message and focuses the edit.
bool TakeValueEntry(fw::DataExchange& dx, QLineEdit* edit, int displayFormat, std::vector<std::uint16_t>* words);

// A dialog that stays open and sends at every "&Send" through the one-shot
// slot, showing each completion with ShowWriteResult.
class CWriteDialog : public QDialog {
  Q_OBJECT

 public:
  ~CWriteDialog() override;

  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* slaveEdit() const { return slaveEdit_; }
  QPushButton* sendButton() const { return sendButton_; }

 public slots:
  virtual void send() = 0;

 protected:
  CWriteDialog(const char* title, bool oneBased, int address, int slave, QWidget* parent);
  // The standard buttons "&Send" (default) and the cancel button with its text.
  QLayout* makeButtons(const char* cancelText);
  // Address (in the window's base) and slave: the first two checks of every dialog.
  bool takeAddressAndSlave(fw::DataExchange& dx, int slaveMin, std::uint16_t* protocolAddress, int* slave);
  // SubmitOneShot with this dialog as receiver; false (and the status-bar
  // notice) when the slot is still taken.
  bool submit(int slave, int type, std::uint16_t andMask, std::uint16_t orMask, std::uint16_t protocolAddress);

  bool oneBased_;

 private:
  std::unique_ptr<fw::MessageTarget> target_;
  QLineEdit* addressEdit_;
  QLineEdit* slaveEdit_;
  QPushButton* sendButton_ = nullptr;
};

// The write dialogs with a "Use Function" choice between the single-item and
// the multiple-item function (05 or 15, 06 or 16); the choice at the last Send
// is handed back for PresetSingle.
class CFunctionChoiceDlg : public CWriteDialog {
  Q_OBJECT

 public:
  // The function choice at the last Send, or the one given when nothing was sent.
  int functionAfter() const { return functionAfter_; }
  QRadioButton* functionButton(int function) const { return function == 0 ? single_ : multiple_; }

 protected:
  // function: 0 the single-item function, 1 the multiple-item one.
  CFunctionChoiceDlg(const char* title, bool oneBased, int address, int slave, int function, QWidget* parent);
  // The "Use Function" group with the given function chosen.
  QWidget* functionGroup(const char* singleLabel, const char* multipleLabel);
  // The choice at this Send (0 or 1), remembered for functionAfter.
  int takeFunction();
  // The register write of that choice: 16 for the multiple form, else 6.
  int registerWriteType();

 private:
  QRadioButton* single_ = nullptr;
  QRadioButton* multiple_ = nullptr;
  int functionAfter_;
};

class CWriteSingleCoilDlg : public CFunctionChoiceDlg {
  Q_OBJECT

 public:
  // function: 0 = 05, 1 = 15.
  CWriteSingleCoilDlg(bool oneBased, int address, int slave, bool on, int function, QWidget* parent = nullptr);
  QRadioButton* onButton() const { return on_; }
  QRadioButton* offButton() const { return off_; }

 public slots:
  void send() override;

 private:
  QRadioButton* on_;
  QRadioButton* off_;
};

class CWriteRegisterDlg : public CFunctionChoiceDlg {
  Q_OBJECT

 public:
  // presentation: 0 Signed, 1 Unsigned, 2 Hex; function: 0 = 06, 1 = 16.
  CWriteRegisterDlg(bool oneBased, int address, int slave, std::uint16_t value, int presentation, int function,
                    QWidget* parent = nullptr);
  int presentation() const { return presentation_; }
  QLineEdit* valueEdit() const;
  QLabel* valueLabel() const { return label_; }

 public slots:
  void send() override;

 private:
  int presentation_;
  QLineEdit* unsigned_;
  QLineEdit* signed_;
  QLineEdit* hex_;
  QLabel* label_;
};

class CWriteRegisterBinDlg : public CFunctionChoiceDlg {
  Q_OBJECT

 public:
  CWriteRegisterBinDlg(bool oneBased, int address, int slave, std::uint16_t value, int function,
                       QWidget* parent = nullptr);
  BitRow* bits() const { return bits_; }

 public slots:
  void send() override;

 private:
  BitRow* bits_;
};

class CMaskWriteDlg : public CWriteDialog {
  Q_OBJECT

 public:
  CMaskWriteDlg(bool oneBased, int address, int slave, std::uint16_t andMask, std::uint16_t orMask,
                QWidget* parent = nullptr);
  BitRow* andMask() const { return and_; }
  BitRow* orMask() const { return or_; }

 public slots:
  void send() override;

 private:
  BitRow* and_;
  BitRow* or_;
};

// The float/double and long entries close with OK on "&Send"; the caller sends.
class CWriteValueDlg : public QDialog {
  Q_OBJECT

 public:
  QLineEdit* addressEdit() const { return addressEdit_; }
  QLineEdit* slaveEdit() const { return slaveEdit_; }
  QPushButton* sendButton() const { return sendButton_; }
  // After OK: the protocol address, the slave and the value as native-order words.
  std::uint16_t protocolAddress() const { return protocolAddress_; }
  int slave() const { return slave_; }
  const std::vector<std::uint16_t>& words() const { return words_; }

 protected:
  CWriteValueDlg(bool oneBased, int address, int slave, QWidget* parent);
  void addCommonRows(class QFormLayout* form);
  // The Send and Cancel buttons beside the form; Tab goes from the value edits
  // (the hidden one is passed over) to Address, Slave, Send and Cancel.
  void finishLayout(class QFormLayout* form, std::initializer_list<QWidget*> valueEdits);
  bool takeAddressAndSlave(fw::DataExchange& dx);

  bool oneBased_;
  QLineEdit* addressEdit_;
  QLineEdit* slaveEdit_;
  QPushButton* sendButton_;
  std::uint16_t protocolAddress_ = 0;
  int slave_ = 0;
  std::vector<std::uint16_t> words_;
};

class CWriteFloatDlg : public CWriteValueDlg {
  Q_OBJECT

 public:
  // displayFormat 4..7; value as a double (a float is widened exactly).
  CWriteFloatDlg(bool oneBased, int address, int slave, int displayFormat, double value, QWidget* parent = nullptr);
  QLineEdit* valueEdit() const;

 public slots:
  void send();

 private:
  int format_;
  QLineEdit* float_;
  QLineEdit* double_;
};

class CWriteLongDlg : public CWriteValueDlg {
  Q_OBJECT

 public:
  // displayFormat 8 or 9.
  CWriteLongDlg(bool oneBased, int address, int slave, int displayFormat, std::int32_t value,
                QWidget* parent = nullptr);
  QLineEdit* valueEdit() const { return value_; }

 public slots:
  void send();

 private:
  int format_;
  QLineEdit* value_;
};
