// Writes the seed corpora of the fuzz targets into DIR/<target>/ from the real
// encoders and framers: a handful of valid files, option lists and frames each.
// Run by fuzz/make_seeds.sh; the output is checked in under fuzz/corpus/.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/archive.h"
#include "common/register_map.h"
#include "common/modbus_protocol.h"
#include "link/framing.h"
#include "master/core/test_center.h"
#include "master/core/value_list.h"
#include "master/core/zelmor_files.h"
#include "slave/core/vnd_file.h"
#include "slave/core/simulation_entries.h"
#include "slave/core/vnw_file.h"
#include "terminal/send_data.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
std::filesystem::path root;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
  const auto dir = root / target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
}

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Arguments(const std::vector<std::string>& args) {
  Bytes out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (i > 0) out.push_back(0);
    out.insert(out.end(), args[i].begin(), args[i].end());
  }
  return out;
}

// One request or reply for each function the suite speaks, as PDUs.
std::vector<Bytes> RequestPdus() {
  using namespace modbus;
  return {{FC_READ_COILS, 0, 0, 0, 16},
          {FC_READ_DISCRETE_INPUTS, 0, 5, 0, 8},
          {FC_READ_HOLDING_REGISTERS, 0, 0, 0, 10},
          {FC_READ_INPUT_REGISTERS, 0, 0, 0, 125},
          {FC_WRITE_SINGLE_COIL, 0, 3, 0xFF, 0},
          {FC_WRITE_SINGLE_REGISTER, 0, 1, 0x12, 0x34},
          {FC_WRITE_MULTIPLE_COILS, 0, 0, 0, 10, 2, 0xFF, 0x03},
          {FC_WRITE_MULTIPLE_REGISTERS, 0, 0, 0, 2, 4, 0, 1, 0, 2},
          {FC_MASK_WRITE_REGISTER, 0, 4, 0xFF, 0x00, 0x00, 0x12},
          {FC_WRITE_AND_READ_REGISTERS, 0, 0, 0, 2, 0, 8, 0, 1, 2, 0xAB, 0xCD},
          {FC_READ_EXCEPTION_STATUS},
          {FC_DIAGNOSTICS, 0, 0, 0x12, 0x34},
          {FC_GET_COMM_EVENT_COUNTER},
          {FC_REPORT_SLAVE_ID},
          {FC_ENCAPSULATED_INTERFACE, MEI_READ_DEVICE_ID, 1, 0},
          {0x63, 1, 2}};
}

Bytes RtuFrame(std::uint8_t unit, const Bytes& pdu) {
  Bytes frame(1 + pdu.size() + 2);
  frame[0] = unit;
  std::copy(pdu.begin(), pdu.end(), frame.begin() + 1);
  linklayer::AppendCrc(frame.data(), static_cast<std::uint16_t>(1 + pdu.size()));
  return frame;
}

Bytes AsciiFrame(std::uint8_t unit, const Bytes& pdu) {
  Bytes binary{unit};
  binary.insert(binary.end(), pdu.begin(), pdu.end());
  char text[2 * 300 + 8];
  const std::uint16_t n = linklayer::BuildAsciiFrame(binary.data(), static_cast<std::uint16_t>(binary.size()), text);
  return Bytes(text, text + n);
}

Bytes TcpFrame(std::uint16_t id, std::uint8_t unit, const Bytes& pdu) {
  Bytes frame(7 + pdu.size());
  linklayer::PutMbapHeader(frame.data(), id, static_cast<std::uint16_t>(pdu.size() + 1));
  frame[6] = unit;
  std::copy(pdu.begin(), pdu.end(), frame.begin() + 7);
  return frame;
}

// Chunks for the stream targets: a length header before each piece.
Bytes Chunked(const Bytes& stream, std::size_t piece, std::uint8_t flags, std::uint8_t lengthMask) {
  Bytes out;
  for (std::size_t at = 0; at < stream.size(); at += piece) {
    const std::size_t n = std::min(piece, stream.size() - at);
    out.push_back(static_cast<std::uint8_t>((n & lengthMask) | flags));
    out.insert(out.end(), stream.begin() + static_cast<std::ptrdiff_t>(at),
               stream.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  return out;
}

void Files() {
  zelmor::PollDocumentData document;
  Write("zmd", "default.zmd", zelmor::EncodePollDocument(document));
  document.function = 1;
  document.length = 2000;
  document.font.faceName = "DejaVu Sans Mono";
  document.placement.showCommand = archive::kShowMaximized;
  Write("zmd", "coils.zmd", zelmor::EncodePollDocument(document));
  archive::Writer older;  // the layout without the marker: function stored as 0..3
  for (std::int32_t v : {100, 2, 10, 500, 7, 0, 1, 1}) older.int32(v);
  older.uint32(9);
  older.uint32(0xFFFFFF);
  older.logFontMetrics(document.font);
  older.prefixedString("Courier");
  Write("zmd", "older.zmd", older.bytes());

  zelmor::WorkspaceData workspace;
  Write("zmw", "empty.zmw", zelmor::EncodeWorkspace(workspace));
  workspace.settings.port = zelmor::kTcpPortChoice;
  workspace.settings.ipAddress = "192.168.1.20";
  workspace.documents = {{archive::WindowPlacement{}, "pump.zmd", "/home/u/pump.zmd"},
                         {archive::WindowPlacement{}, "Zelmor2", ""}};
  Write("zmw", "two.zmw", zelmor::EncodeWorkspace(workspace));

  static vnd::VndDocument slave;
  Write("vnd", "default.vnd", vnd::EncodeVnd(slave));
  slave.table = 1;
  slave.length = 4096;
  slave.autoChangeFlags[0] = 1;
  slave.autoChangeFlags[5] = 2;
  slave.valueImage[0] = 0xFF;
  Write("vnd", "coils.vnd", vnd::EncodeVnd(slave));

  vnw::Workspace slaveWorkspace;
  Write("vnw", "empty.vnw", vnw::Encode(slaveWorkspace));
  slaveWorkspace.documents = {{archive::WindowPlacement{}, "pump.vnd", "/home/u/pump.vnd"}};
  Write("vnw", "one.vnw", vnw::Encode(slaveWorkspace));

  Bytes coils(zelmor::kCoilListSize, 1);
  Bytes list{10};  // the coil list
  const Bytes coilFile = zelmor::EncodeValueList(zelmor::kCoilListTag, coils.data(), zelmor::kCoilListSize);
  list.insert(list.end(), coilFile.begin(), coilFile.end());
  Write("value_list", "coils", list);
  Bytes registers(zelmor::kRegisterListBytes, 0x41);
  for (int format : {0, 6, 8}) {
    Bytes file{static_cast<std::uint8_t>(format)};
    const Bytes encoded = zelmor::EncodeValueList(zelmor::DataTypeTagForFormat(format), registers.data(),
                                                  zelmor::kRegisterListBytes);
    file.insert(file.end(), encoded.begin(), encoded.end());
    Write("value_list", "format" + std::to_string(format), file);
  }

  Write("test_center_list", "two", Text(zelmor::ComposeTestCenterText({"01 03 00 00 00 0A", "01,06,00,01,00,03"})));
  Write("test_center_list", "lf", Text("TestCenter\n:01 03\n\n02 04 00 00 00 01\n"));
  Write("frame_text", "spaces", Text("01 03 00 00 00 0A"));
  Write("frame_text", "commas", Text("01,10,00,00,00,02,04,00,01,00,02,"));
  Write("frame_text", "periods", Text("3A.30.31"));
}

void Options() {
  Write("zelmor_options", "tcp", Arguments({"--headless", "--tcp", "192.168.1.20:502", "--poll", "1:3:0:10:500",
                                            "--poll", "1:1:0:16", "--count", "3", "--timing"}));
  Write("zelmor_options", "serial", Arguments({"--serial", "/dev/ttyUSB0", "--baud", "19200", "--parity", "none",
                                               "--poll", "7:4:100:20", "--format", "float", "--ascii",
                                               "--delimiter", "tab", "--timeout", "500"}));
  Write("zelmor_options", "writes", Arguments({"--tcp", "127.0.0.1:1502", "--format", "float", "--write",
                                               "1:16:0:1.5,-2", "--write", "1:5:10:on", "--write", "1:22:3:65280,18",
                                               "--write", "1:23:100:5,6", "--read", "0:4", "--write",
                                               "1:15:0:1,0,1"}));
  Write("zelmor_options", "files", Arguments({"a.zmw", "b.zmd", "--delay-between-polls", "0", "--data-bits", "7",
                                              "--stop-bits", "2", "--format", "double-inverse"}));
  Write("vantor_options", "tcp", Arguments({"--headless", "--slave", "1:3:0:100", "--slave", "2:1:0:16", "--tcp",
                                            "127.0.0.1:1502", "--traffic"}));
  Write("vantor_options", "faults", Arguments({"--slave", "1:3:0:200", "--slave", "2:3:0:200", "--tcp", "1502",
                                               "--delay", "2=50:200", "--drop", "2=10", "--exception",
                                               "2@100-109", "--corrupt", "5", "--busy", "1:10", "--seed", "7"}));
  Write("vantor_options", "serial", Arguments({"pump.vnd", "--serial", "/dev/ttyUSB0", "--baud", "19200",
                                               "--parity", "E", "--data-bits", "8", "--stop-bits", "2", "--ascii"}));
  Write("vantor_options", "ignore", Arguments({"--slave", "1:4:0:10", "--tcp", "0", "--ignore-unit-id"}));
}

void Frames() {
  const std::vector<Bytes> pdus = RequestPdus();
  for (std::size_t i = 0; i < pdus.size(); ++i) {
    const std::string n = std::to_string(i);
    Bytes pdu{static_cast<std::uint8_t>(i % 2), 1};  // serial and TCP by turns, unit 1
    pdu.insert(pdu.end(), pdus[i].begin(), pdus[i].end());
    Write("slave_pdu", "request" + n, pdu);
  }
  Bytes rtu{0}, ascii{1}, tcp;
  for (std::size_t i = 0; i < pdus.size(); ++i) {
    const Bytes r = Chunked(RtuFrame(1, pdus[i]), 63, 0, 0x3F);
    rtu.insert(rtu.end(), r.begin(), r.end());
    const Bytes a = Chunked(AsciiFrame(1, pdus[i]), 7, 0, 0x3F);
    ascii.insert(ascii.end(), a.begin(), a.end());
    const Bytes t = TcpFrame(static_cast<std::uint16_t>(i), 1, pdus[i]);
    tcp.insert(tcp.end(), t.begin(), t.end());
  }
  // RTU: each frame in one chunk followed by a silence.
  Bytes rtuFrames{0};
  for (const Bytes& pdu : pdus) {
    const Bytes frame = RtuFrame(1, pdu);
    rtuFrames.push_back(static_cast<std::uint8_t>(frame.size() | 0x80));
    rtuFrames.insert(rtuFrames.end(), frame.begin(), frame.end());
  }
  Write("slave_serial", "rtu_frames", rtuFrames);
  Write("slave_serial", "ascii_frames", ascii);
  Write("slave_serial", "rtu_no_silence", rtu);
  Write("slave_tcp", "back_to_back", Chunked(tcp, 127, 0, 0x7F));
  Write("slave_tcp", "trickle", Chunked(tcp, 5, 0, 0x7F));
  Write("slave_tcp", "bad_header", Chunked(Bytes{0, 1, 0, 1, 0, 6, 1, 3, 0, 0, 0, 1}, 12, 0, 0x7F));

  // Master: link (0 RTU, 1 ASCII, 2 TCP), transaction index, slave, address,
  // quantity, then the reply (TCP: transaction id 0, which the peer replaces).
  const auto master = [](const std::string& name, std::uint8_t link, std::uint8_t kind, std::uint16_t quantity,
                         const Bytes& replyPdu) {
    Bytes input{link, kind, 1, 0, 0, static_cast<std::uint8_t>(quantity >> 8), static_cast<std::uint8_t>(quantity)};
    const Bytes reply = link == 2 ? TcpFrame(0, 1, replyPdu) : link == 1 ? AsciiFrame(1, replyPdu) : RtuFrame(1, replyPdu);
    input.insert(input.end(), reply.begin(), reply.end());
    Write("master_reply", name, input);
  };
  using namespace modbus;
  master("read_coils", 0, 0, 10, {FC_READ_COILS, 2, 0xFF, 0x03});
  master("read_registers", 0, 2, 2, {FC_READ_HOLDING_REGISTERS, 4, 0, 1, 0, 2});
  master("read_registers_ascii", 1, 3, 1, {FC_READ_INPUT_REGISTERS, 2, 0x12, 0x34});
  master("write_register", 0, 5, 7, {FC_WRITE_SINGLE_REGISTER, 0, 0, 0, 7});
  master("write_registers", 0, 7, 2, {FC_WRITE_MULTIPLE_REGISTERS, 0, 0, 0, 2});
  master("exception", 0, 2, 2, {FC_READ_HOLDING_REGISTERS | EXCEPTION_FLAG, EXCEPTION_ILLEGAL_DATA_ADDRESS});
  master("read_write", 0, 9, 1, {FC_WRITE_AND_READ_REGISTERS, 2, 0, 9});
  master("mask_write", 1, 8, 0x00FF, {FC_MASK_WRITE_REGISTER, 0, 0, 0, 0xFF, 0xFF, 0});
  master("tcp_read_registers", 2, 2, 2, {FC_READ_HOLDING_REGISTERS, 4, 0, 1, 0, 2});
  master("tcp_write_coils", 2, 6, 10, {FC_WRITE_MULTIPLE_COILS, 0, 0, 0, 10});
  master("tcp_exception", 2, 0, 8, {FC_READ_COILS | EXCEPTION_FLAG, EXCEPTION_SLAVE_OR_SERVER_BUSY});
}

// Register maps, simulation rules and kestrin's send text, each from its writer.
void TextFormats() {
  regmap::RegisterMap map;
  const auto entry = [&map](int table, int address, regmap::Type type, wordorder::Order order, const char* name,
                            const char* unit, double scale, bool hasValue, double value) {
    regmap::Entry e;
    e.table = table, e.address = address, e.type = type, e.order = order, e.name = name, e.unit = unit;
    e.scale = scale, e.hasValue = hasValue, e.value = value;
    map.entries.push_back(e);
  };
  using regmap::Type;
  using wordorder::Order;
  entry(modbus::FC_READ_HOLDING_REGISTERS, 0, Type::kFloat32, Order::kABCD, "Tank level", "m", 1, true, 2.5);
  entry(modbus::FC_READ_HOLDING_REGISTERS, 2, Type::kUInt32, Order::kCDAB, "Pump starts", "", 1, true, 1200);
  entry(modbus::FC_READ_INPUT_REGISTERS, 7, Type::kInt16, Order::kABCD, "Temperature, \"inlet\"", "degC", 0.1, true,
        -12.5);
  entry(modbus::FC_READ_INPUT_REGISTERS, 9, Type::kFloat64, Order::kDCBA, "Flow", "l/s", 1, false, 0);
  entry(modbus::FC_READ_COILS, 0, Type::kBit, Order::kABCD, "Pump on", "", 1, true, 1);
  entry(modbus::FC_READ_DISCRETE_INPUTS, 65535, Type::kBit, Order::kABCD, "High level alarm", "", 1, false, 0);
  Write("register_map", "map", Text(regmap::FormatRegisterMap(map)));
  Write("register_map", "hand_written", Text("Table,Address,Type,Order,Name,Unit,Scale,Value\r\n"
                                             "# comment\r\n\r\nholding registers,40001,int32,BADC,x,,2,\r\n"
                                             "coils,5,bit,,\"a \"\"b\"\"\",,,0\r\n"));

  std::vector<simentries::SimulationEntry> rules;
  std::string why;
  for (const char* text : {"1:3:0:ramp:0:10000:20000", "1:3:2-3:sine:100:50:3000:float-inverse",
                           "2:4:100-109:random:-20:20", "1:1:0-7:toggle:400", "7:3:10-17:random:0:1e6:double",
                           "255:2:65535:toggle:1", "1:3:4-5:recording:/tmp/dev:1.csv"}) {
    simentries::SimulationEntry e;
    if (simentries::ParseEntry(text, &e, &why)) rules.push_back(e);
  }
  const std::string sidecar = simentries::FormatSidecar(rules);
  Bytes input{0, 30};  // 30 s after the start
  input.insert(input.end(), sidecar.begin(), sidecar.end());
  Write("simulation_rules", "rules", input);

  // kestrin: selector, station, function, address, quantity (4 bytes each), then the send text.
  const auto kestrinInput = [](const std::string& name, std::uint8_t selector, std::int32_t function,
                               const std::string& text) {
    Bytes input{selector};
    for (const std::int32_t field : {1, function, 100, 10})
      for (int shift = 24; shift >= 0; shift -= 8) input.push_back(static_cast<std::uint8_t>(field >> shift));
    input.insert(input.end(), text.begin(), text.end());
    Write("kestrin_send", name, input);
  };
  kestrinInput("read", 16, modbus::FC_READ_HOLDING_REGISTERS, "01 03 00 64 00 0A c5 d2");
  kestrinInput("write_coil", 8, modbus::FC_WRITE_SINGLE_COIL, "  a B zz 1 [  12]x");
  kestrinInput("bad_function", 1, 99, "[ 1][ 2] 7F");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_make_seeds DIR\n");
    return 2;
  }
  root = argv[1];
  Files();
  Options();
  Frames();
  TextFormats();
  return 0;
}
