#include "master/app/test_center_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/modbus_protocol.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/profile.h"
#include "framework/traffic/traffic_view_options.h"
#include "framework/window_messages.h"
#include "master/app/frame_decoder_dialog.h"
#include "master/core/engine_glue.h"
#include "master/core/test_center.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace text = zelmor::res::text;

namespace {

constexpr int kMaxTrafficLines = 101;  // the line at index 101 pushes out the first
constexpr int kMaxCopiedLines = 100;
const QString kProfileSection = QStringLiteral("TestCenter");

void Exclaim(QWidget* parent, const char* message) {
  fw::ShowMessage(message, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent);
}

fw::FileDialogRequest ListFileRequest(bool save) {
  fw::FileDialogRequest request;
  request.save = save;
  request.filter = text::kTestCenterFilter;
  request.defaultExtension = text::kTestCenterExtension;
  request.initialName = text::kTestCenterFileName;
  request.confirmOverwrite = true;
  return request;
}

}  // namespace

CTestCenterDlg::CTestCenterDlg(bool addCheck, int checkKind, QWidget* parent)
    : QDialog(parent), takenAddCheck_(addCheck), takenCheckKind_(checkKind == zelmor::kCheckLrc ? 1 : 0) {
  setWindowTitle(text::kTestCenterTitle);
  setSizeGripEnabled(true);

  auto* entryGroup = new QGroupBox(text::kTestCenterEntryGroup, this);
  frameEntry_ = new QComboBox(entryGroup);
  frameEntry_->setEditable(true);
  frameEntry_->setInsertPolicy(QComboBox::NoInsert);  // the history grows by "&Add to list" only
  frameEntry_->setDuplicatesEnabled(true);
  frameEntry_->setMinimumContentsLength(40);
  frameEntry_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  auto* entryLayout = new QVBoxLayout(entryGroup);
  entryLayout->addWidget(frameEntry_);
  // Typed letters become capitals; text loaded from a file is left as it is.
  QLineEdit* edit = frameEntry_->lineEdit();
  connect(edit, &QLineEdit::textEdited, this, [edit](const QString& typed) {
    const QString upper = typed.toUpper();
    if (upper == typed) return;
    const int cursor = edit->cursorPosition();
    edit->setText(upper);
    edit->setCursorPosition(cursor);
  });

  openList_ = new QPushButton(text::kTestCenterOpenList, this);
  saveList_ = new QPushButton(text::kTestCenterSaveList, this);
  addToList_ = new QPushButton(text::kTestCenterAddToList, this);
  send_ = new QPushButton(text::kTestCenterSend, this);
  exit_ = new QPushButton(text::kTestCenterExit, this);
  copy_ = new QPushButton(text::kTestCenterCopy, this);
  for (QPushButton* b : {openList_, saveList_, addToList_, send_, exit_, copy_}) b->setAutoDefault(false);
  send_->setDefault(true);

  addCheckBox_ = new QCheckBox(text::kTestCenterAddCheck, this);
  crc_ = new QRadioButton(text::kTestCenterCrc, this);
  lrc_ = new QRadioButton(text::kTestCenterLrc, this);
  addCheckBox_->setChecked(addCheck);
  (takenCheckKind_ == zelmor::kCheckLrc ? lrc_ : crc_)->setChecked(true);

  status_ = new QLabel(this);
  traffic_ = new QListWidget(this);
  traffic_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  traffic_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  traffic_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont font(QStringLiteral("courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(10);
  font.setWeight(QFont::Normal);
  traffic_->setFont(font);
  viewOptions_ = new linkui::TrafficViewOptions(traffic_, kProfileSection);

  // Decode Frame: the selected line, or the frame being typed when none is.
  auto* decode = new QAction(zelmor::res::scan::kDecodeAction, traffic_);
  traffic_->setContextMenuPolicy(Qt::ActionsContextMenu);
  traffic_->addAction(decode);
  connect(decode, &QAction::triggered, this, [this] {
    int direction = 1;
    QListWidgetItem* item = traffic_->currentItem();
    const QString text = item != nullptr ? CFrameDecoderDlg::FrameTextOfLine(item->text(), &direction)
                                         : frameEntry_->currentText();
    auto* dialog = new CFrameDecoderDlg(text, direction, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
  });

  auto* entryRow = new QHBoxLayout;
  entryRow->addWidget(entryGroup, 1);
  auto* sendColumn = new QVBoxLayout;
  sendColumn->addWidget(send_);
  sendColumn->addWidget(exit_);
  entryRow->addLayout(sendColumn);
  auto* buttonRow = new QHBoxLayout;
  for (QWidget* w : std::initializer_list<QWidget*>{openList_, saveList_, addToList_}) buttonRow->addWidget(w);
  buttonRow->addSpacing(12);
  for (QWidget* w : std::initializer_list<QWidget*>{addCheckBox_, crc_, lrc_}) buttonRow->addWidget(w);
  buttonRow->addStretch(1);
  buttonRow->addWidget(copy_);
  // The traffic list takes the whole width and everything below the controls.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 0, 0);
  layout->addLayout(entryRow);
  layout->addLayout(buttonRow);
  layout->addWidget(status_);
  layout->addWidget(traffic_, 1);
  resize(560, 360);

  connect(send_, &QPushButton::clicked, this, &CTestCenterDlg::send);
  connect(exit_, &QPushButton::clicked, this, &QDialog::reject);
  connect(addToList_, &QPushButton::clicked, this, &CTestCenterDlg::addToList);
  connect(openList_, &QPushButton::clicked, this, &CTestCenterDlg::openList);
  connect(saveList_, &QPushButton::clicked, this, &CTestCenterDlg::saveList);
  connect(copy_, &QPushButton::clicked, this, &CTestCenterDlg::copySelected);

  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t, std::intptr_t lParam) -> std::intptr_t {
        if (message == platform::WM_ENGINE_NOTIFY && lParam == 0)
          onCompletion();
        else if (message == platform::WM_ENGINE_STATE)
          onLinkStateChange();
        return 0;
      });
  frameEntry_->setFocus();
}

CTestCenterDlg::~CTestCenterDlg() = default;

QStringList CTestCenterDlg::trafficLines() const {
  QStringList lines;
  for (int i = 0; i < traffic_->count(); ++i) lines << traffic_->item(i)->text();
  return lines;
}

void CTestCenterDlg::takeCheckSettings() {
  takenAddCheck_ = addCheckBox_->isChecked();
  takenCheckKind_ = lrc_->isChecked() ? zelmor::kCheckLrc : zelmor::kCheckCrc;
}

void CTestCenterDlg::setPending(bool pending) {
  pending_ = pending;
  send_->setEnabled(!pending);
}

void CTestCenterDlg::send() {
  const QString typed = frameEntry_->currentText();
  // One Latin-1 character per QString position, so error positions match the edit's.
  const QByteArray characters = typed.toLatin1();
  zelmor::FrameParse frame = zelmor::ParseFrameText(std::string_view(characters.constData(), characters.size()));
  takeCheckSettings();
  if (!frame.ok) {
    Exclaim(this, text::kErrorInString);
    QLineEdit* edit = frameEntry_->lineEdit();
    edit->setFocus();
    edit->setSelection(static_cast<int>(frame.errorPosition), 1);
    return;
  }
  // Without a link nothing serves the slot, and no completion would ever come.
  if (!zelmor::LinkIsOpen()) {
    status_->setText(text::kTestCenterNoLink);
    return;
  }
  if (!me::SubmitOneShot(target_->handle(), platform::WM_ENGINE_NOTIFY, 0, modbus::FC_RAW_FRAME, 0, 0, 0, 0)) {
    // Another one-shot request (a write dialog's) still holds the slot.
    status_->setText(text::kTestCenterBusy);
    return;
  }
  const int check = zelmor::CheckKindForLink(takenCheckKind_, me::GetLinkMode());
  if (takenAddCheck_ && check >= 0) zelmor::AppendCheck(&frame.bytes, check);
  if (!me::SetWriteBytes(0, static_cast<int>(frame.bytes.size()), frame.bytes.data())) {
    me::UnregisterPoll(0);  // never leave the slot taken without data
    status_->setText(text::kTestCenterBusy);
    return;
  }
  status_->clear();
  setPending(true);
  addTrafficLine(true, frame.bytes.data(), frame.bytes.size());
  traffic_->scrollToBottom();
}

void CTestCenterDlg::onCompletion() {
  setPending(false);
  std::uint8_t received[me::kSlotReceivedCapacity];
  const std::uint16_t count = me::CopySlotReceived(0, received);
  if (count > 0) addTrafficLine(false, received, count);
  // The latest exchange in view: the line before the last one at the top.
  const int top = traffic_->count() - 2;
  if (top >= 0) traffic_->scrollToItem(traffic_->item(top), QAbstractItemView::PositionAtTop);
}

void CTestCenterDlg::onLinkStateChange() {
  // The link closed with the frame still waiting: the stopped scheduler will
  // never send it. Take it back, so that it does not go out later on another
  // connection nor keep the one-shot slot from every other request.
  if (!pending_ || zelmor::LinkIsOpen()) return;
  me::UnregisterPoll(0);
  setPending(false);
  status_->setText(text::kTestCenterLinkClosed);
}

void CTestCenterDlg::addTrafficLine(bool sent, const std::uint8_t* bytes, std::size_t count) {
  viewOptions_->addLine(QString::fromStdString(zelmor::TestCenterLine(lineCounter_++, sent, bytes, count)), sent);
  if (traffic_->count() > kMaxTrafficLines) delete traffic_->takeItem(0);
}

void CTestCenterDlg::addToList() { frameEntry_->addItem(frameEntry_->currentText()); }

void CTestCenterDlg::openList() {
  const QString path = fw::ChooseFile(this, ListFileRequest(false));
  if (path.isEmpty()) return;
  std::vector<std::string> entries;
  zelmor::ListFileResult result = zelmor::ReadTestCenterFile(QFile::encodeName(path).toStdString(), &entries);
  if (result == zelmor::ListFileResult::kOpenError) {
    Exclaim(this, text::kFileOpenError);
    return;
  }
  frameEntry_->clear();
  if (result == zelmor::ListFileResult::kNotTestCenterFile) {
    Exclaim(this, text::kNotTestCenterFile);
    return;
  }
  for (const std::string& entry : entries) frameEntry_->addItem(QString::fromStdString(entry));
  if (!entries.empty()) frameEntry_->setEditText(QString::fromStdString(entries.front()));
}

void CTestCenterDlg::saveList() {
  const QString path = fw::ChooseFile(this, ListFileRequest(true));
  if (path.isEmpty()) return;
  std::vector<std::string> entries;
  for (int i = 0; i < frameEntry_->count(); ++i) entries.push_back(frameEntry_->itemText(i).toStdString());
  switch (zelmor::WriteTestCenterFile(QFile::encodeName(path).toStdString(), entries)) {
    case zelmor::ListFileResult::kOk: break;
    case zelmor::ListFileResult::kOpenError: Exclaim(this, text::kFileOpenError); break;
    default: Exclaim(this, text::kDiskError); break;
  }
}

void CTestCenterDlg::copySelected() {
  QString copied;
  int lines = 0;
  for (int i = 0; i < traffic_->count() && lines < kMaxCopiedLines; ++i) {
    if (!traffic_->item(i)->isSelected()) continue;
    QString line = traffic_->item(i)->text();
    while (!line.isEmpty() && line.back() == QLatin1Char(' ')) line.chop(1);
    copied += line + QStringLiteral("\r\n");
    ++lines;
  }
  if (lines == 0) {
    Exclaim(this, text::kNoStringSelected);
    return;
  }
  QApplication::clipboard()->setText(copied);
}

void CTestCenterDlg::closeEvent(QCloseEvent* event) {
  takeCheckSettings();
  QDialog::closeEvent(event);
}

void RunTestCenter(QWidget* parent) {
  fw::Profile& profile = fw::AppProfile();
  const bool addCheck = profile.readIntInRange(kProfileSection, "AddCheck", 0, 0, 1) == 1;
  const int checkKind = profile.readIntInRange(kProfileSection, "CRCLRC", 0, 0, 1);
  int addCheckAfter = 0, checkKindAfter = 0;
  {
    CTestCenterDlg dialog(addCheck, checkKind, parent);
    dialog.exec();
    addCheckAfter = dialog.addCheck() ? 1 : 0;
    checkKindAfter = dialog.checkKind();
  }
  profile.writeInt(kProfileSection, "AddCheck", addCheckAfter);
  profile.writeInt(kProfileSection, "CRCLRC", checkKindAfter);
  profile.sync();
}
