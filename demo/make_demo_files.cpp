// Writes the demo setup of ./run.sh into a folder: three slave definitions and a
// vantor workspace that listens on a loopback TCP port, and three poll documents
// and a zelmor workspace that poll it, and a register value list (values.mod) for
// zelmor's multiple-write dialog. Paths inside the workspaces are absolute.
//
//   make_demo_files <folder> <address> <port>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/archive.h"
#include "common/value_format.h"
#include "master/core/value_list.h"
#include "master/core/zelmor_files.h"
#include "slave/core/slave_settings.h"
#include "slave/core/vnd_file.h"
#include "slave/core/vnw_file.h"

namespace {

archive::WindowPlacement Placement(int left, int top, int width, int height) {
  archive::WindowPlacement p;
  p.showCommand = archive::kShowNormal;
  p.left = left;
  p.top = top;
  p.right = left + width;
  p.bottom = top + height;
  return p;
}

void SetRegister(vnd::VndDocument& doc, int index, std::uint16_t value) {
  doc.valueImage[2 * index] = static_cast<std::uint8_t>(value);  // host (little-endian) word order
  doc.valueImage[2 * index + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Both main windows side by side on a 1280 x 800 screen, below a 32-pixel top
// panel; the child windows fit their client areas with room for the desktop's
// title bar and frame.
const archive::WindowPlacement kVantorWindow = Placement(0, 32, 636, 736);
const archive::WindowPlacement kZelmorWindow = Placement(644, 32, 636, 736);

bool Save(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::string error;
  if (!archive::WriteFileAtomically(path, bytes, &error)) {
    std::fprintf(stderr, "make_demo_files: cannot write %s: %s\n", path.c_str(), error.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_demo_files <folder> <address> <port>\n");
    return 2;
  }
  const std::string folder = argv[1];
  const std::string address = argv[2];
  const int port = std::atoi(argv[3]);
  if (port < 1 || port > 65535) {
    std::fprintf(stderr, "make_demo_files: bad port %s\n", argv[3]);
    return 2;
  }

  std::error_code created;
  std::filesystem::create_directories(folder, created);
  if (created) {
    std::fprintf(stderr, "make_demo_files: cannot create %s: %s\n", folder.c_str(), created.message().c_str());
    return 1;
  }

  // Slave 1: ten holding registers counting up, a float pair at 10..11 and a long at 12..13.
  vnd::VndDocument registers;
  registers.slaveId = 1;
  registers.table = 3;
  registers.address = 0;
  registers.length = 20;
  registers.displayFormat = valuefmt::kUnsigned;
  for (int i = 0; i < 10; ++i) {
    SetRegister(registers, i, static_cast<std::uint16_t>(100 * i));
    registers.autoChangeFlags[i] = 1;  // auto increment on the 500 ms refresh
  }
  float pi = 3.14159f;
  std::uint32_t bits;
  std::memcpy(&bits, &pi, 4);
  SetRegister(registers, 10, static_cast<std::uint16_t>(bits));  // low word first
  SetRegister(registers, 11, static_cast<std::uint16_t>(bits >> 16));
  SetRegister(registers, 12, 0x4240);  // 1000000 as a long, low word first
  SetRegister(registers, 13, 0x000F);
  registers.placement = Placement(0, 0, 410, 330);
  registers.hasPlacement = true;

  // Slave 1: sixteen coils, every other one toggling.
  vnd::VndDocument coils;
  coils.slaveId = 1;
  coils.table = 1;
  coils.length = 16;
  for (int i = 0; i < 16; ++i) {
    coils.valueImage[i] = static_cast<std::uint8_t>(i % 3 == 0);
    coils.autoChangeFlags[i] = (i % 2 == 0);
  }
  coils.placement = Placement(0, 335, 410, 250);
  coils.hasPlacement = true;

  // Slave 2: input registers shown in hex.
  vnd::VndDocument inputs;
  inputs.slaveId = 2;
  inputs.table = 4;
  inputs.length = 8;
  inputs.displayFormat = valuefmt::kHex;
  for (int i = 0; i < 8; ++i) SetRegister(inputs, i, static_cast<std::uint16_t>(0x1111 * (i + 1)));
  inputs.placement = Placement(415, 0, 205, 330);
  inputs.hasPlacement = true;

  const std::string vndPaths[] = {folder + "/registers.vnd", folder + "/coils.vnd", folder + "/inputs.vnd"};
  const vnd::VndDocument* docs[] = {&registers, &coils, &inputs};
  vnw::Workspace slaveWorkspace;
  slaveWorkspace.settings.port = slavesettings::kTcpPort;
  slaveWorkspace.settings.connected = 1;
  slaveWorkspace.mainPlacement = kVantorWindow;
  for (int i = 0; i < 3; ++i) {
    std::string error;
    if (!vnd::SaveVndFile(vndPaths[i], *docs[i], &error)) {
      std::fprintf(stderr, "make_demo_files: cannot write %s: %s\n", vndPaths[i].c_str(), error.c_str());
      return 1;
    }
    slaveWorkspace.documents.push_back({docs[i]->placement, "", vndPaths[i]});
  }
  if (!Save(folder + "/demo.vnw", vnw::Encode(slaveWorkspace))) return 1;

  // The master polls the three definitions in three formats.
  zelmor::PollDocumentData counters;
  counters.slaveId = 1;
  counters.function = 3;
  counters.address = 0;
  counters.length = 10;
  counters.scanRate = 500;
  counters.displayFormat = valuefmt::kUnsigned;
  counters.font = vnd::VndDocument::DefaultFont();  // both programs default to Courier New 10 pt
  counters.hasPlacement = true;
  counters.placement = Placement(0, 0, 330, 300);

  zelmor::PollDocumentData numbers = counters;
  numbers.address = 10;
  numbers.length = 4;
  numbers.displayFormat = valuefmt::kFloat;
  numbers.placement = Placement(335, 0, 285, 200);

  zelmor::PollDocumentData bits16 = counters;
  bits16.function = 1;
  bits16.length = 16;
  bits16.placement = Placement(0, 305, 330, 290);

  zelmor::PollDocumentData hex = counters;
  hex.slaveId = 2;
  hex.function = 4;
  hex.length = 8;
  hex.displayFormat = valuefmt::kHex;
  hex.placement = Placement(335, 205, 285, 270);

  const zelmor::PollDocumentData* polls[] = {&counters, &numbers, &bits16, &hex};
  const char* pollNames[] = {"counters.zmd", "float.zmd", "coils.zmd", "inputs.zmd"};
  zelmor::WorkspaceData masterWorkspace;
  masterWorkspace.settings.port = zelmor::kTcpPortChoice;
  masterWorkspace.settings.ipAddress = address;
  masterWorkspace.settings.servicePort = port;
  masterWorkspace.settings.connected = 1;
  masterWorkspace.mainPlacement = kZelmorWindow;
  for (int i = 0; i < 4; ++i) {
    std::string path = folder + "/" + pollNames[i];
    if (!Save(path, zelmor::EncodePollDocument(*polls[i]))) return 1;
    masterWorkspace.documents.push_back({polls[i]->placement, "", path});
  }
  if (!Save(folder + "/demo.zmw", zelmor::EncodeWorkspace(masterWorkspace))) return 1;

  // Ten registers counting up from 100, as zelmor's Save button writes them.
  std::uint8_t registers16[zelmor::kRegisterListBytes] = {};
  for (int i = 0; i < 10; ++i) registers16[2 * i] = static_cast<std::uint8_t>(100 + i);
  const std::string valuesPath = folder + "/values.mod";
  if (zelmor::WriteValueListFile(valuesPath, zelmor::DataTypeTagForFormat(valuefmt::kUnsigned), registers16,
                                 sizeof registers16) != zelmor::ValueFileResult::kOk) {
    std::fprintf(stderr, "make_demo_files: cannot write %s\n", valuesPath.c_str());
    return 1;
  }
  return 0;
}
