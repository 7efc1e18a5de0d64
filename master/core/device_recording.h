#pragma once
// A recording of a device (docs/recording.md): the file zelmor writes while it
// polls, one row per successful read with the raw registers or bits, so that
// vantor can replay the device. Qt-free; the window and the headless runner
// feed it the same way.
#include <cstdint>
#include <string>

namespace zelmor {

class DeviceRecording {
 public:
  DeviceRecording() = default;
  ~DeviceRecording();  // closes the file
  DeviceRecording(const DeviceRecording&) = delete;
  DeviceRecording& operator=(const DeviceRecording&) = delete;

  // Creates (or empties) the file the user chose, writes the header row and
  // starts the clock of the elapsed column. A FIFO without a reader is refused
  // rather than waited for. False, inactive and *error saying why when the file
  // cannot be created or the header not written.
  bool start(const std::string& path, std::string* error);
  // Closes the file; every row written is already in it.
  void stop();
  bool active() const { return fd_ >= 0; }
  // Rows written since start (the header not counted).
  std::uint64_t rows() const { return rows_; }

  enum class Outcome { kNotRecorded, kWritten, kWriteFailed };

  // One completed read of a poll: its result code (only 0 makes a row: the
  // replay keeps the last good values over a failed read), the unit, the read
  // function 1..4 as the table, the protocol address of the first item and
  // `count` raw registers (or bits as 0/1). The row goes to the file in one
  // write; a failed write closes the file and ends the recording.
  Outcome record(std::uint16_t result, int unit, int function, int address, const std::uint16_t* values, int count);

 private:
  bool writeAll(const std::string& text);

  int fd_ = -1;
  std::uint64_t rows_ = 0;
  std::int64_t startedMs_ = 0;  // monotonic
};

}  // namespace zelmor
