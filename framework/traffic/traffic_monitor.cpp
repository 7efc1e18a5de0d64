#include "framework/traffic/traffic_monitor.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <atomic>
#include <unistd.h>

#include "common/archive.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/traffic/traffic_view_options.h"
#include "framework/window_messages.h"

namespace linkui {

namespace {

// The window's texts.
constexpr const char* kTitle = "Communication Traffic";
constexpr const char* kExitText = "&Exit";
constexpr const char* kStopText = "&Stop";
constexpr const char* kContinueText = "&Continue";
constexpr const char* kSaveText = "S&ave";
constexpr const char* kCopyText = "&Copy";
constexpr const char* kStopOnErrorText = "S&top on Error";
constexpr const char* kNoStringSelected = "No string selected";
constexpr const char* kFileOpenError = "File open error";
constexpr const char* kDiskError = "Disk full or disk error";
constexpr const char* kSaveFilter = "modbus comm. data (*.txt)|*.txt||";
constexpr const char* kSaveExtension = "txt";
constexpr const char* kSaveName = "commdata";
constexpr const char* kProfileSection = "Traffic";
// Characters before the bytes of a line: "000017-Tx:".
constexpr int kLinePrefixLength = 10;

std::atomic<unsigned> lineCounter{0};
TrafficMonitorDialog* openMonitor = nullptr;

}  // namespace

QString TrafficLineText(unsigned number, bool sent, const std::uint8_t* bytes, std::size_t count) {
  QString text = QString::asprintf("%06u-", number);
  text += sent ? QStringLiteral("Tx:") : QStringLiteral("Rx:");
  text.reserve(text.size() + static_cast<int>(3 * count));
  for (std::size_t i = 0; i < count; ++i) text += QString::asprintf("%02X ", bytes[i]);
  return text;
}

unsigned NextTrafficLineNumber() { return lineCounter.load(); }

TrafficMonitorDialog* TrafficMonitorDialog::open(TrafficSource* source, QWidget* parent) {
  if (openMonitor) {
    openMonitor->raise();
    openMonitor->activateWindow();
    return openMonitor;
  }
  auto* dialog = new TrafficMonitorDialog(source, parent);
  dialog->show();
  return dialog;
}

bool TrafficMonitorDialog::isOpen() { return openMonitor != nullptr; }

TrafficMonitorDialog* TrafficMonitorDialog::instance() { return openMonitor; }

TrafficMonitorDialog::TrafficMonitorDialog(TrafficSource* source, QWidget* parent)
    : QDialog(parent), source_(source) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(QString::fromLatin1(kTitle));
  setSizeGripEnabled(true);

  exitButton_ = new QPushButton(QString::fromLatin1(kExitText), this);
  stopButton_ = new QPushButton(QString::fromLatin1(kStopText), this);
  saveButton_ = new QPushButton(QString::fromLatin1(kSaveText), this);
  copyButton_ = new QPushButton(QString::fromLatin1(kCopyText), this);
  stopButton_->setDefault(true);
  saveButton_->setEnabled(false);
  copyButton_->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  for (QPushButton* b : {exitButton_, stopButton_, saveButton_, copyButton_}) {
    b->setAutoDefault(false);
    b->setMinimumWidth(75);
    buttons->addWidget(b);
  }
  stopButton_->setDefault(true);
  if (source_->hasStopOnError()) {
    stopOnError_ = new QCheckBox(QString::fromLatin1(kStopOnErrorText), this);
    buttons->addWidget(stopOnError_);
  }
  buttons->addStretch(1);

  list_ = new QListWidget(this);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(false);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setUniformItemSizes(true);
  QFont font(QStringLiteral("courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  font.setPixelSize(10);
  font.setWeight(QFont::Normal);
  list_->setFont(font);
  viewOptions_ = new TrafficViewOptions(list_, QString::fromLatin1(kProfileSection));

  // The list takes the full width and every pixel below the buttons.
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 0, 0);
  layout->addLayout(buttons);
  layout->addWidget(list_, 1);
  resize(465, 270);

  connect(exitButton_, &QPushButton::clicked, this, &QDialog::close);
  connect(stopButton_, &QPushButton::clicked, this, &TrafficMonitorDialog::toggleStopped);
  connect(copyButton_, &QPushButton::clicked, this, &TrafficMonitorDialog::copySelected);
  connect(saveButton_, &QPushButton::clicked, this, &TrafficMonitorDialog::saveLines);

  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        if (message == platform::WM_ENGINE_NOTIFY) onEngineNotify(wParam, lParam);
        return 0;
      });
  openMonitor = this;
  source_->setTrafficWindow(target_->handle());
}

TrafficMonitorDialog::~TrafficMonitorDialog() {
  source_->setTrafficWindow(0);
  target_.reset();
  if (openMonitor == this) openMonitor = nullptr;
}

platform::WindowHandle TrafficMonitorDialog::handle() const { return target_ ? target_->handle() : 0; }

QStringList TrafficMonitorDialog::lines() const {
  QStringList result;
  for (int i = 0; i < list_->count(); ++i) result << list_->item(i)->text();
  return result;
}

void TrafficMonitorDialog::closeEvent(QCloseEvent* event) {
  // The opening command becomes available again as soon as the window goes.
  if (openMonitor == this) openMonitor = nullptr;
  source_->setTrafficWindow(0);
  event->accept();
}

void TrafficMonitorDialog::reject() { close(); }

void TrafficMonitorDialog::onEngineNotify(std::uintptr_t wParam, std::intptr_t lParam) {
  if (stopped_) return;
  for (const TrafficFrame& frame : source_->framesFor(wParam, lParam)) {
    if (!frame.bytes.empty() || !frame.note.isEmpty()) addLine(frame.sent, frame.bytes, frame.note);
  }
  if (list_->count() > 0) list_->scrollToItem(list_->item(list_->count() - 1));
  QString failure;
  if (stopOnError_ && stopOnError_->isChecked() && source_->failureOf(wParam, lParam, &failure)) {
    toggleStopped();
    fw::ShowMessage(failure, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
  }
}

void TrafficMonitorDialog::addLine(bool sent, const std::vector<std::uint8_t>& bytes, const QString& note) {
  unsigned number = lineCounter.fetch_add(1);
  viewOptions_->addLine(TrafficLineText(number, sent, bytes.data(), bytes.size()) + note, sent);
  if (list_->count() > kMaxTrafficLines) delete list_->takeItem(0);
}

void TrafficMonitorDialog::toggleStopped() {
  stopped_ = !stopped_;
  stopButton_->setText(QString::fromLatin1(stopped_ ? kContinueText : kStopText));
  saveButton_->setEnabled(stopped_);
  copyButton_->setEnabled(stopped_);
}

void TrafficMonitorDialog::copySelected() {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  QListWidgetItem* item = selected.isEmpty() ? nullptr : selected.first();
  QString text = item ? TrafficViewOptions::lineText(item) : QString();
  if (text.size() < kLinePrefixLength + 1) {
    fw::ShowMessage(QString::fromLatin1(kNoStringSelected), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    return;
  }
  QString bytes = text.mid(kLinePrefixLength);
  while (!bytes.isEmpty() && bytes.back().isSpace()) bytes.chop(1);
  QApplication::clipboard()->setText(bytes);
}

void TrafficMonitorDialog::saveLines() {
  fw::FileDialogRequest request;
  request.save = true;
  request.filter = QString::fromLatin1(kSaveFilter);
  request.defaultExtension = QString::fromLatin1(kSaveExtension);
  request.initialName = QString::fromLatin1(kSaveName);
  request.confirmOverwrite = true;
  const QString path = fw::ChooseFile(this, request);
  if (path.isEmpty()) return;

  const QFileInfo info(path);
  const QByteArray directory = QFile::encodeName(info.absolutePath());
  if (info.isDir() || ::access(directory.constData(), W_OK) != 0) {
    fw::ShowMessage(QString::fromLatin1(kFileOpenError), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
    return;
  }
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < list_->count(); ++i) {
    const QByteArray line = list_->item(i)->text().toLatin1();
    bytes.insert(bytes.end(), line.begin(), line.end());
    bytes.push_back('\n');
  }
  // A temporary file renamed over the target: a failed save keeps the old capture.
  std::string error;
  if (!archive::WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes, &error))
    fw::ShowMessage(QString::fromLatin1(kDiskError), fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, this);
}

}  // namespace linkui
