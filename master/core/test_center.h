#pragma once
// The test center's Qt-free parts: the frame text typed by the user turned into
// bytes, the CRC or LRC appended to them, the numbered traffic lines, and the
// frame-list file ("TestCenter" on the first line, one frame text per line).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zelmor {

// A frame text holds 1..599 characters.
constexpr std::size_t kMaxFrameTextLength = 599;

struct FrameParse {
  bool ok = false;
  // 0-based position of the offending character when !ok. An empty text gives 0,
  // a text longer than the limit the first character beyond it.
  std::size_t errorPosition = 0;
  std::vector<std::uint8_t> bytes;
};

// Byte tokens of two capital hex digits, each followed by the end of the text or
// by one separator (space, comma or period); a separator may end the text.
FrameParse ParseFrameText(std::string_view text);

enum CheckKind : int { kCheckCrc = 0, kCheckLrc = 1 };

// CRC: the Modbus CRC-16 of all bytes, low byte first. LRC: the bytes are an
// ASCII frame without its check: the hex pairs from position 1 on are summed,
// the negated sum is appended as two hex characters, then CR LF.
void AppendCheck(std::vector<std::uint8_t>* frame, int kind);
// The check "Add Check" appends on a link mode (masterengine::kLink*): the chosen
// kind, except a CRC over RTU over TCP (the gateway passes RTU frames) and
// nothing over Modbus/UDP (-1: the datagram needs no check).
int CheckKindForLink(int chosen, std::uint16_t linkMode);

// "%03u-" + "Tx:" or "Rx:" + "%02X " per byte.
std::string TestCenterLine(unsigned number, bool sent, const std::uint8_t* bytes, std::size_t count);

// ---- Frame-list files --------------------------------------------------------

constexpr const char* kTestCenterFileMarker = "TestCenter";
constexpr int kMaxTestCenterEntries = 100;

enum class ListFileResult { kOk, kOpenError, kNotTestCenterFile, kWriteError };

// The entries of a frame-list text: lines end in CR LF or LF alone; at most
// 100 entries after the marker line are taken. False when the first line is not
// exactly the marker (an empty text included).
bool ParseTestCenterText(std::string_view content, std::vector<std::string>* entries);
// The file's bytes: the marker and each entry, every line ending in CR LF. No
// entries give an empty file.
std::string ComposeTestCenterText(const std::vector<std::string>& entries);

ListFileResult ReadTestCenterFile(const std::string& path, std::vector<std::string>* entries);
// A regular file is replaced through a temporary file, so a failed save keeps
// the previous list; a device or pipe is written in place.
ListFileResult WriteTestCenterFile(const std::string& path, const std::vector<std::string>& entries);

// The save behind the list files of the program (frame lists, value lists):
// kOpenError when the target cannot be created or written where it is,
// kWriteError when writing failed; a regular file is replaced through a
// temporary file renamed over it, a device or pipe is written in place.
ListFileResult SaveListFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace zelmor
