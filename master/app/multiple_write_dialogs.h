#pragma once
// The multiple writes of a poll window: 15 (coils), 16 (registers) and 23
// (write registers and read others back in one request). Each dialog keeps its
// block as a value list shown line by line in the window's display format,
// edits single lines, loads and saves ".mod" value-list files and sends the
// block through the scheduler's one-shot slot as often as the user likes.
#include <QDialog>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "master/core/value_list.h"

class BitRow;
class CZelmorDoc;
class QLabel;
class QGridLayout;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace fw {
class MessageTarget;
class DataExchange;
}  // namespace fw

// What a multiple-write dialog starts from (taken from the poll document).
struct MultipleWriteStart {
  int address = 1;  // as shown, in the window's base
  int size = 1;
  int slave = 1;
  int displayFormat = 0;
  bool oneBased = true;
  int readAddress = 1;  // 23 only
  int readSize = 1;     // 23 only
  std::array<std::uint8_t, zelmor::kCoilListSize> coils{};  // 15 only
  zelmor::RegisterValues values;                            // 16 and 23
};

MultipleWriteStart CoilsStartFromDocument(const CZelmorDoc& doc);
MultipleWriteStart RegistersStartFromDocument(const CZelmorDoc& doc);
MultipleWriteStart ReadWriteStartFromDocument(const CZelmorDoc& doc);

// Commands 32846, 32848 and 32839: run the dialog for the document's window.
void RunWriteMultipleCoils(CZelmorDoc* doc, QWidget* parent);
void RunWriteMultipleRegisters(CZelmorDoc* doc, QWidget* parent);
void RunReadWriteRegisters(CZelmorDoc* doc, QWidget* parent);

// ---- Shared part: the one-shot request, the file buttons, the size edits -------------

class CMultipleWriteDlg : public QDialog {
  Q_OBJECT

 public:
  ~CMultipleWriteDlg() override;

  bool isSending() const { return pending_; }
  QString fileName() const { return fileName_; }

  QLineEdit* addressEdit() const { return address_; }
  QLineEdit* sizeEdit() const { return size_; }
  QLineEdit* slaveEdit() const { return slave_; }
  QPushButton* sendButton() const { return send_; }
  QPushButton* cancelButton() const { return cancel_; }
  QPushButton* openButton() const { return open_; }
  QPushButton* saveButton() const { return save_; }

 public slots:
  virtual void send() = 0;
  void openFile();
  void saveFile();

 protected:
  CMultipleWriteDlg(const MultipleWriteStart& start, const char* saveText, QWidget* parent);
  // The "Address:", "Size:" and "Slave:" rows of the 15 and 16 dialogs.
  QGridLayout* addressSizeSlaveFields();

  // Reads and checks every field in order; false (after the message) on the first bad one.
  virtual bool validate(fw::DataExchange& dx) = 0;
  bool validateAll();
  // The list is rebuilt from the stored values with `line` selected.
  virtual void rebuild(int line) = 0;
  virtual std::int32_t dataTypeTag() const = 0;
  virtual std::uint8_t* payload() = 0;
  virtual int payloadSize() const = 0;
  // The list's on-screen state into the stored values (before a save, a send,
  // a rebuild for a new range, and whenever the list loses the focus).
  virtual void takeListState() {}
  virtual void onCompletion(std::uint16_t code);

  // Queues the request in slot 0 and hands over its data; false when the
  // scheduler refused either (the slot is then left free).
  bool submit(std::uint16_t type, std::uint16_t readAddress, std::uint16_t readSize, std::uint16_t writeAddress,
              std::uint16_t writeSize, const std::function<bool()>& handOver);
  bool eventFilter(QObject* watched, QEvent* event) override;
  void watchFocusOut(QLineEdit* edit);
  void done(int result) override;

  bool oneBased_;
  QString fileName_;
  int enteredAddress_ = 0;
  int enteredSize_ = 0;
  int enteredSlave_ = 0;
  QLineEdit* address_;
  QLineEdit* size_;
  QLineEdit* slave_;
  QPushButton* send_;
  QPushButton* cancel_;
  QPushButton* open_;
  QPushButton* save_;

 private:
  void onLinkStateChange();

  std::unique_ptr<fw::MessageTarget> target_;
  bool pending_ = false;
  bool inFocusCheck_ = false;
  bool closing_ = false;
};

// ---- 15: Write Multiple Coils -------------------------------------------------------

class CWriteCoilsDlg : public CMultipleWriteDlg {
  Q_OBJECT

 public:
  CWriteCoilsDlg(const MultipleWriteStart& start, QWidget* parent = nullptr);

  const std::array<std::uint8_t, zelmor::kCoilListSize>& coils() const { return coils_; }
  QListWidget* coilList() const { return list_; }

 public slots:
  void send() override;

 protected:
  bool validate(fw::DataExchange& dx) override;
  void rebuild(int line) override;
  std::int32_t dataTypeTag() const override { return zelmor::kCoilListTag; }
  std::uint8_t* payload() override { return coils_.data(); }
  int payloadSize() const override { return zelmor::kCoilListSize; }
  void takeListState() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::array<std::uint8_t, zelmor::kCoilListSize> coils_{};
  QListWidget* list_;
};

// ---- 16 and 23: register value lists -------------------------------------------------

class CRegisterListDlg : public CMultipleWriteDlg {
  Q_OBJECT

 public:
  const zelmor::RegisterValues& values() const { return values_; }
  int displayFormat() const { return format_; }
  QListWidget* valueList() const { return list_; }
  QPushButton* editButton() const { return edit_; }
  QStringList lines() const;

 public slots:
  // Edits the selected line (button "&Edit" or a double click).
  void editSelected();

 protected:
  CRegisterListDlg(const MultipleWriteStart& start, const char* title, QWidget* parent);
  void rebuild(int line) override;
  std::int32_t dataTypeTag() const override { return zelmor::DataTypeTagForFormat(format_); }
  std::uint8_t* payload() override { return values_.data(); }
  int payloadSize() const override { return zelmor::kRegisterListBytes; }
  // Refuses (with a message) a size that holds no whole value of an inverse format.
  bool sizeHoldsWholeValue();

  int format_;
  zelmor::RegisterValues values_;
  QListWidget* list_;
  QPushButton* edit_;
};

class CWriteRegistersDlg : public CRegisterListDlg {
  Q_OBJECT

 public:
  CWriteRegistersDlg(const MultipleWriteStart& start, QWidget* parent = nullptr);

 public slots:
  void send() override;

 protected:
  bool validate(fw::DataExchange& dx) override;
};

class CReadWriteRegistersDlg : public CRegisterListDlg {
  Q_OBJECT

 public:
  CReadWriteRegistersDlg(const MultipleWriteStart& start, QWidget* parent = nullptr);

  QLineEdit* readAddressEdit() const { return readAddress_; }
  QLineEdit* readSizeEdit() const { return readSize_; }
  QListWidget* readList() const { return readList_; }
  QStringList readLines() const;
  const zelmor::RegisterValues& readValues() const { return readValues_; }

 public slots:
  void send() override;

 protected:
  bool validate(fw::DataExchange& dx) override;
  void onCompletion(std::uint16_t code) override;

 private:
  int enteredReadAddress_ = 0;
  int enteredReadSize_ = 0;
  int sentReadAddress_ = 0;
  int sentReadSize_ = 0;
  zelmor::RegisterValues readValues_;
  QLineEdit* readAddress_;
  QLineEdit* readSize_;
  QListWidget* readList_;
};

// ---- Value entry of one line ------------------------------------------------------------

// "Enter Value": one edit, chosen by the display format, for a signed, unsigned,
// hex, float, double or long value. The fields not shown keep their values.
class CEnterValueDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CEnterValueDlg(int displayFormat, QWidget* parent = nullptr);

  void setSignedValue(int value);
  void setUnsignedValue(int value);
  void setHexText(const QString& text);
  void setDoubleValue(double value);
  void setFloatValue(float value);
  void setLongValue(int value);
  // The unsigned long formats: the long entry takes 0..4294967295.
  void setUnsignedLongValue(std::uint32_t value);
  std::uint32_t unsignedLongValue() const { return unsignedLong_; }

  int signedValue() const { return signed_; }
  int unsignedValue() const { return unsigned_; }
  QString hexText() const { return hex_; }
  // The hex text's value (valid after OK in the Hex format).
  std::uint16_t hexValue() const { return hexValue_; }
  double doubleValue() const { return double_; }
  float floatValue() const { return float_; }
  int longValue() const { return long_; }

  QLineEdit* visibleEdit() const;
  QPushButton* okButton() const { return ok_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int format_;
  int signed_ = 0;
  int unsigned_ = 0;
  QString hex_ = QStringLiteral("0");
  std::uint16_t hexValue_ = 0;
  double double_ = 0;
  float float_ = 0;
  int long_ = 0;
  std::uint32_t unsignedLong_ = 0;
  bool unsignedLongEntry() const;
  QLineEdit* signedEdit_;
  QLineEdit* unsignedEdit_;
  QLineEdit* hexEdit_;
  QLineEdit* doubleEdit_;
  QLineEdit* floatEdit_;
  QLineEdit* longEdit_;
  QPushButton* ok_;
};

// "Enter Value" for the Binary format: the value as a bit row.
class CEnterBitsDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CEnterBitsDlg(std::uint16_t value, QWidget* parent = nullptr);

  std::uint16_t value() const { return value_; }
  BitRow* bitRow() const { return bits_; }
  QPushButton* okButton() const { return ok_; }

  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  std::uint16_t value_;
  BitRow* bits_;
  QPushButton* ok_;
};
