// The workspace codec and the settings record on hand-made byte images.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "common/archive.h"
#include "slave/core/slave_settings.h"
#include "slave/core/vnw_file.h"

namespace {

std::vector<std::uint8_t> Ints(std::initializer_list<std::int32_t> values) {
  archive::Writer w;
  for (auto v : values) w.int32(v);
  return w.bytes();
}

void Append(std::vector<std::uint8_t>* to, const std::vector<std::uint8_t>& more) {
  to->insert(to->end(), more.begin(), more.end());
}

std::vector<std::uint8_t> Placement(std::int32_t left) {
  return Ints({44, 0, 1, -1, -1, -1, -1, left, 20, left + 300, 220});
}

std::vector<std::uint8_t> Record(std::int32_t left, const char* title, const char* path) {
  std::vector<std::uint8_t> bytes = Placement(left);
  std::vector<std::uint8_t> titleField(256, 0), pathField(260, 0);
  std::memcpy(titleField.data(), title, std::strlen(title));
  std::memcpy(pathField.data(), path, std::strlen(path));
  Append(&bytes, titleField);
  Append(&bytes, pathField);
  return bytes;
}

}  // namespace

TEST(SlaveSettings, DefaultsAndByteLayout) {
  slavesettings::SlaveSettings s;
  archive::Writer w;
  slavesettings::Write(w, s);
  EXPECT_EQ(w.bytes(), Ints({0, 2, 1, 0, 0, 1000, 0, 0, 1, 0, 1, 0, 0}));
  EXPECT_EQ(w.bytes().size(), 52u);
  EXPECT_EQ(slavesettings::FlowControlFlags(s), 4);
  s.dtrDsr = 1;
  s.rtsCts = 1;
  s.rts = 0;
  EXPECT_EQ(slavesettings::FlowControlFlags(s), 3);
}

TEST(SlaveSettings, SanitizeReplacesOutOfRangeFields) {
  slavesettings::SlaveSettings s;
  s.port = 9;
  s.baudRate = 12;
  s.parity = -1;
  s.clrRtsDelay = 11;
  s.uid = 5;
  s.timeout = 77;  // kept: the slave does not use it
  slavesettings::Sanitize(&s);
  EXPECT_EQ(s.port, 0);
  EXPECT_EQ(s.baudRate, 2);
  EXPECT_EQ(s.parity, 0);
  EXPECT_EQ(s.clrRtsDelay, 1);
  EXPECT_EQ(s.uid, 1);
  EXPECT_EQ(s.timeout, 77);
}

TEST(VnwFile, EncodesVersionSettingsPlacementAndRecords) {
  vnw::Workspace ws;
  ws.settings.port = 8;
  ws.settings.connected = 1;
  ws.settings.uid = 1;
  ws.mainPlacement.left = 5;
  ws.documents.push_back({archive::WindowPlacement{}, "Vantor1", "/tmp/a.vnd"});
  ws.documents[0].placement.left = 10;
  ws.documents[0].placement.top = 20;
  ws.documents[0].placement.right = 310;
  ws.documents[0].placement.bottom = 220;
  std::vector<std::uint8_t> bytes = vnw::Encode(ws);
  ASSERT_EQ(bytes.size(), 4u + 52 + 44 + 560);

  std::vector<std::uint8_t> expected = Ints({3000, 8, 2, 1, 0, 0, 1000, 0, 0, 1, 0, 1, 1, 1});
  Append(&expected, Ints({44, 0, 1, -1, -1, -1, -1, 5, 0, 0, 0}));
  Append(&expected, Record(10, "Vantor1", "/tmp/a.vnd"));
  EXPECT_EQ(bytes, expected);
}

TEST(VnwFile, RoundTripKeepsEveryField) {
  vnw::Workspace ws;
  ws.settings = {3, 8, 0, 2, 1, 500, 1, 0, 0, 1, 7, 0, 1};
  ws.mainPlacement = {44, 0, 3, -1, -1, 0, 0, 1, 2, 3, 4};
  for (int i = 0; i < 3; ++i)
    ws.documents.push_back({archive::WindowPlacement{44, 0, 1, -1, -1, -1, -1, i, i, 100 + i, 100 + i},
                            "Doc" + std::to_string(i), "/home/u/d" + std::to_string(i) + ".vnd"});
  vnw::Workspace back;
  ASSERT_EQ(vnw::Decode(vnw::Encode(ws), &back), vnw::DecodeResult::Ok);
  EXPECT_EQ(back.version, 3000);
  EXPECT_EQ(back.settings, ws.settings);
  EXPECT_EQ(back.mainPlacement, ws.mainPlacement);
  EXPECT_EQ(back.documents, ws.documents);
}

TEST(VnwFile, OlderLayoutHasFortyEightByteBlockAndKeepsUid) {
  std::vector<std::uint8_t> bytes = Ints({2000, 8, 4, 1, 2, 1, 1000, 0, 1, 0, 1, 3, 1});
  Append(&bytes, Placement(7));
  Append(&bytes, Record(1, "Vantor1", "/x/one.vnd"));
  Append(&bytes, Record(2, "Vantor2", "/x/two.vnd"));
  vnw::Workspace ws;
  ws.settings.uid = 1;  // the current value survives
  ASSERT_EQ(vnw::Decode(bytes, &ws), vnw::DecodeResult::Ok);
  EXPECT_EQ(ws.version, 2000);
  EXPECT_EQ(ws.settings.port, 8);
  EXPECT_EQ(ws.settings.baudRate, 4);
  EXPECT_EQ(ws.settings.parity, 2);
  EXPECT_EQ(ws.settings.rtsCts, 1);
  EXPECT_EQ(ws.settings.rtuAscii, 1);
  EXPECT_EQ(ws.settings.clrRtsDelay, 3);
  EXPECT_EQ(ws.settings.connected, 1);
  EXPECT_EQ(ws.settings.uid, 1);
  EXPECT_EQ(ws.mainPlacement.left, 7);
  ASSERT_EQ(ws.documents.size(), 2u);
  EXPECT_EQ(ws.documents[1].path, "/x/two.vnd");
  EXPECT_EQ(ws.documents[1].title, "Vantor2");
}

TEST(VnwFile, RefusesUnknownVersionsAndShortHeaders) {
  vnw::Workspace ws;
  for (std::int32_t version : {0, 1999, 2001, 2999, 3001, 3600}) {
    std::vector<std::uint8_t> bytes = Ints({version});
    Append(&bytes, std::vector<std::uint8_t>(96, 0));
    EXPECT_EQ(vnw::Decode(bytes, &ws), vnw::DecodeResult::FormatError) << version;
  }
  ws.settings.port = 4;
  std::vector<std::uint8_t> shortBlock = Ints({3000, 8, 2});
  EXPECT_EQ(vnw::Decode(shortBlock, &ws), vnw::DecodeResult::Truncated);
  std::vector<std::uint8_t> shortPlacement = Ints({3000, 8, 2, 1, 0, 0, 1000, 0, 0, 1, 0, 1, 0, 0, 44, 0});
  EXPECT_EQ(vnw::Decode(shortPlacement, &ws), vnw::DecodeResult::Truncated);
  EXPECT_EQ(ws.settings.port, 4) << "a truncated file must not change the settings";
  EXPECT_EQ(vnw::Decode(std::vector<std::uint8_t>{}, &ws), vnw::DecodeResult::Truncated);
}

TEST(VnwFile, IgnoresATruncatedLastRecordAndCutsLongTexts) {
  vnw::Workspace ws;
  ws.documents.push_back({{}, std::string(300, 't'), std::string(400, 'p')});
  std::vector<std::uint8_t> bytes = vnw::Encode(ws);
  bytes.resize(bytes.size() + 559, 0x41);  // an incomplete second record
  vnw::Workspace back;
  ASSERT_EQ(vnw::Decode(bytes, &back), vnw::DecodeResult::Ok);
  ASSERT_EQ(back.documents.size(), 1u);
  EXPECT_EQ(back.documents[0].title.size(), 255u);
  EXPECT_EQ(back.documents[0].path.size(), 259u);
}

TEST(VnwFile, ExtensionRules) {
  EXPECT_TRUE(vnw::HasWorkspaceExtension("/a/resume.vnw"));
  EXPECT_TRUE(vnw::HasWorkspaceExtension("/a/RESUME.VnW"));
  EXPECT_FALSE(vnw::HasWorkspaceExtension("/a/resume.txt"));
  EXPECT_FALSE(vnw::HasWorkspaceExtension("/a.vnw/resume"));
  EXPECT_FALSE(vnw::HasWorkspaceExtension("/a/resume.vnwx"));
  EXPECT_TRUE(vnw::NamesWorkspace("/a/b.vnw.bak"));
  EXPECT_FALSE(vnw::NamesWorkspace("/a/b.vnd"));
}
