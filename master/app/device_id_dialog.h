#pragma once
// CDeviceIdDlg: asks one slave what it is. Read device identification (43/14:
// basic, regular or extended objects, continuations followed, or one object)
// and report slave id (17), sent as raw frames through the scheduler's
// one-shot slot one request at a time; the window never waits for the link.
// The objects are listed by name, private ones in text and hex.
#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>

#include "master/core/device_identification.h"
#include "master/core/pdu_frames.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace fw {
class MessageTarget;
}

class CDeviceIdDlg : public QDialog {
  Q_OBJECT

 public:
  CDeviceIdDlg(zelmor::PduLink link, QWidget* parent = nullptr);
  ~CDeviceIdDlg() override;

  bool isBusy() const { return pending_; }
  // Controls, for tests.
  QSpinBox* slaveBox() const { return slave_; }
  QComboBox* readBox() const { return read_; }
  QSpinBox* objectBox() const { return object_; }
  QPushButton* readButton() const { return readButton_; }
  QPushButton* reportButton() const { return reportButton_; }
  QTableWidget* table() const { return table_; }
  QLabel* statusLabel() const { return status_; }

 public slots:
  void readIdentification();
  void reportSlaveId();

 protected:
  void reject() override;

 private:
  bool submit(const std::uint8_t* pdu, int length);
  void onCompletion(std::uint16_t result);
  void onLinkStateChange();
  void takeIdentification(const std::vector<std::uint8_t>& pdu);
  void takeSlaveId(const std::vector<std::uint8_t>& pdu);
  void fail(const std::string& reason, const std::vector<std::uint8_t>& pdu = {});
  void setPending(bool pending);
  void addRow(const QString& object, const QString& name, const QString& value);

  zelmor::PduLink link_;
  std::optional<devid::Reading> reading_;  // set while an identification is read
  bool pending_ = false;
  std::uint8_t slaveId_ = 1;
  std::uint16_t transaction_ = 0;
  QSpinBox* slave_ = nullptr;
  QComboBox* read_ = nullptr;
  QSpinBox* object_ = nullptr;
  QPushButton* readButton_ = nullptr;
  QPushButton* reportButton_ = nullptr;
  QPushButton* close_ = nullptr;
  QTableWidget* table_ = nullptr;
  QLabel* status_ = nullptr;
  std::unique_ptr<fw::MessageTarget> target_;
};

// Runs the dialog for the current link (the caller checks that one is open).
void RunDeviceIdentification(zelmor::PduLink link, QWidget* parent);
