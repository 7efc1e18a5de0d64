#include "master/app/multiple_write_dialogs.h"

#include <QEvent>
#include <QFile>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "framework/file_dialog.h"
#include "framework/message_box.h"
#include "framework/validation.h"
#include "framework/window_messages.h"
#include "master/app/bit_row.h"
#include "master/core/engine_glue.h"
#include "master/core/value_list_engine.h"
#include "master/core/write_values.h"
#include "master/app/write_dialogs.h"
#include "master/app/zelmor_doc.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace text = zelmor::res::text;

namespace {

void Exclaim(QWidget* parent, const QString& message) {
  fw::ShowMessage(message, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, parent);
}

fw::FileDialogRequest ValueFileRequest(bool save, const QString& name) {
  fw::FileDialogRequest request;
  request.save = save;
  request.filter = text::kValueListFilter;
  request.defaultExtension = text::kValueListExtension;
  request.initialName = name;
  request.confirmOverwrite = true;
  request.mustExist = false;  // a name typed in the open dialog that does not exist gives "File open error"
  return request;
}

QLineEdit* NumberEdit(int value, QWidget* parent) {
  auto* edit = new QLineEdit(QString::number(value), parent);
  edit->setMaximumWidth(90);
  return edit;
}

void FillList(QListWidget* list, const std::vector<std::string>& lines) {
  list->clear();
  for (const std::string& line : lines) list->addItem(QString::fromStdString(line));
}

QStringList ListLines(const QListWidget* list) {
  QStringList lines;
  for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

QListWidget* ValueList(QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  list->setMinimumWidth(260);
  QFont font(QStringLiteral("courier"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  list->setFont(font);
  return list;
}

// A display format outside the table is taken as the nearest one.
int KnownFormat(int format) { return std::clamp(format, 0, valuefmt::kAllFormatCount - 1); }

// The dialog titles: the ten formats', and the other orders' of their own.
const char* RegistersTitle(int format, const char* const (&classic)[10], const char* const (&ordered)[10]) {
  format = KnownFormat(format);
  return format < valuefmt::kFormatCount ? classic[format] : ordered[format - valuefmt::kFormatCount];
}

}  // namespace

// ---- Starting values -------------------------------------------------------------------

MultipleWriteStart CoilsStartFromDocument(const CZelmorDoc& doc) {
  MultipleWriteStart start;
  start.oneBased = doc.oneBased();
  start.address = doc.address() + (start.oneBased ? 1 : 0);
  start.size = doc.length();
  start.slave = doc.slaveId();
  start.displayFormat = doc.displayFormat();
  if (doc.function() == modbus::FC_READ_COILS) {
    const int count = std::clamp(doc.length(), 0, zelmor::kCoilListSize);
    std::memcpy(start.coils.data(), doc.values(), static_cast<std::size_t>(count));
  }
  return start;
}

MultipleWriteStart RegistersStartFromDocument(const CZelmorDoc& doc) {
  MultipleWriteStart start;
  start.oneBased = doc.oneBased();
  start.address = doc.address() + (start.oneBased ? 1 : 0);
  start.size = std::min(doc.length(), zelmor::kMaxWriteListRegisters);
  start.slave = doc.slaveId();
  start.displayFormat = doc.displayFormat();
  if (doc.function() == modbus::FC_READ_HOLDING_REGISTERS) {
    // The document's value image holds the registers as the display format sees
    // them, in the same byte order as the list.
    const int count = std::clamp(doc.length(), 0, zelmor::kMaxWriteListRegisters);
    std::memcpy(start.values.data(), doc.values(), static_cast<std::size_t>(2 * count));
  }
  return start;
}

MultipleWriteStart ReadWriteStartFromDocument(const CZelmorDoc& doc) {
  MultipleWriteStart start = RegistersStartFromDocument(doc);
  start.readAddress = start.oneBased ? 1 : 0;
  start.readSize = 1;
  return start;
}

void RunWriteMultipleCoils(CZelmorDoc* doc, QWidget* parent) {
  if (doc == nullptr || !zelmor::LinkIsOpen()) return;
  CWriteCoilsDlg dialog(CoilsStartFromDocument(*doc), parent);
  dialog.exec();
}

void RunWriteMultipleRegisters(CZelmorDoc* doc, QWidget* parent) {
  if (doc == nullptr || !zelmor::LinkIsOpen()) return;
  CWriteRegistersDlg dialog(RegistersStartFromDocument(*doc), parent);
  dialog.exec();
}

void RunReadWriteRegisters(CZelmorDoc* doc, QWidget* parent) {
  if (doc == nullptr || !zelmor::LinkIsOpen()) return;
  CReadWriteRegistersDlg dialog(ReadWriteStartFromDocument(*doc), parent);
  dialog.exec();
}

// ---- CMultipleWriteDlg -------------------------------------------------------------

CMultipleWriteDlg::CMultipleWriteDlg(const MultipleWriteStart& start, const char* saveText, QWidget* parent)
    : QDialog(parent),
      oneBased_(start.oneBased),
      fileName_(text::kValueListFileName),
      enteredAddress_(start.address),
      enteredSize_(start.size),
      enteredSlave_(start.slave) {
  address_ = NumberEdit(start.address, this);
  size_ = NumberEdit(start.size, this);
  slave_ = NumberEdit(start.slave, this);
  send_ = new QPushButton(text::kWriteSend, this);
  cancel_ = new QPushButton(text::kWriteCancelAccel, this);
  open_ = new QPushButton(text::kListOpen, this);
  save_ = new QPushButton(saveText, this);
  for (QPushButton* b : {send_, cancel_, open_, save_}) b->setAutoDefault(false);
  connect(send_, &QPushButton::clicked, this, [this] { send(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(open_, &QPushButton::clicked, this, &CMultipleWriteDlg::openFile);
  connect(save_, &QPushButton::clicked, this, &CMultipleWriteDlg::saveFile);
  watchFocusOut(address_);
  watchFocusOut(size_);

  target_ = std::make_unique<fw::MessageTarget>(
      [this](std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
        if (message == platform::WM_ENGINE_NOTIFY && lParam == 0) {
          pending_ = false;
          onCompletion(static_cast<std::uint16_t>(wParam));
        } else if (message == platform::WM_ENGINE_STATE) {
          onLinkStateChange();
        }
        return 0;
      });
}

QGridLayout* CMultipleWriteDlg::addressSizeSlaveFields() {
  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(text::kWriteAddressLabel, this), 0, 0);
  fields->addWidget(address_, 0, 1);
  fields->addWidget(new QLabel(text::kListSizeLabel, this), 1, 0);
  fields->addWidget(size_, 1, 1);
  fields->addWidget(new QLabel(text::kWriteSlaveLabel, this), 2, 0);
  fields->addWidget(slave_, 2, 1);
  return fields;
}

CMultipleWriteDlg::~CMultipleWriteDlg() = default;

void CMultipleWriteDlg::watchFocusOut(QLineEdit* edit) { edit->installEventFilter(this); }

void CMultipleWriteDlg::done(int result) {
  closing_ = true;
  QDialog::done(result);
}

bool CMultipleWriteDlg::eventFilter(QObject* watched, QEvent* event) {
  // Leaving the address or size edit checks the entries and, when they are
  // good, shows the list for the new range. Losing the focus to another window
  // (a message box among them) is not leaving the edit.
  if (event->type() == QEvent::FocusOut && (watched == address_ || watched == size_) && !closing_ &&
      !inFocusCheck_) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
      if (validateAll()) {
        takeListState();  // what the user set in the list outlives the new range
        rebuild(0);
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool CMultipleWriteDlg::validateAll() {
  // A failed check moves the focus to the offending field, which may take it
  // from the address or size edit: that is not the user leaving the edit.
  const bool wasChecking = inFocusCheck_;
  inFocusCheck_ = true;
  fw::DataExchange dx(this);
  const bool ok = validate(dx);
  inFocusCheck_ = wasChecking;
  return ok;
}

bool CMultipleWriteDlg::submit(std::uint16_t type, std::uint16_t readAddress, std::uint16_t readSize,
                               std::uint16_t writeAddress, std::uint16_t writeSize,
                               const std::function<bool()>& handOver) {
  // Refused (another one-shot request still pending): nothing is sent for this
  // Send; the status bar says why.
  if (!me::SubmitOneShot(target_->handle(), platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(enteredSlave_),
                         type, readAddress, readSize, writeAddress, writeSize)) {
    ShowWriteStillPending(this);
    return false;
  }
  if (!handOver()) {
    // Never leave the slot queued without its data: it would hold back every
    // later one-shot request.
    me::UnregisterPoll(0);
    return false;
  }
  pending_ = true;
  return true;
}

void CMultipleWriteDlg::onCompletion(std::uint16_t code) { ShowWriteResult(code, this); }

void CMultipleWriteDlg::onLinkStateChange() {
  // The link closed with the request still queued: the stopped scheduler will
  // never send it. Take it back, so that it neither goes out later on another
  // connection nor keeps the one-shot slot from every other request.
  if (!pending_ || zelmor::LinkIsOpen()) return;
  me::UnregisterPoll(0);
  pending_ = false;
}

void CMultipleWriteDlg::openFile() {
  const QString path = fw::ChooseFile(this, ValueFileRequest(false, fileName_));
  if (path.isEmpty()) return;
  switch (zelmor::ReadValueListFile(QFile::encodeName(path).toStdString(), dataTypeTag(), payload(), payloadSize())) {
    case zelmor::ValueFileResult::kOk: break;
    case zelmor::ValueFileResult::kWrongType: Exclaim(this, text::kNotCorrectDataType); return;
    default: Exclaim(this, text::kFileOpenError); return;
  }
  fileName_ = QString::fromStdString(zelmor::FileTitle(path.toStdString()));
  rebuild(0);
}

void CMultipleWriteDlg::saveFile() {
  takeListState();
  const QString path = fw::ChooseFile(this, ValueFileRequest(true, fileName_));
  if (path.isEmpty()) return;
  switch (zelmor::WriteValueListFile(QFile::encodeName(path).toStdString(), dataTypeTag(), payload(), payloadSize())) {
    case zelmor::ValueFileResult::kOk: break;
    case zelmor::ValueFileResult::kOpenError: Exclaim(this, text::kFileOpenError); return;
    default:
      fileName_ = QString::fromStdString(zelmor::FileTitle(path.toStdString()));
      Exclaim(this, text::kDiskError);
      return;
  }
  fileName_ = QString::fromStdString(zelmor::FileTitle(path.toStdString()));
}

// Checks address, size and slave in that order; the PLC address rule comes last.
static bool ValidateBlock(fw::DataExchange& dx, QLineEdit* address, QLineEdit* size, int maxSize, QLineEdit* slave,
                          int minSlave, int* addressOut, int* sizeOut, int* slaveOut) {
  return dx.intField(address, 0, modbus::MAX_ADDRESS, addressOut) && dx.intField(size, 1, maxSize, sizeOut) &&
         dx.intField(slave, minSlave, modbus::MAX_UNIT_ID, slaveOut);
}

static bool CheckBase(fw::DataExchange& dx, bool oneBased, QLineEdit* edit, int value) {
  if (!dx.ok()) return false;
  if (oneBased && value < 1) return dx.fail(edit, fw::IntegerRangeText(1, modbus::MAX_ADDRESS));
  return true;
}

// ---- CWriteCoilsDlg ----------------------------------------------------------------

CWriteCoilsDlg::CWriteCoilsDlg(const MultipleWriteStart& start, QWidget* parent)
    : CMultipleWriteDlg(start, text::kCoilsSave, parent),
      coils_(start.coils) {
  setWindowTitle(text::kWriteCoilsTitle);
  list_ = ValueList(this);
  list_->installEventFilter(this);
  send_->setDefault(true);

  auto* buttons = new QVBoxLayout;
  buttons->addLayout(addressSizeSlaveFields());
  for (QPushButton* b : {send_, cancel_, open_, save_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  rebuild(0);
}

bool CWriteCoilsDlg::validate(fw::DataExchange& dx) {
  int address = 0, size = 0, slave = 0;
  if (!ValidateBlock(dx, address_, size_, zelmor::kCoilListSize, slave_, 0, &address, &size, &slave)) return false;
  if (!CheckBase(dx, oneBased_, address_, address)) return false;
  enteredAddress_ = address;
  enteredSize_ = size;
  enteredSlave_ = slave;
  return true;
}

void CWriteCoilsDlg::rebuild(int line) {
  list_->clear();
  for (int i = 0; i < enteredSize_; ++i) {
    auto* item = new QListWidgetItem(QString::asprintf(text::kCoilLineFormat, enteredAddress_ + i), list_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(coils_[static_cast<std::size_t>(i)] != 0 ? Qt::Checked : Qt::Unchecked);
  }
  if (line < list_->count()) list_->setCurrentRow(line);
}

bool CWriteCoilsDlg::eventFilter(QObject* watched, QEvent* event) {
  // The ticks are kept as soon as the user leaves the list, so that nothing
  // that rebuilds it afterwards can drop them.
  if (watched == list_ && event->type() == QEvent::FocusOut) takeListState();
  return CMultipleWriteDlg::eventFilter(watched, event);
}

void CWriteCoilsDlg::takeListState() {
  for (int i = 0; i < list_->count() && i < zelmor::kCoilListSize; ++i)
    coils_[static_cast<std::size_t>(i)] = list_->item(i)->checkState() == Qt::Checked ? 1 : 0;
}

void CWriteCoilsDlg::send() {
  takeListState();
  if (!validateAll()) return;
  const int count = enteredSize_;
  submit(modbus::FC_WRITE_MULTIPLE_COILS, 0, 0, static_cast<std::uint16_t>(enteredAddress_ - (oneBased_ ? 1 : 0)), 1,
         [this, count] { return me::SetWriteBytes(0, count, coils_.data()) == 1; });
}

// ---- CRegisterListDlg --------------------------------------------------------------

CRegisterListDlg::CRegisterListDlg(const MultipleWriteStart& start, const char* title, QWidget* parent)
    : CMultipleWriteDlg(start, text::kListSave, parent),
      format_(KnownFormat(start.displayFormat)),
      values_(start.values) {
  setWindowTitle(title);
  list_ = ValueList(this);
  edit_ = new QPushButton(text::kListEdit, this);
  edit_->setAutoDefault(false);
  edit_->setDefault(true);
  connect(edit_, &QPushButton::clicked, this, &CRegisterListDlg::editSelected);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { editSelected(); });
}

QStringList CRegisterListDlg::lines() const { return ListLines(list_); }

void CRegisterListDlg::rebuild(int line) {
  FillList(list_, zelmor::ValueListLines(values_, format_, enteredAddress_, enteredSize_));
  if (line >= 0 && line < list_->count()) list_->setCurrentRow(line);
}

bool CRegisterListDlg::sizeHoldsWholeValue() {
  if (zelmor::WrittenRegisterCount(format_, enteredSize_) > 0) return true;
  Exclaim(this, text::kNoWholeValue);
  size_->setFocus();
  size_->selectAll();
  return false;
}

void CRegisterListDlg::editSelected() {
  QListWidgetItem* current = list_->currentItem();
  if (current == nullptr || !current->isSelected()) return;
  const int h = list_->row(current);
  const int firstVisible = list_->verticalScrollBar()->value();
  bool changed = false;
  if (format_ == valuefmt::kBinary) {
    CEnterBitsDlg dialog(values_.word(h), this);
    if (dialog.exec() == QDialog::Accepted) {
      values_.setWord(h, dialog.value());
      changed = true;
    }
  } else {
    CEnterValueDlg dialog(format_, this);
    switch (zelmor::RegistersPerValue(format_)) {
      case 2:
        if (valuefmt::KindOf(format_) == valuefmt::ValueKind::kFloat)
          dialog.setFloatValue(values_.floatValue(h));
        else if (valuefmt::KindOf(format_) == valuefmt::ValueKind::kUnsignedLong)
          dialog.setUnsignedLongValue(static_cast<std::uint32_t>(values_.longValue(h)));
        else
          dialog.setLongValue(values_.longValue(h));
        break;
      case 4: dialog.setDoubleValue(values_.doubleValue(h)); break;
      default:
        if (format_ == valuefmt::kSigned) {
          dialog.setSignedValue(static_cast<std::int16_t>(values_.word(h)));
        } else {
          dialog.setUnsignedValue(values_.word(h));
          dialog.setHexText(QString::fromStdString(zelmor::HexEntryText(values_.word(h))));
        }
        break;
    }
    if (dialog.exec() == QDialog::Accepted) {
      changed = true;
      switch (valuefmt::KindOf(format_) == valuefmt::ValueKind::kUnsignedLong ? -1 : valuefmt::ClassicFormat(format_)) {
        case -1: values_.setLong(h, static_cast<std::int32_t>(dialog.unsignedLongValue())); break;
        case valuefmt::kSigned: values_.setWord(h, static_cast<std::uint16_t>(dialog.signedValue())); break;
        case valuefmt::kUnsigned: values_.setWord(h, static_cast<std::uint16_t>(dialog.unsignedValue())); break;
        case valuefmt::kHex: values_.setWord(h, dialog.hexValue()); break;
        case valuefmt::kFloat: case valuefmt::kFloatInverse: values_.setFloat(h, dialog.floatValue()); break;
        case valuefmt::kDouble: case valuefmt::kDoubleInverse: values_.setDouble(h, dialog.doubleValue()); break;
        default: values_.setLong(h, dialog.longValue()); break;
      }
    }
  }
  if (!changed) return;
  rebuild(h);
  list_->doItemsLayout();  // the scroll range of the new lines, before the old position is restored
  list_->verticalScrollBar()->setValue(firstVisible);
}

// ---- CWriteRegistersDlg ------------------------------------------------------------

CWriteRegistersDlg::CWriteRegistersDlg(const MultipleWriteStart& start, QWidget* parent)
    : CRegisterListDlg(start,
                       RegistersTitle(start.displayFormat, text::kWriteRegistersTitles, text::kWriteRegistersOrderTitles),
                       parent) {
  auto* buttons = new QVBoxLayout;
  buttons->addLayout(addressSizeSlaveFields());
  for (QPushButton* b : {send_, cancel_, edit_, open_, save_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(buttons);
  rebuild(0);
}

bool CWriteRegistersDlg::validate(fw::DataExchange& dx) {
  int address = 0, size = 0, slave = 0;
  if (!ValidateBlock(dx, address_, size_, zelmor::kMaxWriteListRegisters, slave_, 0, &address, &size, &slave))
    return false;
  if (!CheckBase(dx, oneBased_, address_, address)) return false;
  enteredAddress_ = address;
  enteredSize_ = size;
  enteredSlave_ = slave;
  return true;
}

void CWriteRegistersDlg::send() {
  if (!validateAll() || !sizeHoldsWholeValue()) return;
  const int size = enteredSize_;
  submit(modbus::FC_WRITE_MULTIPLE_REGISTERS, 0, 0,
         static_cast<std::uint16_t>(enteredAddress_ - (oneBased_ ? 1 : 0)), 1,
         [this, size] { return zelmor::HandOverWriteValues(format_, values_.words(size).data(), size) == 1; });
}

// ---- CReadWriteRegistersDlg --------------------------------------------------------

CReadWriteRegistersDlg::CReadWriteRegistersDlg(const MultipleWriteStart& start, QWidget* parent)
    : CRegisterListDlg(start,
                       RegistersTitle(start.displayFormat, text::kReadWriteRegistersTitles,
                                      text::kReadWriteRegistersOrderTitles),
                       parent),
      enteredReadAddress_(start.readAddress),
      enteredReadSize_(start.readSize) {
  readAddress_ = NumberEdit(start.readAddress, this);
  readSize_ = NumberEdit(start.readSize, this);
  readList_ = ValueList(this);
  readList_->setSelectionMode(QAbstractItemView::NoSelection);
  readList_->setFocusPolicy(Qt::NoFocus);

  auto* fields = new QGridLayout;
  int row = 0;
  for (auto [label, edit] : {std::pair{text::kReadWriteAddressLabel, address_}, std::pair{text::kReadWriteSizeLabel, size_},
                             std::pair{text::kWriteSlaveLabel, slave_},
                             std::pair{text::kReadAddressLabel, readAddress_},
                             std::pair{text::kReadSizeLabel, readSize_}}) {
    fields->addWidget(new QLabel(label, this), row, 0);
    fields->addWidget(edit, row++, 1);
  }
  auto* buttons = new QVBoxLayout;
  buttons->addLayout(fields);
  for (QPushButton* b : {send_, cancel_, edit_, open_, save_}) buttons->addWidget(b);
  buttons->addStretch(1);
  auto* readColumn = new QVBoxLayout;
  readColumn->addWidget(new QLabel(text::kReadResultLabel, this));
  readColumn->addWidget(readList_, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(list_, 1);
  layout->addLayout(readColumn, 1);
  layout->addLayout(buttons);
  rebuild(0);
}

QStringList CReadWriteRegistersDlg::readLines() const { return ListLines(readList_); }

bool CReadWriteRegistersDlg::validate(fw::DataExchange& dx) {
  int address = 0, size = 0, slave = 0, readAddress = 0, readSize = 0;
  // A reply is needed, so no broadcast.
  if (!ValidateBlock(dx, address_, size_, zelmor::kMaxWriteListRegisters, slave_, 1, &address, &size, &slave) ||
      !dx.intField(readAddress_, 0, modbus::MAX_ADDRESS, &readAddress) ||
      !dx.intField(readSize_, 1, zelmor::kMaxWriteListRegisters, &readSize))
    return false;
  if (!CheckBase(dx, oneBased_, address_, address) || !CheckBase(dx, oneBased_, readAddress_, readAddress))
    return false;
  enteredAddress_ = address;
  enteredSize_ = size;
  enteredSlave_ = slave;
  enteredReadAddress_ = readAddress;
  enteredReadSize_ = readSize;
  return true;
}

void CReadWriteRegistersDlg::send() {
  readList_->clear();
  if (!validateAll() || !sizeHoldsWholeValue()) return;
  const int base = oneBased_ ? 1 : 0;
  const int size = enteredSize_;
  if (submit(modbus::FC_WRITE_AND_READ_REGISTERS, static_cast<std::uint16_t>(enteredReadAddress_ - base),
             static_cast<std::uint16_t>(enteredReadSize_),
             static_cast<std::uint16_t>(enteredAddress_ - base), static_cast<std::uint16_t>(size),
             [this, size] { return zelmor::HandOverWriteValues(format_, values_.words(size).data(), size) == 1; })) {
    sentReadAddress_ = enteredReadAddress_;
    sentReadSize_ = enteredReadSize_;
  }
}

void CReadWriteRegistersDlg::onCompletion(std::uint16_t code) {
  if (code == me::RESULT_OK) {
    readValues_.clear();
    zelmor::CopyReadBackValues(format_, &readValues_);
    FillList(readList_, zelmor::ValueListLines(readValues_, format_, sentReadAddress_, sentReadSize_));
  }
  CMultipleWriteDlg::onCompletion(code);
}

// ---- CEnterValueDlg ----------------------------------------------------------------

CEnterValueDlg::CEnterValueDlg(int displayFormat, QWidget* parent)
    : QDialog(parent), format_(KnownFormat(displayFormat)) {
  setWindowTitle(text::kEnterValueTitle);
  signedEdit_ = new QLineEdit(this);
  unsignedEdit_ = new QLineEdit(this);
  hexEdit_ = new QLineEdit(this);
  doubleEdit_ = new QLineEdit(this);
  floatEdit_ = new QLineEdit(this);
  longEdit_ = new QLineEdit(this);
  setSignedValue(0);
  setUnsignedValue(0);
  setHexText(QStringLiteral("0"));
  setDoubleValue(0);
  setFloatValue(0);
  setLongValue(0);
  // Typed letters become capitals.
  connect(hexEdit_, &QLineEdit::textEdited, this, [this](const QString& typed) {
    const QString upper = typed.toUpper();
    if (upper == typed) return;
    const int cursor = hexEdit_->cursorPosition();
    hexEdit_->setText(upper);
    hexEdit_->setCursorPosition(cursor);
  });
  ok_ = new QPushButton(text::kEnterOk, this);
  auto* cancel = new QPushButton(text::kWriteCancel, this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &CEnterValueDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel(text::kValueLabel, this));
  for (QLineEdit* e : {signedEdit_, unsignedEdit_, hexEdit_, doubleEdit_, floatEdit_, longEdit_}) {
    row->addWidget(e);
    e->setVisible(e == visibleEdit());
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
}

QLineEdit* CEnterValueDlg::visibleEdit() const {
  switch (valuefmt::ClassicFormat(format_)) {
    case valuefmt::kSigned: return signedEdit_;
    case valuefmt::kUnsigned: return unsignedEdit_;
    case valuefmt::kHex: return hexEdit_;
    case valuefmt::kFloat: case valuefmt::kFloatInverse: return floatEdit_;
    case valuefmt::kDouble: case valuefmt::kDoubleInverse: return doubleEdit_;
    case valuefmt::kLong: case valuefmt::kLongInverse: return longEdit_;
    default: return signedEdit_;
  }
}

void CEnterValueDlg::setSignedValue(int value) {
  signed_ = value;
  signedEdit_->setText(QString::number(value));
}
void CEnterValueDlg::setUnsignedValue(int value) {
  unsigned_ = value;
  unsignedEdit_->setText(QString::number(value));
}
void CEnterValueDlg::setHexText(const QString& hexText) {
  hex_ = hexText;
  hexEdit_->setText(hexText);
}
void CEnterValueDlg::setDoubleValue(double value) {
  double_ = value;
  doubleEdit_->setText(QString::fromStdString(zelmor::DoubleEntryText(value)));
}
void CEnterValueDlg::setFloatValue(float value) {
  float_ = value;
  floatEdit_->setText(QString::fromStdString(zelmor::FloatEntryText(value)));
}
void CEnterValueDlg::setLongValue(int value) {
  long_ = value;
  longEdit_->setText(QString::number(value));
}
bool CEnterValueDlg::unsignedLongEntry() const {
  return valuefmt::KindOf(format_) == valuefmt::ValueKind::kUnsignedLong;
}

void CEnterValueDlg::setUnsignedLongValue(std::uint32_t value) {
  unsignedLong_ = value;
  longEdit_->setText(QString::number(value));
}

void CEnterValueDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  visibleEdit()->setFocus();
  visibleEdit()->selectAll();
}

void CEnterValueDlg::accept() {
  fw::DataExchange dx(this);
  int s = 0, u = 0, l = 0;
  QString hex;
  double d = 0;
  float f = 0;
  using namespace zelmor;
  if (!dx.intField(signedEdit_, kSignedEntryMin, kSignedEntryMax, &s) ||
      !dx.intField(unsignedEdit_, 0, kUnsignedEntryMax, &u) || !dx.textField(hexEdit_, kHexEntryMaxChars, &hex) ||
      !dx.doubleField(doubleEdit_, -kDoubleEntryLimit, kDoubleEntryLimit, &d, kDoubleEntryDigits) ||
      !dx.floatField(floatEdit_, static_cast<float>(-kFloatEntryLimit), static_cast<float>(kFloatEntryLimit), &f) ||
      !(unsignedLongEntry() ? dx.uint32Field(longEdit_, &unsignedLong_)
                            : dx.intField(longEdit_, -kLongEntryLimit, kLongEntryLimit, &l)))
    return;
  // The hex text is checked only where it is the value entered.
  std::uint16_t hexValue = 0;
  EntryFailure failure;
  const QByteArray hexCharacters = hex.toLatin1();
  if (format_ == valuefmt::kHex &&
      !ParseHexEntry(std::string_view(hexCharacters.constData(), hexCharacters.size()), &hexValue, &failure)) {
    dx.fail(hexEdit_, QString::fromStdString(EntryFailureText(failure)));
    return;
  }
  signed_ = s;
  unsigned_ = u;
  hex_ = hex;
  hexValue_ = hexValue;
  double_ = d;
  float_ = f;
  long_ = l;
  QDialog::accept();
}

// ---- CEnterBitsDlg -----------------------------------------------------------------

CEnterBitsDlg::CEnterBitsDlg(std::uint16_t value, QWidget* parent) : QDialog(parent), value_(value) {
  setWindowTitle(text::kEnterValueTitle);
  auto* group = new QGroupBox(text::kWriteValueGroup, this);
  bits_ = new BitRow(group);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(bits_);
  ok_ = new QPushButton(text::kEnterOk, this);
  auto* cancel = new QPushButton(text::kWriteCancelAccel, this);
  ok_->setDefault(true);
  connect(ok_, &QPushButton::clicked, this, &CEnterBitsDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);
}

void CEnterBitsDlg::showEvent(QShowEvent* event) {
  bits_->setValue(value_);
  QDialog::showEvent(event);
}

void CEnterBitsDlg::accept() {
  value_ = bits_->value();
  QDialog::accept();
}
