// The .vnd codec: byte-exact images of both layouts, round trips and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "slave/core/vnd_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put32(Bytes* b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b->push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// A file image built by hand, field by field, as the program writes it.
Bytes HandMadeImage(bool withMarker, std::int32_t table, const std::string& face) {
  Bytes b;
  if (withMarker) Put32(&b, 2000);
  Put32(&b, 123);  // address
  Put32(&b, static_cast<std::uint32_t>(table));
  Put32(&b, 20);       // length
  Put32(&b, 17);       // slave id
  Put32(&b, 5);        // display format
  Put32(&b, 0);        // one based
  Put32(&b, 0x0000FF); // text colour
  Put32(&b, 0xFFFFFF); // reserved colour
  Put32(&b, static_cast<std::uint32_t>(-13));  // height
  Put32(&b, 0);                                // width
  Put32(&b, 0);                                // escapement
  Put32(&b, 0);                                // orientation
  Put32(&b, 700);                              // weight
  for (std::uint8_t v : {1, 0, 0, 0, 4, 0, 2, 33}) b.push_back(v);
  b.push_back(static_cast<std::uint8_t>(face.size()));
  b.insert(b.end(), face.begin(), face.end());
  for (int i = 0; i < 4096; ++i) Put32(&b, i == 7 ? 1u : i == 4095 ? 0x80000001u : 0u);
  for (int i = 0; i < 4096; ++i) b.push_back(static_cast<std::uint8_t>(i * 7));
  if (withMarker)
    for (std::int32_t v : {44, 0, 3, -1, -1, -8, -30, 10, 20, 630, 420}) Put32(&b, static_cast<std::uint32_t>(v));
  return b;
}

void ExpectHandMadeFields(const vnd::VndDocument& d) {
  EXPECT_EQ(d.address, 123);
  EXPECT_EQ(d.length, 20);
  EXPECT_EQ(d.slaveId, 17);
  EXPECT_EQ(d.displayFormat, 5);
  EXPECT_EQ(d.oneBased, 0);
  EXPECT_EQ(d.textColor, 0x0000FFu);
  EXPECT_EQ(d.reservedColor, 0xFFFFFFu);
  EXPECT_EQ(d.font.height, -13);
  EXPECT_EQ(d.font.weight, 700);
  EXPECT_EQ(d.font.italic, 1);
  EXPECT_EQ(d.font.outPrecision, 4);
  EXPECT_EQ(d.font.quality, 2);
  EXPECT_EQ(d.font.pitchAndFamily, 33);
  EXPECT_EQ(d.autoChangeFlags[7], 1u);
  EXPECT_EQ(d.autoChangeFlags[4095], 0x80000001u);
  EXPECT_EQ(d.autoChangeFlags[8], 0u);
  EXPECT_EQ(d.valueImage[1], 7);
  EXPECT_EQ(d.valueImage[4095], static_cast<std::uint8_t>(4095 * 7));
}

TEST(VndFile, CurrentLayoutIsByteExact) {
  const Bytes image = HandMadeImage(true, 3, "Courier New");
  ASSERT_EQ(image.size(), 20600u);
  vnd::VndDocument d;
  ASSERT_EQ(vnd::DecodeVnd(image, &d), vnd::VndResult::Ok);
  EXPECT_EQ(d.table, 3);
  EXPECT_EQ(d.font.faceName, "Courier New");
  ExpectHandMadeFields(d);
  ASSERT_TRUE(d.hasPlacement);
  EXPECT_EQ(d.placement.showCommand, 3);
  EXPECT_EQ(d.placement.maxX, -8);
  EXPECT_EQ(d.placement.right, 630);
  EXPECT_EQ(d.placement.bottom, 420);
  EXPECT_EQ(vnd::EncodeVnd(d), image) << "decode then encode gives the same bytes";
}

TEST(VndFile, DefaultDocumentSize) {
  vnd::VndDocument d;
  EXPECT_EQ(vnd::EncodeVnd(d).size(), 20600u);
  d.font.faceName = "";
  EXPECT_EQ(vnd::EncodeVnd(d).size(), vnd::kFileSizeWithoutFaceName);
  d.font.faceName = std::string(300, 'x');
  EXPECT_EQ(vnd::EncodeVnd(d).size(), vnd::kFileSizeWithoutFaceName + 254) << "one length byte at most";
}

TEST(VndFile, OlderLayoutWithoutMarkerAndPlacement) {
  const Bytes image = HandMadeImage(false, 2, "Arial");
  ASSERT_EQ(image.size(), 20541u + 5u);
  vnd::VndDocument d;
  ASSERT_EQ(vnd::DecodeVnd(image, &d), vnd::VndResult::Ok);
  EXPECT_EQ(d.table, 3) << "the older layout's list index 2 is holding registers";
  EXPECT_EQ(d.font.faceName, "Arial");
  ExpectHandMadeFields(d);
  EXPECT_FALSE(d.hasPlacement);
  EXPECT_EQ(d.placement, archive::WindowPlacement{}) << "default placement";

  // Every list index 0..3 maps to a table the engine accepts.
  for (std::int32_t index = 0; index <= 3; ++index) {
    vnd::VndDocument older;
    ASSERT_EQ(vnd::DecodeVnd(HandMadeImage(false, index, "Arial"), &older), vnd::VndResult::Ok);
    EXPECT_EQ(older.table, index + 1);
    const Bytes resaved = vnd::EncodeVnd(older);
    EXPECT_EQ(resaved.size(), 20546u + 4u + 44u) << "saved again in the current layout";
    vnd::VndDocument reloaded;
    ASSERT_EQ(vnd::DecodeVnd(resaved, &reloaded), vnd::VndResult::Ok);
    EXPECT_EQ(reloaded.table, index + 1) << "the current layout keeps the table as it is";
  }

  for (std::int32_t table : {-1, 4, 2000 - 1}) {
    vnd::VndDocument untouched;
    untouched.slaveId = 99;
    EXPECT_EQ(vnd::DecodeVnd(HandMadeImage(false, table, "Arial"), &untouched), vnd::VndResult::FormatError)
        << table;
    EXPECT_EQ(untouched.slaveId, 99) << "a failed load changes nothing";
  }
  EXPECT_STREQ(vnd::VndResultText(vnd::VndResult::FormatError), "File format error");
}

TEST(VndFile, ShortFilesAreTruncatedNotGarbage) {
  const Bytes image = HandMadeImage(true, 3, "Courier New");
  for (std::size_t size : {std::size_t{0}, std::size_t{4}, std::size_t{11}, std::size_t{12}, std::size_t{64},
                           std::size_t{76}, std::size_t{20555}, image.size() - 44, image.size() - 1}) {
    vnd::VndDocument d;
    EXPECT_EQ(vnd::DecodeVnd(image.data(), size, &d), vnd::VndResult::Truncated) << size;
  }
  EXPECT_STRNE(vnd::VndResultText(vnd::VndResult::Truncated), vnd::VndResultText(vnd::VndResult::FormatError));
  const Bytes older = HandMadeImage(false, 1, "Arial");
  vnd::VndDocument d;
  EXPECT_EQ(vnd::DecodeVnd(older.data(), older.size() - 1, &d), vnd::VndResult::Truncated);
}

// Fields that become engine arguments and label arithmetic are checked by the
// codec, so the window, headless and workspaces all refuse the same files.
TEST(VndFile, DefinitionsOutOfRangeAreRefusedAsUnreadable) {
  const Bytes good = HandMadeImage(true, 3, "Courier New");
  struct Row {
    std::size_t offset;  // byte offset of the field after the marker
    std::uint32_t value;
  } rows[] = {{4, 0x7FFFFFFFu}, {4, 65536}, {8, 0}, {8, 5}, {12, 65536}, {12, 0xFFFFFFFFu}, {16, 256}};
  for (const Row& row : rows) {
    Bytes image = good;
    for (int i = 0; i < 4; ++i) image[row.offset + i] = static_cast<std::uint8_t>(row.value >> (8 * i));
    vnd::VndDocument d;
    EXPECT_EQ(vnd::DecodeVnd(image, &d), vnd::VndResult::Truncated) << row.offset << "=" << row.value;
    EXPECT_EQ(d, vnd::VndDocument{});
  }
  vnd::VndDocument d;
  EXPECT_EQ(vnd::DecodeVnd(good, &d), vnd::VndResult::Ok);

  // The loader names the same text, and takes only regular files of a fitting size.
  char pattern[] = "/tmp/vnd_range_XXXXXX";
  const int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  Bytes far = good;
  far[4] = far[5] = far[6] = 0xFF;
  far[7] = 0x7F;
  ASSERT_EQ(write(fd, far.data(), far.size()), static_cast<ssize_t>(far.size()));
  std::string error;
  EXPECT_FALSE(vnd::LoadVndFile(pattern, &d, &error));
  EXPECT_EQ(error, vnd::VndResultText(vnd::VndResult::Truncated));
  Bytes padding(vnd::kMaxFileSize, 0);
  ASSERT_EQ(write(fd, padding.data(), padding.size()), static_cast<ssize_t>(padding.size()));
  close(fd);
  EXPECT_FALSE(vnd::LoadVndFile(pattern, &d, &error));
  EXPECT_EQ(error, archive::kFileTooLargeText);
  std::remove(pattern);
  EXPECT_FALSE(vnd::LoadVndFile("/dev/zero", &d, &error));
  EXPECT_EQ(error, archive::kNotRegularFileText);
}

TEST(VndFile, SaveAndLoadRoundTrip) {
  vnd::VndDocument d;
  d.address = 65535;
  d.table = 1;
  d.length = 4096;
  d.slaveId = 255;
  d.displayFormat = 9;
  d.font.faceName = "DejaVu Sans Mono";
  d.autoChangeFlags[0] = 3;
  d.valueImage[4095] = 1;
  d.placement.left = -100;
  d.hasPlacement = true;
  char pattern[] = "/tmp/vnd_test_XXXXXX";
  const int fd = mkstemp(pattern);
  ASSERT_GE(fd, 0);
  close(fd);
  std::string error;
  ASSERT_TRUE(vnd::SaveVndFile(pattern, d, &error)) << error;
  vnd::VndDocument loaded;
  ASSERT_TRUE(vnd::LoadVndFile(pattern, &loaded, &error)) << error;
  EXPECT_EQ(loaded, d);
  std::remove(pattern);
  EXPECT_FALSE(vnd::LoadVndFile(pattern, &loaded, &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
