// Byte images of the settings record, the poll document and the workspace,
// built by hand field by field, against the codecs.
#include "master/core/zelmor_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "common/value_format.h"

using namespace zelmor;

namespace {

// Builds little-endian images by hand, independent of archive::Writer.
struct Image {
  std::vector<std::uint8_t> bytes;
  Image& i32(std::int32_t v) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k)));
    return *this;
  }
  Image& u8(std::uint8_t v) {
    bytes.push_back(v);
    return *this;
  }
  Image& text(const char* s, std::size_t field) {
    std::size_t n = std::strlen(s);
    for (std::size_t k = 0; k < field; ++k) bytes.push_back(k < n ? static_cast<std::uint8_t>(s[k]) : 0);
    return *this;
  }
  Image& placement(std::int32_t show, std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b) {
    return i32(44).i32(0).i32(show).i32(-1).i32(-1).i32(-1).i32(-1).i32(l).i32(t).i32(r).i32(b);
  }
};

Image DefaultSettingsImage() {
  Image img;
  img.i32(0).i32(2).i32(1).i32(2).i32(0).i32(1000).i32(0).i32(0).i32(1).i32(0).i32(1).i32(502).i32(0);
  img.text("0.0.0.0", 20).i32(10).i32(0).i32(0).i32(0).i32(0);
  return img;
}

// Font fields after the 28-byte metrics: Courier New as a new document has it.
Image& DefaultFont(Image& img) {
  img.i32(-10).i32(0).i32(0).i32(0).i32(400);
  img.u8(0).u8(0).u8(0).u8(0).u8(4).u8(0).u8(2).u8(0x21);
  img.u8(11).text("Courier New", 11);
  return img;
}

PollDocumentData DefaultDocument() {
  PollDocumentData d;
  d.font.height = -10;
  d.font.weight = 400;
  d.font.outPrecision = 4;
  d.font.quality = 2;
  d.font.pitchAndFamily = 0x21;
  d.font.faceName = "Courier New";
  return d;
}

}  // namespace

TEST(CommSettingsRecord, DefaultsGiveTheExact92Bytes) {
  archive::Writer out;
  WriteCommSettings(out, CommSettings{});
  EXPECT_EQ(out.bytes(), DefaultSettingsImage().bytes);
  ASSERT_EQ(out.bytes().size(), 92u);
  // Offsets other code depends on: 48 connected flag, 52 IP text.
  CommSettings s;
  s.connected = 1;
  s.ipAddress = "192.168.100.200";
  archive::Writer out2;
  WriteCommSettings(out2, s);
  EXPECT_EQ(out2.bytes()[48], 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&out2.bytes()[52])), "192.168.100.200");
}

TEST(CommSettingsRecord, RoundTripAndOlderShortBlock) {
  CommSettings s;
  s.port = 8;
  s.baudIndex = 11;
  s.dataBits = 0;
  s.parity = 1;
  s.stopBits = 1;
  s.timeout = 250;
  s.dtrDsr = 1;
  s.rtsCts = 1;
  s.rtsToggle = 0;
  s.asciiMode = 1;
  s.clrRtsDelay = 7;
  s.servicePort = 1502;
  s.connected = 1;
  s.ipAddress = "10.0.0.1";
  s.delayBetweenPolls = 33;
  s.echo = 1;
  archive::Writer out;
  WriteCommSettings(out, s);
  CommSettings back;
  archive::Reader in(out.bytes());
  ASSERT_TRUE(ReadCommSettings(in, kCommSettingsSize, &back));
  EXPECT_EQ(back, s);

  // The older 72-byte block leaves delay between polls and echo as they were.
  CommSettings current;
  current.delayBetweenPolls = 77;
  current.echo = 1;
  std::vector<std::uint8_t> shortBlock(out.bytes().begin(), out.bytes().begin() + 72);
  archive::Reader in72(shortBlock);
  ASSERT_TRUE(ReadCommSettings(in72, kOldCommSettingsSize, &current));
  EXPECT_EQ(current.port, 8);
  EXPECT_EQ(current.ipAddress, "10.0.0.1");
  EXPECT_EQ(current.delayBetweenPolls, 77);
  EXPECT_EQ(current.echo, 1);

  // A short block changes nothing.
  CommSettings untouched;
  std::vector<std::uint8_t> cut(out.bytes().begin(), out.bytes().begin() + 60);
  archive::Reader inCut(cut);
  EXPECT_FALSE(ReadCommSettings(inCut, kCommSettingsSize, &untouched));
  EXPECT_EQ(untouched, CommSettings{});
}

TEST(PollDocumentFile, NewDocumentWritesTheMarkedLayoutByteForByte) {
  PollDocumentData d = DefaultDocument();
  d.placement = {44, 0, 1, -1, -1, -1, -1, 10, 20, 310, 220};
  Image img;
  img.i32(3500).i32(0).i32(3).i32(10).i32(1000).i32(1).i32(0).i32(1).i32(1).i32(9).i32(0x00FFFFFF);
  DefaultFont(img).placement(1, 10, 20, 310, 220);
  EXPECT_EQ(EncodePollDocument(d), img.bytes);

  PollDocumentData back;
  ASSERT_EQ(DecodePollDocument(img.bytes, &back), DocumentReadResult::kOk);
  EXPECT_TRUE(back.hasPlacement);
  d.hasPlacement = true;
  EXPECT_EQ(back, d);
}

TEST(PollDocumentFile, RoundTripOfEveryField) {
  PollDocumentData d = DefaultDocument();
  d.address = 65535;
  d.function = 1;
  d.length = 2000;
  d.scanRate = 20;
  d.slaveId = 255;
  d.displayFormat = 9;
  d.enable = 0;
  d.oneBased = 0;
  d.textColor = 0x00123456;
  d.reservedColor = 0x00ABCDEF;
  d.font.italic = 1;
  d.font.faceName = std::string(31, 'F');
  d.placement = {44, 2, 3, 1, 2, 3, 4, 5, 6, 700, 800};
  d.hasPlacement = true;
  PollDocumentData back;
  ASSERT_EQ(DecodePollDocument(EncodePollDocument(d), &back), DocumentReadResult::kOk);
  EXPECT_EQ(back, d);
}

TEST(PollDocumentFile, OlderLayoutWithoutMarker) {
  // Address 100, function index 3 (input registers), length 20, then items 5-13.
  Image img;
  img.i32(100).i32(3).i32(20).i32(500).i32(7).i32(2).i32(0).i32(0).i32(0x0000FF).i32(0x00FFFFFF);
  DefaultFont(img);
  PollDocumentData d = DefaultDocument();
  ASSERT_EQ(DecodePollDocument(img.bytes, &d), DocumentReadResult::kOk);
  EXPECT_EQ(d.address, 100);
  EXPECT_EQ(d.function, 4);
  EXPECT_EQ(d.length, 20);
  EXPECT_EQ(d.scanRate, 500);
  EXPECT_EQ(d.slaveId, 7);
  EXPECT_EQ(d.displayFormat, 2);
  EXPECT_EQ(d.textColor, 0x0000FFu);
  EXPECT_FALSE(d.hasPlacement);
  EXPECT_EQ(d.font.faceName, "Courier New");
}

TEST(PollDocumentFile, OlderLayoutWithBadFunctionKeepsDefaults) {
  Image img;
  img.i32(100).i32(4).i32(20).i32(500);
  PollDocumentData d = DefaultDocument();
  EXPECT_EQ(DecodePollDocument(img.bytes, &d), DocumentReadResult::kFormatError);
  EXPECT_EQ(d, DefaultDocument());
  Image negative;
  negative.i32(100).i32(-1).i32(20);
  EXPECT_EQ(DecodePollDocument(negative.bytes, &d), DocumentReadResult::kFormatError);
}

TEST(PollDocumentFile, TruncatedFilesAreRefusedWithoutChange) {
  PollDocumentData d = DefaultDocument();
  d.placement = {44, 0, 1, -1, -1, -1, -1, 1, 2, 3, 4};
  auto bytes = EncodePollDocument(d);
  for (std::size_t cut : {std::size_t{0}, std::size_t{8}, std::size_t{40}, std::size_t{70}, bytes.size() - 1}) {
    std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + cut);
    PollDocumentData target;
    EXPECT_EQ(DecodePollDocument(part, &target), DocumentReadResult::kTruncated) << cut;
    EXPECT_EQ(target, PollDocumentData{});
  }
}

TEST(PollDocumentFile, FieldsOutOfRangeAreRefusedAndNamed) {
  // Marked layout: marker, address, function, length, scan rate, slave, format, enable, one-based, colours.
  auto marked = [](std::int32_t address, std::int32_t scanRate) {
    Image img;
    img.i32(kDocumentMarker).i32(address).i32(3).i32(10).i32(scanRate).i32(1).i32(0).i32(1).i32(1).i32(9).i32(0);
    DefaultFont(img).placement(1, 0, 0, 300, 200);
    return img.bytes;
  };
  PollDocumentData d = DefaultDocument();
  std::string problem;
  ASSERT_EQ(DecodePollDocument(marked(65535, 20), &d, &problem), DocumentReadResult::kOk);
  EXPECT_EQ(problem, "");
  const PollDocumentData good = d;
  EXPECT_EQ(DecodePollDocument(marked(0x7FFFFFFF, 1000), &d, &problem), DocumentReadResult::kTruncated);
  EXPECT_EQ(problem, "address 2147483647 is not 0..65535");
  EXPECT_EQ(DecodePollDocument(marked(0, 19), &d), DocumentReadResult::kTruncated);
  EXPECT_EQ(d, good);

  // The older layout starts with the address.
  Image older;
  older.i32(0x7FFFFFFF).i32(3).i32(20).i32(500).i32(7).i32(2).i32(0).i32(0).i32(0x0000FF).i32(0x00FFFFFF);
  DefaultFont(older);
  EXPECT_EQ(DecodePollDocument(older.bytes, &d, &problem), DocumentReadResult::kTruncated);
  EXPECT_EQ(problem, "address 2147483647 is not 0..65535");
  EXPECT_EQ(d, good);

  // Headless polls without a window, so the display format is checked there too.
  PollDocumentData odd = good;
  // (10..19 are the other byte and word orders now; the message keeps its text.)
  odd.displayFormat = valuefmt::kAllFormatCount;
  EXPECT_EQ(PollDefinitionProblem(odd), "");
  EXPECT_EQ(PollDocumentProblem(odd), "display format 20 is not 0..9");
}

TEST(WorkspaceFile, SettingsOutOfRangeChangeNothing) {
  struct Row {
    int field;  // index of the 32-bit field in the settings block
    std::int32_t value;
  } rows[] = {{0, 9}, {1, 12}, {3, 3}, {5, 0x7FFFFFFF}, {5, 49}, {10, 11}, {11, -1}, {11, 65536}};
  for (const Row& row : rows) {
    Image img;
    img.i32(kWorkspaceVersion);
    Image settings = DefaultSettingsImage();
    for (int k = 0; k < 4; ++k)
      settings.bytes[4 * row.field + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(row.value) >> (8 * k));
    img.bytes.insert(img.bytes.end(), settings.bytes.begin(), settings.bytes.end());
    img.placement(1, 1, 2, 3, 4);
    WorkspaceData w;
    w.settings.timeout = 777;
    EXPECT_EQ(DecodeWorkspace(img.bytes, &w), WorkspaceReadResult::kTruncated) << row.field << "=" << row.value;
    EXPECT_EQ(w.settings.timeout, 777);
  }
}

TEST(PollDocumentFile, LongFaceNameIsCutTo31Characters) {
  Image img;
  img.i32(3500).i32(0).i32(3).i32(10).i32(1000).i32(1).i32(0).i32(1).i32(1).i32(9).i32(0x00FFFFFF);
  img.i32(-10).i32(0).i32(0).i32(0).i32(400).u8(0).u8(0).u8(0).u8(0).u8(4).u8(0).u8(2).u8(0x21);
  img.u8(40).text("ABCDEFGHIJABCDEFGHIJABCDEFGHIJABCDEFGHIJ", 40).placement(1, 0, 0, 100, 100);
  PollDocumentData d;
  ASSERT_EQ(DecodePollDocument(img.bytes, &d), DocumentReadResult::kOk);
  EXPECT_EQ(d.font.faceName, "ABCDEFGHIJABCDEFGHIJABCDEFGHIJA");
}

TEST(WorkspaceFile, WritesVersion3600WithRecords) {
  WorkspaceData w;
  w.settings.port = 8;
  w.settings.connected = 1;
  w.settings.ipAddress = "127.0.0.1";
  w.mainPlacement = {44, 0, 1, -1, -1, -1, -1, 50, 60, 850, 660};
  w.documents.push_back({{44, 0, 1, -1, -1, -1, -1, 0, 0, 300, 200}, "a.zmd", "/tmp/a.zmd"});
  w.documents.push_back({{44, 0, 3, -1, -1, -1, -1, 5, 5, 305, 205}, "b.zmd", "/home/u/b.zmd"});
  auto bytes = EncodeWorkspace(w);
  ASSERT_EQ(bytes.size(), 4u + 92 + 44 + 2 * 560);
  Image img;
  img.i32(3600).i32(8).i32(2).i32(1).i32(2).i32(0).i32(1000).i32(0).i32(0).i32(1).i32(0).i32(1).i32(502).i32(1);
  img.text("127.0.0.1", 20).i32(10).i32(0).i32(0).i32(0).i32(0);
  img.placement(1, 50, 60, 850, 660);
  img.placement(1, 0, 0, 300, 200).text("a.zmd", 256).text("/tmp/a.zmd", 260);
  img.placement(3, 5, 5, 305, 205).text("b.zmd", 256).text("/home/u/b.zmd", 260);
  EXPECT_EQ(bytes, img.bytes);

  WorkspaceData back;
  ASSERT_EQ(DecodeWorkspace(bytes, &back), WorkspaceReadResult::kOk);
  EXPECT_EQ(back.settings, w.settings);
  EXPECT_EQ(back.mainPlacement, w.mainPlacement);
  EXPECT_EQ(back.documents, w.documents);
}

// The transport and a host name or IPv6 address follow the document records in a
// block shorter than one record: an older reader, which takes records while a
// whole one remains, opens the file as Modbus/TCP to the IPv4 address it holds.
TEST(WorkspaceFile, NetworkTransportAndHostStayInvisibleToOlderReaders) {
  WorkspaceData w;
  w.settings.port = kTcpPortChoice;
  w.settings.ipAddress = "10.0.0.7";
  w.documents.push_back({{44, 0, 1, -1, -1, -1, -1, 0, 0, 300, 200}, "a.zmd", "/tmp/a.zmd"});
  const auto plain = EncodeWorkspace(w);
  ASSERT_EQ(plain.size(), 4u + 92 + 44 + 560) << "nothing new: the bytes of before";

  for (const char* host : {"plc-gateway.example", "fe80::1%eth0", ""}) {
    WorkspaceData extended = w;
    extended.settings.transport = kTransportRtuOverTcp;
    SetRemoteHost(&extended.settings, host);
    const auto bytes = EncodeWorkspace(extended);
    ASSERT_GT(bytes.size(), plain.size());
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), bytes.begin())) << "the older layout comes first, unchanged";
    EXPECT_LT(bytes.size() - plain.size(), static_cast<std::size_t>(kWorkspaceRecordSize));

    // An older reader: version, 92-byte block, placement, then whole records only.
    archive::Reader old(bytes);
    EXPECT_EQ(old.int32(), kWorkspaceVersion);
    CommSettings seen;
    ASSERT_TRUE(ReadCommSettings(old, kCommSettingsSize, &seen));
    old.placement();
    int records = 0;
    while (old.remaining() >= static_cast<std::size_t>(kWorkspaceRecordSize)) {
      old.placement();
      old.fixedString(kWorkspaceTitleField);
      old.fixedString(kWorkspacePathField);
      ++records;
    }
    EXPECT_EQ(records, 1);
    EXPECT_EQ(seen.port, kTcpPortChoice);
    EXPECT_EQ(seen.ipAddress, "10.0.0.7") << "the IPv4 address the older reader falls back to";

    WorkspaceData back;
    ASSERT_EQ(DecodeWorkspace(bytes, &back), WorkspaceReadResult::kOk);
    EXPECT_EQ(back.settings, extended.settings) << host;
    EXPECT_EQ(back.documents, extended.documents);
    EXPECT_EQ(RemoteHost(back.settings), *host ? std::string(host) : std::string("10.0.0.7"));
  }

  // A hand-made file of the older layout reads as Modbus/TCP to its address.
  Image img;
  img.i32(3600).i32(8).i32(2).i32(1).i32(2).i32(0).i32(1000).i32(0).i32(0).i32(1).i32(0).i32(1).i32(502).i32(0);
  img.text("192.168.1.20", 20).i32(10).i32(0).i32(0).i32(0).i32(0);
  img.placement(1, 50, 60, 850, 660);
  WorkspaceData older;
  older.settings.transport = kTransportUdp;  // what the program had before is not kept
  older.settings.host = "stale.example";
  ASSERT_EQ(DecodeWorkspace(img.bytes, &older), WorkspaceReadResult::kOk);
  EXPECT_EQ(older.settings.transport, kTransportModbusTcp);
  EXPECT_EQ(RemoteHost(older.settings), "192.168.1.20");

  // A transport beyond the known ones is refused like any field out of range.
  img.i32(kNetworkBlockMarker).i32(7).u8(0);
  EXPECT_EQ(DecodeWorkspace(img.bytes, &older), WorkspaceReadResult::kTruncated);
}

TEST(WorkspaceFile, OlderLayoutsRead72ByteBlock) {
  for (std::int32_t version : {3500, 3501}) {
    Image img;
    img.i32(version).i32(1).i32(8).i32(0).i32(0).i32(1).i32(300).i32(0).i32(1).i32(0).i32(1).i32(2).i32(503).i32(0);
    img.text("192.168.0.9", 20);
    img.placement(1, 1, 2, 3, 4);
    img.placement(1, 0, 0, 300, 200).text("doc", 256).text("/x/doc.zmd", 260);
    img.u8(1).u8(2).u8(3);  // a truncated last record is ignored
    WorkspaceData w;
    w.settings.delayBetweenPolls = 55;
    w.settings.echo = 1;
    ASSERT_EQ(DecodeWorkspace(img.bytes, &w), WorkspaceReadResult::kOk) << version;
    EXPECT_EQ(w.settings.port, 1);
    EXPECT_EQ(w.settings.baudIndex, 8);
    EXPECT_EQ(w.settings.timeout, 300);
    EXPECT_EQ(w.settings.servicePort, 503);
    EXPECT_EQ(w.settings.ipAddress, "192.168.0.9");
    EXPECT_EQ(w.settings.delayBetweenPolls, 55);
    EXPECT_EQ(w.settings.echo, 1);
    EXPECT_EQ(w.mainPlacement.right, 3);
    ASSERT_EQ(w.documents.size(), 1u);
    EXPECT_EQ(w.documents[0].path, "/x/doc.zmd");
  }
}

TEST(WorkspaceFile, VersionRules) {
  for (std::int32_t bad : {0, 3499, 3502, 3550, 3599, 3601, 100000}) {
    Image img;
    img.i32(bad);
    img.bytes.resize(200, 0);
    WorkspaceData w;
    EXPECT_EQ(DecodeWorkspace(img.bytes, &w), WorkspaceReadResult::kFormatError) << bad;
  }
}

TEST(WorkspaceFile, TruncatedHeadChangesNothing) {
  WorkspaceData full;
  full.settings.port = 5;
  auto bytes = EncodeWorkspace(full);
  for (std::size_t cut : {std::size_t{2}, std::size_t{50}, std::size_t{96}, std::size_t{139}}) {
    std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + cut);
    WorkspaceData w;
    EXPECT_EQ(DecodeWorkspace(part, &w), WorkspaceReadResult::kTruncated) << cut;
    EXPECT_EQ(w.settings.port, 0);
  }
}

TEST(WorkspaceFile, ExtensionChecks) {
  EXPECT_TRUE(HasWorkspaceExtension("/a/b/resume.zmw"));
  EXPECT_TRUE(HasWorkspaceExtension("RESUME.ZMW"));
  EXPECT_FALSE(HasWorkspaceExtension("/a.zmw/resume.txt"));
  EXPECT_FALSE(HasWorkspaceExtension("resume"));
  EXPECT_FALSE(HasWorkspaceExtension("resume.zmd"));
  EXPECT_TRUE(LooksLikeWorkspace("/a/x.ZMW"));
  EXPECT_FALSE(LooksLikeWorkspace("/a/x.zmd"));
}

TEST(PollDocumentFile, OtherOrdersAndMapsLiveInABlockOlderVersionsNeverRead) {
  PollDocumentData d;
  d.displayFormat = valuefmt::kUnsignedLongBadc;
  d.registerMap = "/maps/pump.csv";
  PollDocumentData classic = d;
  classic.displayFormat = valuefmt::kLongInverse;
  classic.registerMap.clear();
  const auto bytes = EncodePollDocument(d);
  const auto older = EncodePollDocument(classic);
  // An older reader stops after the placement: it finds the same bytes as a
  // Long Inverse document, the fallback with the same word order.
  ASSERT_GT(bytes.size(), older.size());
  EXPECT_TRUE(std::equal(older.begin(), older.end(), bytes.begin()));
  EXPECT_LE(bytes.size(), kMaxPollDocumentFileSize);
  PollDocumentData back;
  ASSERT_EQ(DecodePollDocument(bytes, &back), DocumentReadResult::kOk);
  EXPECT_EQ(back.displayFormat, valuefmt::kUnsignedLongBadc);
  EXPECT_EQ(back.registerMap, "/maps/pump.csv");
  // A classic document keeps its bytes: no block.
  PollDocumentData plain;
  ASSERT_EQ(DecodePollDocument(older, &plain), DocumentReadResult::kOk);
  EXPECT_EQ(plain.displayFormat, valuefmt::kLongInverse);
  EXPECT_EQ(EncodePollDocument(plain), older);
  // A damaged block is ignored as an older version ignores it.
  auto cut = bytes;
  cut.resize(cut.size() - 3);
  PollDocumentData damaged;
  ASSERT_EQ(DecodePollDocument(cut, &damaged), DocumentReadResult::kOk);
  EXPECT_EQ(damaged.displayFormat, valuefmt::kLongInverse);
}
