#pragma once
// The five value edit dialogs of the slave view. Each opens with the current
// value and the element's auto-change flag and validates on OK.
#include <QDialog>
#include <cstdint>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;

class EditCoilDialog : public QDialog {
  Q_OBJECT
 public:
  EditCoilDialog(std::uint8_t value, bool autoChange, QWidget* parent = nullptr);
  std::uint8_t value() const;
  bool autoChange() const;
  QRadioButton* onButton() const { return on_; }
  QRadioButton* offButton() const { return off_; }
  QCheckBox* autoBox() const { return auto_; }

 private:
  QRadioButton* on_;
  QRadioButton* off_;
  QCheckBox* auto_;
};

class EditRegisterDialog : public QDialog {
  Q_OBJECT
 public:
  // format: 0 signed, 1 unsigned, 2 hex (which edit is shown).
  EditRegisterDialog(int format, std::uint16_t value, bool autoIncrement, QWidget* parent = nullptr);
  std::uint16_t value() const { return value_; }
  bool autoIncrement() const;
  QLineEdit* valueEdit() const;  // the edit shown for the format
  QLabel* valueLabel() const { return label_; }
  QCheckBox* autoBox() const { return auto_; }
  void accept() override;

 private:
  int format_;
  std::uint16_t value_;
  QLineEdit* signedEdit_;
  QLineEdit* unsignedEdit_;
  QLineEdit* hexEdit_;
  QLabel* label_;
  QCheckBox* auto_;
};

class EditBinaryDialog : public QDialog {
  Q_OBJECT
 public:
  EditBinaryDialog(std::uint16_t value, bool autoIncrement, QWidget* parent = nullptr);
  std::uint16_t value() const;
  bool autoIncrement() const;
  QCheckBox* bitBox(int bit) const { return bits_[bit]; }
  QCheckBox* autoBox() const { return auto_; }

 private:
  QCheckBox* bits_[16];
  QCheckBox* auto_;
};

class EditFloatDialog : public QDialog {
  Q_OBJECT
 public:
  // isDouble: the double edit (formats 6, 7) instead of the float edit (4, 5).
  EditFloatDialog(bool isDouble, double value, bool autoIncrement, QWidget* parent = nullptr);
  double value() const { return value_; }
  bool autoIncrement() const;
  QLineEdit* valueEdit() const { return edit_; }
  QCheckBox* autoBox() const { return auto_; }
  void accept() override;

 private:
  bool isDouble_;
  double value_;
  QLineEdit* edit_;
  QCheckBox* auto_;
};

class EditLongDialog : public QDialog {
  Q_OBJECT
 public:
  EditLongDialog(std::int32_t value, bool autoIncrement, QWidget* parent = nullptr);
  // The unsigned long formats: the entry takes 0..4294967295.
  EditLongDialog(std::uint32_t value, bool autoIncrement, QWidget* parent);
  std::int32_t value() const { return static_cast<std::int32_t>(value_); }
  std::uint32_t bits() const { return value_; }
  bool autoIncrement() const;
  QLineEdit* valueEdit() const { return edit_; }
  QCheckBox* autoBox() const { return auto_; }
  void accept() override;

 private:
  std::uint32_t value_;
  bool unsigned_ = false;
  QLineEdit* edit_;
  QCheckBox* auto_;
};
