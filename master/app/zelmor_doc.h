#pragma once
// CZelmorDoc: one poll definition, its latest values and counters, its display
// settings and its registration with the poll scheduler.
#include <array>
#include <cstdint>

#include "common/register_map.h"
#include "framework/document.h"
#include "master/core/data_log.h"
#include "master/core/poll_results.h"
#include "master/core/zelmor_files.h"
#include "master/engine/comm_interface.h"
#include "platform/messages.h"

// What the Poll Definition dialog edits; the address as shown (protocol
// address + base) and the function as its list index 0..3.
struct PollDefinition {
  int shownAddress = 1;
  int functionIndex = 2;
  int length = 10;
  int scanRate = 1000;
  int slaveId = 1;
  int enable = 1;
  bool operator==(const PollDefinition&) const = default;
};

class CZelmorDoc : public fw::Document {
  Q_OBJECT

 public:
  explicit CZelmorDoc(QObject* parent = nullptr);
  ~CZelmorDoc() override;

  // ---- Definition and presentation (the file's fields) ----
  const zelmor::PollDocumentData& data() const { return data_; }
  int address() const { return data_.address; }
  int function() const { return data_.function; }
  int length() const { return data_.length; }
  int scanRate() const { return data_.scanRate; }
  int slaveId() const { return data_.slaveId; }
  int enable() const { return data_.enable; }
  int displayFormat() const { return data_.displayFormat; }
  bool oneBased() const { return data_.oneBased != 0; }
  std::uint32_t textColor() const { return data_.textColor; }
  const archive::LogFont& font() const { return data_.font; }
  int presetSingle() const { return presetSingle_; }

  // ---- Run-time state ----
  int pollSlot() const { return pollSlot_; }
  std::uint32_t txCount() const { return txCount_; }
  std::uint32_t goodCount() const { return goodCount_; }
  int lastResult() const { return lastResult_; }
  const std::uint8_t* values() const { return values_.data(); }
  std::uint8_t* mutableValues() { return values_.data(); }
  // Filled by the automation setters, sent by its write methods.
  const std::uint8_t* writeBuffer() const { return writeBuffer_.data(); }
  std::uint8_t* mutableWriteBuffer() { return writeBuffer_.data(); }
  const std::array<std::uint32_t, zelmor::kErrorCounterCount>& errorCounters() const { return errorCounters_; }
  // Response times since the counters were reset, as of the last notification.
  const masterengine::ResponseTimes& responseTimes() const { return responseTimes_; }
  // The data log: its settings and open file live (and close) with the document.
  zelmor::DataLog& dataLog() { return dataLog_; }
  const zelmor::DataLog& dataLog() const { return dataLog_; }

  // ---- Registration with the scheduler ----
  // The view's first registration: its window receives the scheduler's
  // notifications (and the completions of value edits) from now on.
  bool registerPollFor(platform::WindowHandle owner);
  // Unregisters the old slot, registers anew for the view's window and sets
  // the polling mode. On failure shows the "no more data resources" message
  // (unless quiet) and returns false (the window stays open, unpolled).
  bool registerPoll(bool quiet = false);
  void unregisterPoll();

  // ---- Commands ----
  PollDefinition definition() const;
  // OK: takes the values only when something differs. Returns true when it changed.
  bool takeDefinitionIfChanged(const PollDefinition& definition);
  // Apply: takes the values unconditionally.
  void takeDefinition(const PollDefinition& definition);
  // Poll Once (the dialog has checked that polling is not enabled).
  void pollOnceWith(const PollDefinition& definition);
  // An automation client's new poll (checked by the caller): the five values,
  // polling enabled, values cleared, registered again, notified. quiet: no
  // message box when the table is full.
  void takeRequest(int slaveId, int function, int address, int length, int scanRate, bool quiet);
  void showPollDefinitionDialog(QWidget* parent);
  void readOnce();
  void resetCounters();
  void chooseFont(QWidget* parent);
  void chooseColor(QWidget* parent);
  // Stores the definition, display format, base, write preset and font as the
  // profile's defaults for new windows.
  void useAsDefault();
  void setDisplayFormat(int format);
  // The window's register map (names of its cells) and the path kept in the
  // file; an empty path detaches it.
  const regmap::RegisterMap& registerMap() const { return registerMap_; }
  void setRegisterMap(const std::string& path, const regmap::RegisterMap& map);
  void setOneBased(bool oneBased);
  void setFont(const archive::LogFont& font);
  void setTextColor(std::uint32_t color);
  bool canReadOnce() const;

  // ---- Writes ----
  // The Functions menu's single writes, starting from this window's slave and
  // the first address of its base (not the poll's own address).
  void writeSingleCoil(QWidget* parent);
  void writeSingleRegister(QWidget* parent);
  void maskWriteRegister(QWidget* parent);
  // A double click on value cell `index` (0..Length-1): the write dialog of the
  // function and display format with the cell's value. Coils and 16-bit
  // registers send from their dialog; 32- and 64-bit values are sent from here
  // with the view as receiver of the completion.
  void editPollValue(int index, QWidget* parent);

  // ---- Notification results (called by the view) ----
  // False for a notification queued by an earlier registration of this poll.
  bool notificationIsCurrent(int slot);
  // Copies values and counts from the slot, counts the error and writes the
  // log line (only while logging, as its rate allows; a failed write says so
  // over the view). Returns the normalized result code.
  std::uint16_t takeNotification(std::uint16_t result, int slot);

 signals:
  // A notification of the poll's own slot was taken (values() are fresh when
  // result is 0); the trend window samples here.
  void pollTaken(std::uint16_t result);

 public:

  // ---- Files ----
  bool serialize(std::vector<std::uint8_t>* bytes, QString* error) const override;
  bool deserialize(const std::vector<std::uint8_t>& bytes, QString* error) override;
  void afterLoad() override;

 private:
  void clearValues() { values_.fill(0); }
  void takeFields(const PollDefinition& definition);

  zelmor::PollDocumentData data_;
  regmap::RegisterMap registerMap_;
  int presetSingle_ = 0;
  int pollSlot_ = -1;
  platform::WindowHandle owner_ = 0;  // the view's window, 0 before it registers
  std::uint32_t txCount_ = 0;
  std::uint32_t goodCount_ = 0;
  int lastResult_ = 10;
  // Set when the poll is registered anew over an earlier registration: until
  // the new one has completed a transaction, a notification still queued from
  // the old one must not be taken (it would report good data with none read).
  bool staleNotificationsPossible_ = false;
  std::array<std::uint8_t, masterengine::kRequestDataBytes> values_{};
  std::array<std::uint8_t, masterengine::kRequestDataBytes> writeBuffer_{};
  std::array<std::uint32_t, zelmor::kErrorCounterCount> errorCounters_{};
  masterengine::ResponseTimes responseTimes_;
  zelmor::DataLog dataLog_;
  bool loadedPlacement_ = false;
  archive::WindowPlacement placementToApply_;
};
