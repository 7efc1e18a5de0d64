#pragma once
// CVantorDoc: one simulated slave definition (slave id, table, address, length),
// its display settings, auto-change flags and value image, registered with the
// slave engine while its view exists, stored as a .vnd file.
#include <QString>
#include <cstdint>
#include <vector>

#include "framework/document.h"
#include "platform/messages.h"
#include "slave/app/doc_simulation.h"
#include "slave/engine/faults.h"
#include "slave/engine/replay.h"
#include "slave/core/vnd_file.h"

class QWidget;

// Update hints of the document's change notification.
enum VantorHint : int {
  kHintLayout = 0,  // definition, format, font: recompute the layout
  kHintValues = 1,  // only values changed: repaint
};

class CVantorDoc : public fw::Document {
  Q_OBJECT

 public:
  // Starts with the profile's defaults ("PollDefinition", "Font").
  CVantorDoc();
  ~CVantorDoc() override;

  const vnd::VndDocument& data() const { return data_; }
  int address() const { return data_.address; }
  int table() const { return data_.table; }
  int length() const { return data_.length; }
  int slaveId() const { return data_.slaveId; }
  int displayFormat() const { return data_.displayFormat; }
  bool oneBased() const { return data_.oneBased != 0; }
  std::uint32_t textColor() const { return data_.textColor; }
  const archive::LogFont& font() const { return data_.font; }
  const std::uint8_t* image() const { return data_.valueImage.data(); }
  std::uint32_t autoFlag(int index) const;
  int slot() const { return slot_; }

  // Releases the old slot, registers the definition for the owner window and
  // pushes the value image into the new slot. Shows the "No more data
  // resources" warning (unless quiet) and stays unregistered on failure.
  bool registerWithEngine(platform::WindowHandle owner, bool quiet = false);
  void releaseSlot();

  // The Slave Definition dialog; true when the definition changed.
  bool editDefinition(QWidget* parent);
  // What OK of that dialog does (address is the protocol address): clears the
  // first 256 bytes of the image, registers again, marks modified.
  void applyDefinition(int slaveId, int table, int address, int length);

  // An automation client's new definition (checked by the caller): clears the
  // first 2000 bytes of the image, registers again, marks modified.
  void takeSlave(int slaveId, int table, int address, int length, bool quiet);
  // An automation client's value: engine setter and image, modified; the
  // auto-change flags stay as they are.
  void storeCoil(int index, std::uint8_t value);
  void storeRegister(int index, std::uint16_t value);

  // Fault injection of this definition: kept with the document while it is
  // open (never saved) and handed to every slot it registers.
  const slavefaults::FaultSettings& faults() const { return faults_; }
  void setFaults(const slavefaults::FaultSettings& faults);
  // The Faults dialog; true when OK was chosen. The seed it shows is the
  // engine's and is written to the profile.
  bool editFaults(QWidget* parent);

  // Simulated values of this definition: kept beside its file (FILE.vnd.sim,
  // read after the file, written after every save), stepped after the auto
  // changes on the periodic refresh. setSimulationText marks the document
  // modified; false with *error (nothing changed) for a rule that does not fit.
  const DocSimulation& simulation() const { return simulation_; }
  bool setSimulationText(const QString& text, QString* error);
  // The Simulation dialog (for the value at element `index` when >= 0); true
  // when OK was chosen.
  bool editSimulation(QWidget* parent, int index = -1);

  // Replay of a recording (slave/app/replay_runner.*): where it writes (the value
  // image and the engine slot), which elements it moves (drawn as simulated
  // ones), and a repaint after it wrote. Not a modification of the document.
  replay::Target replayTarget();
  void setReplayed(std::vector<bool> items);
  bool replayed(int index) const {
    return index >= 0 && static_cast<std::size_t>(index) < replayed_.size() && replayed_[index];
  }
  void replayWritten();

  // A register map's result for this definition (slave, table, address, length,
  // format, values, map entries): registers again with the values, marks modified.
  void takeMapDefinition(const vnd::VndDocument& definition);

  // Display commands.
  void setDisplayFormat(int format);
  // Value `index` of a 32- or 64-bit format 10..19, as bits in the format's order.
  void editValue(int index, std::uint64_t bits, bool autoIncrement);
  // PLC addresses need an address below 10000; false (with the warning) otherwise.
  bool setOneBased(bool oneBased);
  void setFont(const archive::LogFont& font);
  void setTextColor(std::uint32_t colorRef);
  void chooseFont(QWidget* parent);
  void chooseColor(QWidget* parent);
  // Writes the definition and font as defaults for new documents.
  void useAsDefault() const;

  // Value edits from the view: engine setter, image, auto-change flag, modified.
  void editCoil(int index, std::uint8_t value, bool autoChange);
  void editRegister(int index, std::uint16_t value, bool autoIncrement);
  void editFloat(int index, float value, bool autoIncrement);
  void editDouble(int index, double value, bool autoIncrement);
  void editLong(int index, std::int32_t value, bool autoIncrement);

  // Copies the slot's values into the image; on the periodic refresh also runs
  // the auto changes (not a modification of the document).
  void refreshFromEngine(bool periodic);

  bool serialize(std::vector<std::uint8_t>* bytes, QString* error) const override;
  bool deserialize(const std::vector<std::uint8_t>& bytes, QString* error) override;
  void afterLoad() override;

 private:
  void setAutoFlag(int index, bool on);
  void saveSimulation(const QString& path);
  vnd::VndDocument data_;
  slavefaults::FaultSettings faults_;
  DocSimulation simulation_;
  std::vector<bool> replayed_;
  int slot_ = -1;
  platform::WindowHandle owner_ = 0;
};
