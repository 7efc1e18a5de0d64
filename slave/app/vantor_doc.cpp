#include "slave/app/vantor_doc.h"

#include <QColorDialog>
#include <QFontDialog>
#include <cstring>

#include "common/modbus_protocol.h"
#include "framework/message_box.h"
#include "framework/mdi.h"
#include "framework/placement.h"
#include "framework/profile.h"
#include "slave/app/faults_dialog.h"
#include "slave/app/simulation_dialog.h"
#include "resources/vantor_resources.h"
#include "slave/app/definition_dialog.h"
#include "slave/engine/autochange.h"
#include "slave/engine/slave_engine.h"

namespace {

constexpr int kDefinitionClearBytes = 256;
constexpr int kAutomationClearBytes = 2000;

// Engine setters of one slot, for the auto changes.
autochange::Setters EngineSetters(int* slot) {
  autochange::Setters s;
  s.context = slot;
  s.setCoil = [](void* c, int i, std::uint8_t v) { slaveengine::SetCoilValue(*static_cast<int*>(c), i, v); };
  s.setRegister = [](void* c, int i, std::uint16_t v) {
    slaveengine::SetRegisterValue(*static_cast<int*>(c), i, v);
  };
  s.setFloat = [](void* c, int i, float v, bool swap) {
    slaveengine::SetFloatValue(*static_cast<int*>(c), i, v, swap);
  };
  s.setDouble = [](void* c, int i, double v, bool swap) {
    slaveengine::SetDoubleValue(*static_cast<int*>(c), i, v, swap);
  };
  s.setLong = [](void* c, int i, std::int32_t v, bool swap) {
    slaveengine::SetLongValue(*static_cast<int*>(c), i, static_cast<std::uint32_t>(v), swap);
  };
  return s;
}

QString Text(const char* text) { return QString::fromLatin1(text); }

// The longest definition of a table the engine holds.
int MaxLength(int table) {
  return autochange::IsBitTable(table) ? slaveengine::kMaxBitLength : slaveengine::kMaxRegisterLength;
}

}  // namespace

CVantorDoc::CVantorDoc() {
  using namespace vantorres;
  fw::Profile& profile = fw::AppProfile();
  const QString def = Text(kSectionDefinition), font = Text(kSectionFont);
  data_.address = profile.readIntInRange(def, "Address", 0, 0, modbus::MAX_ADDRESS);
  data_.table =
      profile.readIntInRange(def, "FunctionValue", 3, autochange::kTableCoils, autochange::kTableInputRegisters);
  data_.length = profile.readIntInRange(def, "Length", 10, 1, MaxLength(data_.table));
  data_.slaveId = profile.readIntInRange(def, "SlaveID", 1, 1, modbus::MAX_UNIT_ID);
  data_.displayFormat = profile.readIntInRange(def, "DisplayFormat", 0, 0, autochange::kFormatCount - 1);
  // The other orders in a key of their own; "DisplayFormat" keeps one of the ten for older versions.
  const int ordered = profile.readIntInRange(def, "DisplayFormatOrder", -1, -1, autochange::kAllFormatCount - 1);
  if (ordered >= autochange::kFormatCount) data_.displayFormat = ordered;
  data_.oneBased = profile.readIntInRange(def, "OneBased", 1, 0, 1);
  if (data_.oneBased && data_.address >= 10000) data_.oneBased = 0;
  archive::LogFont f = vnd::VndDocument::DefaultFont();
  f.faceName = profile.readString(font, "FaceName", QString::fromStdString(f.faceName))
                   .left(archive::kFaceNameMax)
                   .toStdString();
  f.height = profile.readInt(font, "Height", -10);
  f.outPrecision = static_cast<std::uint8_t>(profile.readIntInRange(font, "OutPrecision", 4, 0, 255));
  f.clipPrecision = static_cast<std::uint8_t>(profile.readIntInRange(font, "ClipPrecision", 0, 0, 255));
  f.quality = static_cast<std::uint8_t>(profile.readIntInRange(font, "Quality", 2, 0, 255));
  f.pitchAndFamily = static_cast<std::uint8_t>(profile.readIntInRange(font, "PitchAndFamily", 33, 0, 255));
  f.weight = profile.readIntInRange(font, "Weight", 400, 0, 1000);
  data_.font = f;
  connect(this, &fw::Document::saved, this, [this](const QString& path) { saveSimulation(path); });
}

CVantorDoc::~CVantorDoc() { releaseSlot(); }

std::uint32_t CVantorDoc::autoFlag(int index) const {
  return index >= 0 && index < vnd::kFlagCount ? data_.autoChangeFlags[index] : 0;
}

void CVantorDoc::setAutoFlag(int index, bool on) {
  if (index >= 0 && index < vnd::kFlagCount) data_.autoChangeFlags[index] = on ? 1 : 0;
}

bool CVantorDoc::registerWithEngine(platform::WindowHandle owner, bool quiet) {
  owner_ = owner;
  releaseSlot();
  simulation_.rebuild(data_);
  // A definition from a damaged file must not wrap into the engine's 16-bit arguments.
  const bool inRange = data_.slaveId >= 0 && data_.slaveId <= modbus::MAX_UNIT_ID && data_.address >= 0 &&
                       data_.address <= modbus::MAX_ADDRESS && data_.length >= 0 && data_.length <= 65535;
  if (inRange) {
    slot_ = slaveengine::RegisterSlot(owner, platform::WM_ENGINE_NOTIFY, 0, static_cast<std::uint16_t>(data_.slaveId),
                                      static_cast<std::uint16_t>(data_.table),
                                      static_cast<std::uint16_t>(data_.address),
                                      static_cast<std::uint16_t>(data_.length));
  }
  if (slot_ < 0) {
    if (!quiet && !fw::QuietRegistration::Active()) fw::ShowMessage(Text(vantorres::kNoResources), fw::MsgIcon::Exclamation);
    return false;
  }
  // The whole 4096-byte image goes in, whatever the table.
  for (int i = 0; i < vnd::kImageSize / 2; ++i)
    slaveengine::SetRegisterValue(slot_, i, autochange::ImageRegister(data_.valueImage.data(), i));
  if (faults_.active()) slaveengine::SetSlotFaults(slot_, faults_);
  return true;
}

void CVantorDoc::setFaults(const slavefaults::FaultSettings& faults) {
  faults_ = faults;
  if (slot_ >= 0) slaveengine::SetSlotFaults(slot_, faults_);
}

bool CVantorDoc::editFaults(QWidget* parent) {
  FaultsDialog dialog(parent);
  dialog.setValues(faults_, slaveengine::FaultSeed());
  if (dialog.exec() != QDialog::Accepted) return false;
  slaveengine::SetFaultSeed(dialog.seed());
  fw::AppProfile().writeString(Text(vantorres::kSectionFaults), Text(vantorres::kKeyFaultSeed),
                               QString::number(dialog.seed()));
  setFaults(dialog.settings());
  return true;
}

bool CVantorDoc::setSimulationText(const QString& text, QString* error) {
  std::string why;
  if (!simulation_.setText(text.toStdString(), data_, &why)) {
    *error = QString::fromStdString(why);
    return false;
  }
  changed(kHintValues);
  return true;
}

bool CVantorDoc::editSimulation(QWidget* parent, int index) {
  SimulationDialog dialog(simulation_, data_, index, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  simulation_ = dialog.simulation();  // checked and its recordings read by the dialog
  changed(kHintValues);
  return true;
}

// After a save: the rules go beside the file; a failure is shown, the .vnd stays saved.
void CVantorDoc::saveSimulation(const QString& path) {
  std::string error;
  if (simulation_.save(path.toStdString(), &error)) return;
  fw::ShowMessage(Text(vantorres::kSimulationSaveError)
                      .arg(QString::fromStdString(simentries::SidecarPath(path.toStdString())),
                           QString::fromStdString(error)),
                  fw::MsgIcon::Exclamation);
}

void CVantorDoc::releaseSlot() {
  if (slot_ != -1) slaveengine::ReleaseSlot(slot_);
  slot_ = -1;
}

bool CVantorDoc::editDefinition(QWidget* parent) {
  DefinitionDialog dialog(parent);
  dialog.setValues(data_.slaveId, data_.table, data_.address + (data_.oneBased ? 1 : 0), data_.length,
                   data_.oneBased != 0);
  if (dialog.exec() != QDialog::Accepted) return false;
  applyDefinition(dialog.slaveId(), dialog.table(), dialog.address() - (data_.oneBased ? 1 : 0), dialog.length());
  return true;
}

void CVantorDoc::applyDefinition(int slaveId, int table, int address, int length) {
  data_.address = address;
  data_.table = table;
  data_.slaveId = slaveId;
  data_.length = length;
  std::memset(data_.valueImage.data(), 0, kDefinitionClearBytes);
  if (owner_ != 0) registerWithEngine(owner_);
  changed(kHintLayout);
}

void CVantorDoc::takeSlave(int slaveId, int table, int address, int length, bool quiet) {
  data_.slaveId = slaveId;
  data_.table = table;
  data_.address = address;
  data_.length = length;
  std::memset(data_.valueImage.data(), 0, kAutomationClearBytes);
  if (owner_ != 0) registerWithEngine(owner_, quiet);
  changed(kHintLayout);
}

void CVantorDoc::storeCoil(int index, std::uint8_t value) {
  slaveengine::SetCoilValue(slot_, index, value);
  autochange::SetImageBit(data_.valueImage.data(), index, value);
  changed(kHintValues);
}

void CVantorDoc::storeRegister(int index, std::uint16_t value) {
  slaveengine::SetRegisterValue(slot_, index, value);
  autochange::SetImageRegister(data_.valueImage.data(), index, value);
  changed(kHintValues);
}

void CVantorDoc::setDisplayFormat(int format) {
  if (format < 0 || format >= autochange::kAllFormatCount) return;
  data_.displayFormat = format;
  simulation_.rebuild(data_);
  changed(kHintLayout);
}

bool CVantorDoc::setOneBased(bool oneBased) {
  if (oneBased && data_.address >= 10000) {
    fw::ShowMessage(Text(vantorres::kPlcAddressTooHigh), fw::MsgIcon::Exclamation);
    return false;
  }
  data_.oneBased = oneBased ? 1 : 0;
  changed(kHintLayout);
  return true;
}

void CVantorDoc::setFont(const archive::LogFont& font) {
  data_.font = font;
  changed(kHintLayout);
}

void CVantorDoc::setTextColor(std::uint32_t colorRef) {
  data_.textColor = colorRef;
  changed(kHintLayout);
}

void CVantorDoc::chooseFont(QWidget* parent) {
  bool ok = false;
  const QFont chosen = QFontDialog::getFont(&ok, fw::FontFromLogFont(data_.font), parent, QString(),
                                            QFontDialog::DontUseNativeDialog);
  if (!ok) return;
  archive::LogFont font = fw::LogFontFromFont(chosen, data_.font);
  if (font.faceName.size() > static_cast<std::size_t>(archive::kFaceNameMax))
    font.faceName.resize(archive::kFaceNameMax);
  setFont(font);
}

void CVantorDoc::chooseColor(QWidget* parent) {
  const QColor chosen = QColorDialog::getColor(fw::ColorFromColorRef(data_.textColor), parent);
  if (chosen.isValid()) setTextColor(fw::ColorRefFromColor(chosen));
}

void CVantorDoc::useAsDefault() const {
  using namespace vantorres;
  fw::Profile& profile = fw::AppProfile();
  const QString def = Text(kSectionDefinition), font = Text(kSectionFont);
  profile.writeInt(def, "Address", data_.address);
  profile.writeInt(def, "FunctionValue", data_.table);
  profile.writeInt(def, "Length", data_.length);
  profile.writeInt(def, "SlaveID", data_.slaveId);
  profile.writeInt(def, "DisplayFormat", valuefmt::ClassicFormat(data_.displayFormat));
  profile.writeInt(def, "DisplayFormatOrder", data_.displayFormat);
  profile.writeInt(def, "OneBased", data_.oneBased);
  profile.writeString(font, "FaceName", QString::fromStdString(data_.font.faceName));
  profile.writeInt(font, "Height", data_.font.height);
  profile.writeInt(font, "OutPrecision", data_.font.outPrecision);
  profile.writeInt(font, "ClipPrecision", data_.font.clipPrecision);
  profile.writeInt(font, "Quality", data_.font.quality);
  profile.writeInt(font, "PitchAndFamily", data_.font.pitchAndFamily);
  profile.writeInt(font, "Weight", data_.font.weight);
  profile.sync();
}

void CVantorDoc::editCoil(int index, std::uint8_t value, bool autoChange) {
  setAutoFlag(index, autoChange);
  slaveengine::SetCoilValue(slot_, index, value);
  autochange::SetImageBit(data_.valueImage.data(), index, value);
  changed(kHintValues);
}

void CVantorDoc::editRegister(int index, std::uint16_t value, bool autoIncrement) {
  setAutoFlag(index, autoIncrement);
  slaveengine::SetRegisterValue(slot_, index, value);
  autochange::SetImageRegister(data_.valueImage.data(), index, value);
  changed(kHintValues);
}

void CVantorDoc::editFloat(int index, float value, bool autoIncrement) {
  const bool swap = autochange::IsSwapped(data_.displayFormat);
  setAutoFlag(index, autoIncrement);
  slaveengine::SetFloatValue(slot_, index, value, swap);
  autochange::SetImageFloat(data_.valueImage.data(), index, value, swap);
  changed(kHintValues);
}

void CVantorDoc::editDouble(int index, double value, bool autoIncrement) {
  const bool swap = autochange::IsSwapped(data_.displayFormat);
  setAutoFlag(index, autoIncrement);
  slaveengine::SetDoubleValue(slot_, index, value, swap);
  autochange::SetImageDouble(data_.valueImage.data(), index, value, swap);
  changed(kHintValues);
}

void CVantorDoc::editLong(int index, std::int32_t value, bool autoIncrement) {
  const bool swap = autochange::IsSwapped(data_.displayFormat);
  setAutoFlag(index, autoIncrement);
  slaveengine::SetLongValue(slot_, index, static_cast<std::uint32_t>(value), swap);
  autochange::SetImageLong(data_.valueImage.data(), index, value, swap);
  changed(kHintValues);
}

replay::Target CVantorDoc::replayTarget() {
  replay::Target t;
  t.span = {data_.slaveId, data_.table, data_.address, data_.length};
  t.image = data_.valueImage.data();
  t.setters = EngineSetters(&slot_);
  return t;
}

void CVantorDoc::setReplayed(std::vector<bool> items) {
  replayed_ = std::move(items);
  updateAllViews(kHintValues);
}

void CVantorDoc::replayWritten() {
  if (!replayed_.empty()) updateAllViews(kHintValues);
}

void CVantorDoc::takeMapDefinition(const vnd::VndDocument& definition) {
  data_.slaveId = definition.slaveId;
  data_.table = definition.table;
  data_.address = definition.address;
  data_.length = definition.length;
  data_.displayFormat = definition.displayFormat;
  data_.oneBased = definition.oneBased;
  data_.valueImage = definition.valueImage;
  data_.mapEntries = definition.mapEntries;
  if (owner_ != 0) registerWithEngine(owner_);
  setModified(true);
  changed(kHintLayout);
}

void CVantorDoc::editValue(int index, std::uint64_t bits, bool autoIncrement) {
  const int count = valuefmt::RegistersPerValue(data_.displayFormat);
  if (count == 1) return;
  setAutoFlag(index, autoIncrement);
  std::uint8_t* image = data_.valueImage.data();
  autochange::SetImageValue(image, index, count, bits, valuefmt::OrderOf(data_.displayFormat));
  for (int w = count * index; w < count * (index + 1); ++w)
    slaveengine::SetRegisterValue(slot_, w, autochange::ImageRegister(image, w));
  changed(kHintValues);
}

void CVantorDoc::refreshFromEngine(bool periodic) {
  if (slot_ < 0 || !autochange::IsKnownTable(data_.table)) return;
  std::uint8_t* image = data_.valueImage.data();
  if (autochange::IsBitTable(data_.table)) {
    slaveengine::ReadSlotCoils(slot_, image);
  } else {
    std::uint16_t words[vnd::kImageSize / 2];
    const int count = std::min(data_.length, vnd::kImageSize / 2);
    if (slaveengine::ReadSlotRegisters(slot_, words) && count > 0) std::memcpy(image, words, 2 * count);
  }
  if (periodic) {
    autochange::Step(data_.table, data_.displayFormat, data_.length, data_.autoChangeFlags.data(), image,
                     EngineSetters(&slot_));
    simulation_.step(data_, image, EngineSetters(&slot_));
  }
}

bool CVantorDoc::serialize(std::vector<std::uint8_t>* bytes, QString*) const {
  vnd::VndDocument copy = data_;
  if (fw::ChildFrame* f = frame()) {
    copy.placement = f->placement();
    copy.hasPlacement = true;
  }
  *bytes = vnd::EncodeVnd(copy);
  return true;
}

bool CVantorDoc::deserialize(const std::vector<std::uint8_t>& bytes, QString* error) {
  vnd::VndDocument loaded;
  loaded.font = data_.font;
  const vnd::VndResult result = vnd::DecodeVnd(bytes, &loaded);
  if (result != vnd::VndResult::Ok) {
    *error = Text(vnd::VndResultText(result));
    return false;
  }
  // Values from a file become indices and engine arguments: keep them in range.
  if (!valuefmt::IsValidFormat(loaded.displayFormat)) loaded.displayFormat = 0;
  loaded.oneBased = loaded.oneBased ? 1 : 0;
  data_ = loaded;
  if (owner_ != 0) registerWithEngine(owner_);
  return true;
}

void CVantorDoc::afterLoad() {
  std::string error;
  if (!path().isEmpty() && !simulation_.load(path().toStdString(), data_, &error))
    fw::ShowMessage(Text(vantorres::kSimulationReadError)
                        .arg(QString::fromStdString(simentries::SidecarPath(path().toStdString())),
                             QString::fromStdString(error)),
                    fw::MsgIcon::Exclamation);
  if (!data_.hasPlacement) return;
  if (fw::ChildFrame* f = frame()) f->applyPlacement(data_.placement);
}
