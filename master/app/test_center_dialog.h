#pragma once
// CTestCenterDlg: sends hand-made frames through the scheduler's one-shot slot
// as raw requests and lists every frame sent and every reply as numbered lines
// of hex bytes. Frames are kept in a drop-down history and in list files.
#include <QDialog>
#include <cstdint>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace fw {
class MessageTarget;
}
namespace linkui {
class TrafficViewOptions;
}

class CTestCenterDlg : public QDialog {
  Q_OBJECT

 public:
  // addCheck, checkKind: the initial state of "Add Check" and of CRC (0) / LRC (1).
  CTestCenterDlg(bool addCheck, int checkKind, QWidget* parent = nullptr);
  ~CTestCenterDlg() override;

  // The check settings as last taken from the controls (at every Send and when
  // the window is closed with its close box): what goes back to the profile.
  bool addCheck() const { return takenAddCheck_; }
  int checkKind() const { return takenCheckKind_; }

  QStringList trafficLines() const;
  bool isSending() const { return pending_; }

  // Controls, for tests.
  QComboBox* frameEntry() const { return frameEntry_; }
  QPushButton* openListButton() const { return openList_; }
  QPushButton* saveListButton() const { return saveList_; }
  QPushButton* addToListButton() const { return addToList_; }
  QPushButton* sendButton() const { return send_; }
  QPushButton* exitButton() const { return exit_; }
  QPushButton* copyButton() const { return copy_; }
  QCheckBox* addCheckBox() const { return addCheckBox_; }
  QRadioButton* crcButton() const { return crc_; }
  QRadioButton* lrcButton() const { return lrc_; }
  QListWidget* trafficList() const { return traffic_; }
  linkui::TrafficViewOptions* viewOptions() const { return viewOptions_; }
  QLabel* statusLabel() const { return status_; }

 public slots:
  void send();
  void addToList();
  void openList();
  void saveList();
  void copySelected();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void takeCheckSettings();
  void onCompletion();
  void onLinkStateChange();
  void addTrafficLine(bool sent, const std::uint8_t* bytes, std::size_t count);
  void setPending(bool pending);

  std::unique_ptr<fw::MessageTarget> target_;
  unsigned lineCounter_ = 0;
  bool pending_ = false;
  bool takenAddCheck_;
  int takenCheckKind_;
  QComboBox* frameEntry_;
  QPushButton* openList_;
  QPushButton* saveList_;
  QPushButton* addToList_;
  QPushButton* send_;
  QPushButton* exit_;
  QPushButton* copy_;
  QCheckBox* addCheckBox_;
  QRadioButton* crc_;
  QRadioButton* lrc_;
  QLabel* status_;
  QListWidget* traffic_;
  linkui::TrafficViewOptions* viewOptions_;
};

// Command 32826: reads TestCenter/AddCheck and CRCLRC from the profile, runs the
// dialog and writes both back after it has closed.
void RunTestCenter(QWidget* parent);
