#include "master/app/zelmor_doc.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QScreen>
#include <QWidget>
#include <cstring>
#include <ctime>
#include <memory>

#include "common/modbus_protocol.h"
#include "common/value_format.h"
#include "common/word_order.h"
#include "framework/mdi.h"
#include "framework/message_box.h"
#include "framework/placement.h"
#include "framework/profile.h"
#include "master/core/engine_glue.h"
#include "master/core/poll_definition.h"
#include "master/core/write_values.h"
#include "master/app/poll_definition_dialog.h"
#include "master/app/write_dialogs.h"
#include "master/app/zelmor_view.h"
#include "master/engine/comm_interface.h"
#include "resources/zelmor_resources.h"

namespace me = masterengine;
namespace text = zelmor::res::text;

namespace {

constexpr int kMaxWords = masterengine::kMaxValueWords;
const QString kPollSection = QStringLiteral("PollDefinition");
const QString kFontSection = QStringLiteral("Font");

}  // namespace

CZelmorDoc::CZelmorDoc(QObject* parent) : fw::Document(parent) {
  // New windows start from the profile's defaults ("Use as Default").
  const fw::Profile& p = fw::AppProfile();
  using namespace zelmor;
  // The length is checked against the widest range here; registration refuses what the function cannot read.
  data_.address = p.readIntInRange(kPollSection, "Address", 0, 0, kMaxPollAddress);
  data_.function = p.readIntInRange(kPollSection, "FunctionValue", 3, kFirstPollFunction, kLastPollFunction);
  data_.length = p.readIntInRange(kPollSection, "Length", 10, 1, kMaxPollBits);
  data_.scanRate = p.readIntInRange(kPollSection, "ScanRate", 1000, kMinScanRate, kMaxScanRate);
  data_.slaveId = p.readIntInRange(kPollSection, "SlaveID", 1, kMinPollSlave, kMaxPollSlave);
  data_.enable = p.readIntInRange(kPollSection, "bEnable", 1, 0, 1);
  data_.displayFormat = p.readIntInRange(kPollSection, "DisplayFormat", 0, 0, valuefmt::kFormatCount - 1);
  // The other orders in a key of their own; "DisplayFormat" keeps one of the ten for older versions.
  const int ordered = p.readIntInRange(kPollSection, "DisplayFormatOrder", -1, -1, valuefmt::kAllFormatCount - 1);
  if (ordered >= valuefmt::kFormatCount) data_.displayFormat = ordered;
  data_.oneBased = p.readIntInRange(kPollSection, "OneBased", 1, 0, 1);
  presetSingle_ = p.readIntInRange(kPollSection, "PresetSingle", 0, 0, 1);
  archive::LogFont& f = data_.font;
  f.height = p.readInt(kFontSection, "Height", -10);
  f.weight = p.readIntInRange(kFontSection, "Weight", 400, 0, 1000);
  f.outPrecision = static_cast<std::uint8_t>(p.readIntInRange(kFontSection, "OutPrecision", 4, 0, 255));
  f.clipPrecision = static_cast<std::uint8_t>(p.readIntInRange(kFontSection, "ClipPrecision", 0, 0, 255));
  f.quality = static_cast<std::uint8_t>(p.readIntInRange(kFontSection, "Quality", 2, 0, 255));
  f.pitchAndFamily = static_cast<std::uint8_t>(p.readIntInRange(kFontSection, "PitchAndFamily", 0x21, 0, 255));
  f.faceName = p.readString(kFontSection, "FaceName", "Courier New").left(archive::kFaceNameMax).toStdString();
}

CZelmorDoc::~CZelmorDoc() {
  // Normally the view has freed the slot already; never leave one behind.
  unregisterPoll();
}

bool CZelmorDoc::registerPollFor(platform::WindowHandle owner) {
  owner_ = owner;
  return registerPoll();
}

bool CZelmorDoc::registerPoll(bool quiet) {
  staleNotificationsPossible_ = pollSlot_ != -1;
  if (pollSlot_ != -1) me::UnregisterPoll(pollSlot_);
  pollSlot_ = -1;
  pollSlot_ = me::RegisterPoll(owner_, platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(data_.scanRate),
                               static_cast<std::uint16_t>(data_.slaveId), static_cast<std::uint16_t>(data_.function),
                               static_cast<std::uint16_t>(data_.address), static_cast<std::uint16_t>(data_.length),
                               0, 0);
  if (pollSlot_ == -1) {
    if (!quiet && !fw::QuietRegistration::Active()) fw::ShowMessage(text::kNoResources, fw::MsgIcon::Exclamation);
    return false;
  }
  me::SetPollMode(pollSlot_, static_cast<std::uint16_t>(data_.enable));
  lastResult_ = me::RESULT_PENDING;
  return true;
}

void CZelmorDoc::unregisterPoll() {
  if (pollSlot_ != -1) me::UnregisterPoll(pollSlot_);
  pollSlot_ = -1;
}

PollDefinition CZelmorDoc::definition() const {
  return {data_.address + data_.oneBased, data_.function - 1, data_.length, data_.scanRate, data_.slaveId,
          data_.enable};
}

void CZelmorDoc::takeFields(const PollDefinition& d) {
  data_.address = d.shownAddress - data_.oneBased;
  data_.function = d.functionIndex + 1;
  data_.length = d.length;
  data_.scanRate = d.scanRate;
  data_.slaveId = d.slaveId;
}

bool CZelmorDoc::takeDefinitionIfChanged(const PollDefinition& d) {
  if (d == definition()) return false;
  takeDefinition(d);
  return true;
}

void CZelmorDoc::takeDefinition(const PollDefinition& d) {
  takeFields(d);
  data_.enable = d.enable;
  clearValues();
  registerPoll();
  changed();
}

void CZelmorDoc::pollOnceWith(const PollDefinition& d) {
  PollDefinition current = definition();
  PollDefinition wanted = d;
  wanted.enable = current.enable;  // compare everything but the enable flag
  data_.enable = d.enable;
  if (!(wanted == current)) {
    takeFields(d);
    clearValues();
    registerPoll();
  }
  if (pollSlot_ != -1) me::SetPollMode(pollSlot_, me::kModeOnce);
  changed();
}

void CZelmorDoc::takeRequest(int slaveId, int function, int address, int length, int scanRate, bool quiet) {
  data_.slaveId = slaveId;
  data_.function = function;
  data_.address = address;
  data_.length = length;
  data_.scanRate = scanRate;
  data_.enable = 1;
  clearValues();
  registerPoll(quiet);
  changed();
}

void CZelmorDoc::showPollDefinitionDialog(QWidget* parent) {
  PollDefinitionDialog dialog(this, parent);
  dialog.exec();
}

bool CZelmorDoc::canReadOnce() const { return data_.enable == 0 && zelmor::LinkIsOpen(); }

void CZelmorDoc::readOnce() {
  if (pollSlot_ != -1) me::SetPollMode(pollSlot_, me::kModeOnce);
  changed();
}

void CZelmorDoc::writeSingleCoil(QWidget* parent) {
  CWriteSingleCoilDlg dialog(oneBased(), data_.oneBased, data_.slaveId, false, 0, parent);
  dialog.exec();
}

void CZelmorDoc::writeSingleRegister(QWidget* parent) {
  int format = data_.displayFormat;
  if (format == valuefmt::kBinary) {
    CWriteRegisterBinDlg dialog(oneBased(), data_.oneBased, data_.slaveId, 0, 0, parent);
    dialog.exec();
    return;
  }
  // The 32- and 64-bit formats write a single register as a signed value.
  int presentation = format <= valuefmt::kHex ? format : valuefmt::kSigned;
  CWriteRegisterDlg dialog(oneBased(), data_.oneBased, data_.slaveId, 0, presentation, 0, parent);
  dialog.exec();
}

void CZelmorDoc::maskWriteRegister(QWidget* parent) {
  CMaskWriteDlg dialog(oneBased(), data_.oneBased, data_.slaveId, 0xFFFF, 0, parent);
  dialog.exec();
}

void CZelmorDoc::editPollValue(int index, QWidget* parent) {
  // Like the write commands, editing needs an open link.
  if (index < 0 || index >= data_.length || !zelmor::LinkIsOpen()) return;
  int first = data_.address + data_.oneBased;
  if (valuefmt::IsBitFunction(data_.function)) {
    CWriteSingleCoilDlg dialog(oneBased(), first + index, data_.slaveId, values_[index] != 0, presetSingle_, parent);
    dialog.exec();
    presetSingle_ = dialog.functionAfter();
    return;
  }
  if (!modbus::IsRegisterRead(data_.function) || index >= kMaxWords) return;
  int format = data_.displayFormat;
  std::uint16_t words[kMaxWords] = {};
  for (int k = 0; k < kMaxWords; ++k)
    words[k] = static_cast<std::uint16_t>(values_[2 * k] | (values_[2 * k + 1] << 8));
  if (format <= valuefmt::kHex) {
    CWriteRegisterDlg dialog(oneBased(), first + index, data_.slaveId, words[index], format, presetSingle_, parent);
    dialog.exec();
    presetSingle_ = dialog.functionAfter();
    return;
  }
  if (format == valuefmt::kBinary) {
    CWriteRegisterBinDlg dialog(oneBased(), first + index, data_.slaveId, words[index], presetSingle_, parent);
    dialog.exec();
    presetSingle_ = dialog.functionAfter();
    return;
  }
  // Only a cell inside a complete value opens the entry: the pair or quad rule.
  int perValue = valuefmt::RegistersPerValue(format);
  if (index + 1 > data_.length / perValue * perValue) return;
  int start = index / perValue * perValue;
  std::unique_ptr<CWriteValueDlg> dialog;
  // The document keeps values in native order: the lowest register holds the least significant word.
  if (perValue == 4) {
    const double value = wordorder::JoinDouble(words + start, wordorder::Order::kCDAB);
    dialog = std::make_unique<CWriteFloatDlg>(oneBased(), first + start, data_.slaveId, format, value, parent);
  } else {
    const std::uint32_t bits = wordorder::Join32(words + start, wordorder::Order::kCDAB);
    if (valuefmt::KindOf(format) == valuefmt::ValueKind::kFloat) {
      const float value = wordorder::JoinFloat(words + start, wordorder::Order::kCDAB);
      dialog = std::make_unique<CWriteFloatDlg>(oneBased(), first + start, data_.slaveId, format, value, parent);
    } else {
      dialog = std::make_unique<CWriteLongDlg>(oneBased(), first + start, data_.slaveId, format,
                                               static_cast<std::int32_t>(bits), parent);
    }
  }
  if (dialog->exec() != QDialog::Accepted) return;
  // The completion goes to the view, which shows only a failure.
  if (me::SubmitOneShot(owner_, platform::WM_ENGINE_NOTIFY, static_cast<std::uint16_t>(dialog->slave()),
                        modbus::FC_WRITE_MULTIPLE_REGISTERS, 0, 0,
                        dialog->protocolAddress(), 1) != 1) {
    ShowWriteStillPending(parent);
    return;
  }
  const std::vector<std::uint16_t>& value = dialog->words();
  zelmor::HandOverWriteValues(format, value.data(), static_cast<int>(value.size()));
}

void CZelmorDoc::resetCounters() {
  me::RequestCounterReset(pollSlot_);
  txCount_ = 0;
  goodCount_ = 0;
  errorCounters_.fill(0);
  responseTimes_ = me::ResponseTimes{};
  updateAllViews();
}

void CZelmorDoc::setFont(const archive::LogFont& font) {
  data_.font = font;
  changed();
}

void CZelmorDoc::setTextColor(std::uint32_t color) {
  data_.textColor = color;
  changed();
}

void CZelmorDoc::chooseFont(QWidget* parent) {
  bool ok = false;
  QFont chosen = QFontDialog::getFont(&ok, fw::FontFromLogFont(data_.font), parent, QString(),
                                      QFontDialog::DontUseNativeDialog);
  if (!ok) return;
  archive::LogFont font = fw::LogFontFromFont(chosen, data_.font);
  setFont(font);
}

void CZelmorDoc::chooseColor(QWidget* parent) {
  QColor chosen = QColorDialog::getColor(fw::ColorFromColorRef(data_.textColor), parent);
  if (!chosen.isValid()) return;
  setTextColor(fw::ColorRefFromColor(chosen));
}

void CZelmorDoc::useAsDefault() {
  fw::Profile& p = fw::AppProfile();
  p.writeInt(kPollSection, "Address", data_.address);
  p.writeInt(kPollSection, "FunctionValue", data_.function);
  p.writeInt(kPollSection, "Length", data_.length);
  p.writeInt(kPollSection, "ScanRate", data_.scanRate);
  p.writeInt(kPollSection, "SlaveID", data_.slaveId);
  p.writeInt(kPollSection, "bEnable", data_.enable);
  p.writeInt(kPollSection, "DisplayFormat", valuefmt::ClassicFormat(data_.displayFormat));
  p.writeInt(kPollSection, "DisplayFormatOrder", data_.displayFormat);
  p.writeInt(kPollSection, "OneBased", data_.oneBased);
  p.writeInt(kPollSection, "PresetSingle", presetSingle_);
  const archive::LogFont& f = data_.font;
  p.writeString(kFontSection, "FaceName", QString::fromStdString(f.faceName));
  p.writeInt(kFontSection, "Height", f.height);
  p.writeInt(kFontSection, "OutPrecision", f.outPrecision);
  p.writeInt(kFontSection, "ClipPrecision", f.clipPrecision);
  p.writeInt(kFontSection, "Quality", f.quality);
  p.writeInt(kFontSection, "PitchAndFamily", f.pitchAndFamily);
  p.writeInt(kFontSection, "Weight", f.weight);
  p.sync();
}

void CZelmorDoc::setRegisterMap(const std::string& path, const regmap::RegisterMap& map) {
  data_.registerMap = path.substr(0, zelmor::kMaxRegisterMapPath);
  registerMap_ = path.empty() ? regmap::RegisterMap{} : map;
  changed();
}

void CZelmorDoc::setDisplayFormat(int format) {
  if (!valuefmt::IsValidFormat(format)) return;
  data_.displayFormat = format;
  changed();
}

void CZelmorDoc::setOneBased(bool oneBased) {
  data_.oneBased = oneBased ? 1 : 0;
  changed();
}

bool CZelmorDoc::notificationIsCurrent(int slot) {
  if (slot == 0) return true;  // the one-shot slot
  if (slot != pollSlot_) return false;
  if (!staleNotificationsPossible_) return true;
  // The engine posts only after counting the transaction, and a registration
  // starts from zero: no count yet means the message is the old registration's.
  std::uint32_t transmitted = 0, good = 0;
  me::ReadCounters(pollSlot_, &transmitted, &good);
  if (transmitted == 0) return false;
  staleNotificationsPossible_ = false;
  return true;
}

std::uint16_t CZelmorDoc::takeNotification(std::uint16_t result, int slot) {
  if (slot != 0 && modbus::IsRead(data_.function))
    zelmor::CopyPollValues(pollSlot_, data_.function, data_.displayFormat, values_.data());
  me::ReadCounters(pollSlot_, &txCount_, &goodCount_);
  me::ReadResponseTimes(pollSlot_, &responseTimes_);
  lastResult_ = zelmor::NormalizeResult(result);
  int counter = zelmor::ErrorCounterForResult(result);
  if (counter >= 0) ++errorCounters_[counter];
  if (slot != 0) emit pollTaken(static_cast<std::uint16_t>(lastResult_));
  zelmor::LogPoll poll{data_.function, data_.address, data_.length,        data_.displayFormat,
                       oneBased(),     values_.data(), zelmor::kValueBytes};
  // With the name column on, the long form's header carries the map's names in a second row.
  if (CZelmorView::namesShown()) poll.names = &registerMap_;
  if (dataLog_.logNotification(poll, static_cast<std::uint16_t>(lastResult_), zelmor::LogClockNow()) ==
      zelmor::DataLog::Outcome::kWriteFailed)
    fw::ShowMessage(text::kDiskError, fw::MsgIcon::Exclamation, fw::MsgButtons::Ok, firstView());
  return static_cast<std::uint16_t>(lastResult_);
}

bool CZelmorDoc::serialize(std::vector<std::uint8_t>* bytes, QString*) const {
  zelmor::PollDocumentData d = data_;
  if (fw::ChildFrame* f = frame()) d.placement = f->placement();
  *bytes = zelmor::EncodePollDocument(d);
  return true;
}

bool CZelmorDoc::deserialize(const std::vector<std::uint8_t>& bytes, QString* error) {
  zelmor::PollDocumentData d = data_;
  switch (zelmor::DecodePollDocument(bytes, &d)) {
    case zelmor::DocumentReadResult::kOk:
      // Fields that become menu indices or flags are range-checked; the poll
      // definition itself is left to the scheduler, which refuses what it cannot poll.
      if (!valuefmt::IsValidFormat(d.displayFormat)) d.displayFormat = 0;
      d.enable = d.enable != 0 ? 1 : 0;
      d.oneBased = d.oneBased != 0 ? 1 : 0;
      data_ = d;
      // A map that cannot be read now leaves the window without names; the path stays.
      registerMap_ = {};
      if (!d.registerMap.empty()) {
        std::string ignored;
        regmap::LoadRegisterMap(d.registerMap, &registerMap_, &ignored);
      }
      loadedPlacement_ = d.hasPlacement;
      placementToApply_ = d.placement;
      return true;
    case zelmor::DocumentReadResult::kFormatError:
      // The older layout with an impossible function: say so, open with the defaults.
      fw::ShowMessage(text::kFileFormatError, fw::MsgIcon::Exclamation);
      loadedPlacement_ = false;
      return true;
    case zelmor::DocumentReadResult::kTruncated:
      *error = text::kUnexpectedFileFormat;
      return false;
  }
  return false;
}

void CZelmorDoc::afterLoad() {
  if (loadedPlacement_)
    if (fw::ChildFrame* f = frame()) f->applyPlacement(placementToApply_);
}
