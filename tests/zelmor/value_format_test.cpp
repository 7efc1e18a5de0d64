#include "common/value_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "register_image.h"

using namespace valuefmt;

namespace {

std::string Cell(const std::vector<std::uint8_t>& image, int format, int index, int length,
                 TextForm form = TextForm::kMasterScreen, bool inverse = false, int function = 3) {
  return CellValueText(image.data(), image.size(), function, format, index, length, form, inverse);
}

}  // namespace

TEST(ValueFormat, AllOnesRegisterInTheFourIntegerFormats) {
  auto image = RegisterImage({0xFFFF});
  EXPECT_EQ(Cell(image, kSigned, 0, 1), "    -1");
  EXPECT_EQ(Cell(image, kUnsigned, 0, 1), "65535");
  EXPECT_EQ(Cell(image, kHex, 0, 1), "0xFFFF");
  EXPECT_EQ(Cell(image, kBinary, 0, 1), "1111111111111111");
  EXPECT_EQ(Cell(image, kSigned, 0, 1, TextForm::kMasterLog), "-1");
  EXPECT_EQ(Cell(image, kUnsigned, 0, 1, TextForm::kMasterLog), "65535");
}

TEST(ValueFormat, RegisterTextsOfOrdinaryValues) {
  EXPECT_EQ(RegisterText(kSigned, 0x8000, TextForm::kMasterScreen), "-32768");
  EXPECT_EQ(RegisterText(kSigned, 5, TextForm::kMasterScreen), "     5");
  EXPECT_EQ(RegisterText(kUnsigned, 5, TextForm::kMasterScreen), "    5");
  EXPECT_EQ(RegisterText(kHex, 0xab, TextForm::kMasterScreen), "0x00AB");
  EXPECT_EQ(RegisterText(kBinary, 0x8001, TextForm::kMasterLog), "1000000000000001");
  EXPECT_EQ(RegisterText(kSigned, 5, TextForm::kSlaveScreen), "     5");
}

TEST(ValueFormat, FloatWordOrderOfPlainAndInverse) {
  // The document already holds native order: for Float the caller copied words
  // 0x0000 (low), 0x3F80 (high); for Float Inverse the copy swapped them, so the
  // same register pair arrives as the pattern 0x00003F80.
  auto plain = RegisterImage({0x0000, 0x3F80});
  EXPECT_EQ(Cell(plain, kFloat, 0, 2), "       1.000000");
  auto swappedByCopy = RegisterImage({0x3F80, 0x0000});
  EXPECT_EQ(Cell(swappedByCopy, kFloatInverse, 0, 2), "       0.000000");
  // The slave view applies the word order itself on the raw register image.
  EXPECT_EQ(Cell(plain, kFloatInverse, 0, 2, TextForm::kSlaveScreen, true), "         0.0000");
  EXPECT_EQ(Cell(swappedByCopy, kFloatInverse, 0, 2, TextForm::kSlaveScreen, true), "         1.0000");
  EXPECT_EQ(Cell(plain, kFloat, 0, 2, TextForm::kMasterLog), "1.000000");
}

TEST(ValueFormat, FloatSwitchesToExponentAtSixteenCharacters) {
  EXPECT_EQ(FloatText(1e10f, TextForm::kMasterScreen), "1.0000000e+10");
  // 15 characters stay fixed; 16 switch.
  EXPECT_EQ(FloatText(12345678.0f, TextForm::kMasterScreen), "12345678.000000");
  EXPECT_EQ(FloatText(-12345678.0f, TextForm::kMasterScreen), "-1.2345678e+07");
  EXPECT_EQ(FloatText(1e10f, TextForm::kMasterLog), "10000000000.000000");
  EXPECT_EQ(FloatText(1e10f, TextForm::kSlaveScreen), "          1E+10");
  EXPECT_EQ(FloatText(1.5f, TextForm::kSlaveScreen), "         1.5000");
}

TEST(ValueFormat, DoubleTextsAndExponentSwitch) {
  EXPECT_EQ(DoubleText(1.0, TextForm::kMasterScreen), "     1.0000000000");
  EXPECT_EQ(DoubleText(1e10, TextForm::kMasterScreen), "1.000000000e+10");
  EXPECT_EQ(DoubleText(123456.0, TextForm::kMasterScreen), "123456.0000000000");  // 17 chars stays fixed
  EXPECT_EQ(DoubleText(-123456.0, TextForm::kMasterScreen), "-1.234560000e+05");  // 18 switches
  EXPECT_EQ(DoubleText(2.5, TextForm::kMasterLog), "2.5000000000");
  EXPECT_EQ(DoubleText(2.5, TextForm::kSlaveScreen), "         2.500000");
  EXPECT_EQ(DoubleText(1e12, TextForm::kSlaveScreen), "            1E+12");
  // Huge values must not overflow the text buffer.
  EXPECT_EQ(DoubleText(1.7e308, TextForm::kMasterScreen), "1.700000000e+308");
  EXPECT_GT(DoubleText(1.7e308, TextForm::kMasterLog).size(), 300u);
}

TEST(ValueFormat, DoubleFromFourRegistersInBothOrders) {
  // 1.0 = 0x3FF0000000000000: lowest word first for Double.
  auto plain = RegisterImage({0, 0, 0, 0x3FF0});
  EXPECT_EQ(Cell(plain, kDouble, 0, 4, TextForm::kMasterLog), "1.0000000000");
  auto reversed = RegisterImage({0x3FF0, 0, 0, 0});
  EXPECT_EQ(Cell(reversed, kDoubleInverse, 0, 4, TextForm::kSlaveScreen, true), "         1.000000");
  EXPECT_EQ(Compose64(reversed.data(), 0, true), 0x3FF0000000000000ull);
  auto mixed = RegisterImage({0x1111, 0x2222, 0x3333, 0x4444});
  EXPECT_EQ(Compose64(mixed.data(), 0, false), 0x4444333322221111ull);
  EXPECT_EQ(Compose64(mixed.data(), 0, true), 0x1111222233334444ull);
}

TEST(ValueFormat, LongTexts) {
  auto image = RegisterImage({0xFFFE, 0xFFFF, 0x0001, 0x0002});
  EXPECT_EQ(Cell(image, kLong, 0, 4), "        -2");
  EXPECT_EQ(Cell(image, kLong, 2, 4, TextForm::kMasterLog), "131073");
  EXPECT_EQ(Cell(image, kLongInverse, 2, 4, TextForm::kSlaveScreen, true), "     65538");
  EXPECT_EQ(LongText(-2147483647 - 1, TextForm::kMasterScreen), "-2147483648");
}

TEST(ValueFormat, WhichCellsCarryValues) {
  // Length 10 float: even cells only.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(CellHasValue(3, kFloat, i, 10), i % 2 == 0) << i;
  // Length 9 float: index 8 has only one register left.
  EXPECT_FALSE(CellHasValue(3, kFloat, 8, 9));
  EXPECT_TRUE(CellHasValue(3, kLongInverse, 6, 9));
  // Length 10 double: 0 and 4 only; 8 has two registers left.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(CellHasValue(4, kDouble, i, 10), i == 0 || i == 4) << i;
  // Coils ignore the format.
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(CellHasValue(1, kDouble, i, 10));
  EXPECT_FALSE(CellHasValue(3, kSigned, 10, 10));
  EXPECT_FALSE(CellHasValue(3, kSigned, -1, 10));
  auto image = RegisterImage({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  EXPECT_EQ(Cell(image, kFloat, 1, 10), "");
  EXPECT_EQ(Cell(image, kDouble, 8, 10), "");
}

TEST(ValueFormat, CoilsShowOneDigitWhateverTheFormat) {
  std::vector<std::uint8_t> bits = {1, 0, 1};
  EXPECT_EQ(Cell(bits, kFloat, 0, 3, TextForm::kMasterScreen, false, 1), "1");
  EXPECT_EQ(Cell(bits, kHex, 1, 3, TextForm::kMasterLog, false, 2), "0");
  EXPECT_STREQ(WidthTemplate(1, kDouble), "00000 = 0XXX");
}

TEST(ValueFormat, ShortImagesAreNeverReadPastTheirEnd) {
  auto image = RegisterImage({1, 2, 3});
  EXPECT_EQ(Cell(image, kDouble, 0, 8), "");  // claims 8 items, holds 3
  EXPECT_EQ(Cell(image, kSigned, 3, 8), "");
  std::vector<std::uint8_t> bits = {1};
  EXPECT_EQ(Cell(bits, kSigned, 1, 5, TextForm::kMasterScreen, false, 1), "");
}

TEST(ValueFormat, AddressLabels) {
  // Defaults: holding registers, PLC addresses.
  EXPECT_EQ(AddressLabel(3, true, 0, 10, 0), "40001 = ");
  EXPECT_EQ(AddressLabel(4, true, 0, 10, 9), "30010 = ");
  EXPECT_EQ(AddressLabel(1, true, 99, 10, 0), "00100 = ");
  EXPECT_EQ(AddressLabel(2, true, 0, 1, 0), "10001 = ");
  EXPECT_EQ(AddressLabel(3, false, 0, 10, 0), "00000 = ");
  EXPECT_EQ(AddressLabel(1, false, 65535, 1, 0), "65535 = ");
  // Address 9995 length 10 reaches 10005: every cell takes the wide form.
  EXPECT_TRUE(UsesWideLabel(true, 9995, 10));
  EXPECT_EQ(AddressLabel(3, true, 9995, 10, 0), "409996 = ");
  EXPECT_EQ(AddressLabel(3, true, 9995, 10, 9), "410005 = ");
  // Address + length 9999 exactly stays narrow; 10000 goes wide.
  EXPECT_FALSE(UsesWideLabel(true, 9989, 10));
  EXPECT_EQ(AddressLabel(3, true, 9989, 10, 9), "49999 = ");
  EXPECT_TRUE(UsesWideLabel(true, 9990, 10));
  EXPECT_FALSE(UsesWideLabel(false, 9995, 10));
  EXPECT_EQ(FirstAddressText(3, true, 0, 10), "40001");
  EXPECT_EQ(FirstAddressText(3, true, 19999, 10), "420000");
  EXPECT_EQ(FirstAddressText(4, false, 7, 10), "00007");
}

TEST(ValueFormat, FormatNamesRoundTrip) {
  for (int f = 0; f < kFormatCount; ++f) EXPECT_EQ(FormatFromName(FormatName(f)), f);
  EXPECT_EQ(FormatFromName("Float_Inverse"), kFloatInverse);
  EXPECT_EQ(FormatFromName("octal"), -1);
  EXPECT_EQ(RegistersPerValue(kDoubleInverse), 4);
  EXPECT_STREQ(WidthTemplate(3, kBinary), "00000 = 0000000000000000XXX");
}

TEST(ValueFormat, OtherOrdersReadTheSameValueFromTheirRegisterPatterns) {
  // 0x3F800000 (1.0f) and 0x12345678 as the registers of every order, as the slave
  // view reads them (register order undone here).
  struct Case {
    int format;
    std::vector<std::uint16_t> registers;
    const char* text;
  };
  const Case cases[] = {
      {kFloatBadc, {0x803F, 0x0000}, "         1.0000"},
      {kFloatDcba, {0x0000, 0x803F}, "         1.0000"},
      {kLongBadc, {0x3412, 0x7856}, " 305419896"},
      {kLongDcba, {0x7856, 0x3412}, " 305419896"},
      {kUnsignedLongAbcd, {0xFFFF, 0xFFFE}, "4294967294"},
      {kUnsignedLongCdab, {0xFFFE, 0xFFFF}, "4294967294"},
      {kUnsignedLongBadc, {0xFFFF, 0xFEFF}, "4294967294"},
      {kUnsignedLongDcba, {0xFEFF, 0xFFFF}, "4294967294"},
      // 1.0 = 0x3FF0000000000000
      {kDoubleBadc, {0xF03F, 0x0000, 0x0000, 0x0000}, "         1.000000"},
      {kDoubleDcba, {0x0000, 0x0000, 0x0000, 0xF03F}, "         1.000000"},
  };
  for (const Case& c : cases) {
    auto image = RegisterImage(c.registers);
    const int n = static_cast<int>(c.registers.size());
    EXPECT_EQ(Cell(image, c.format, 0, n, TextForm::kSlaveScreen, true), c.text) << FormatName(c.format);
    double number = 0;
    ASSERT_TRUE(CellNumber(image.data(), image.size(), 3, c.format, 0, n, true, &number));
    // The master's document holds native order: the same value after a CDAB split.
    std::uint16_t native[4];
    wordorder::Split(wordorder::Join(c.registers.data(), n, OrderOf(c.format)), n, wordorder::Order::kCDAB, native);
    auto nativeImage = RegisterImage(std::vector<std::uint16_t>(native, native + n));
    double nativeNumber = 0;
    ASSERT_TRUE(CellNumber(nativeImage.data(), nativeImage.size(), 3, c.format, 0, n, false, &nativeNumber));
    EXPECT_EQ(number, nativeNumber) << FormatName(c.format);
  }
  EXPECT_EQ(UnsignedLongText(4294967295u, TextForm::kMasterLog), "4294967295");
}

TEST(ValueFormat, OtherOrderNamesKindsAndTheirClassicFallbacks) {
  for (int f = 0; f < kAllFormatCount; ++f) {
    EXPECT_EQ(FormatFromName(FormatName(f)), f);
    const int classic = ClassicFormat(f);
    ASSERT_TRUE(classic >= 0 && classic < kFormatCount);
    EXPECT_EQ(RegistersPerValue(classic), RegistersPerValue(f)) << FormatName(f);
    EXPECT_EQ(wordorder::HighWordFirst(OrderOf(classic)), wordorder::HighWordFirst(OrderOf(f))) << FormatName(f);
    if (f < kFormatCount) {
      EXPECT_EQ(classic, f);
    }
  }
  EXPECT_EQ(FormatFromName("float-abcd"), kFloatInverse);
  EXPECT_EQ(FormatFromName("DOUBLE-CDAB"), kDouble);
  EXPECT_EQ(FormatFromName("long_abcd"), kLongInverse);
  EXPECT_EQ(FormatFromName("unsigned-long-dcba"), kUnsignedLongDcba);
  EXPECT_EQ(FormatFromName("signed-abcd"), -1);
  EXPECT_EQ(FormatOf(ValueKind::kUnsignedLong, wordorder::Order::kBADC), kUnsignedLongBadc);
  EXPECT_EQ(ClassicFormat(kUnsignedLongCdab), kLong);
  EXPECT_EQ(ClassicFormat(kDoubleBadc), kDoubleInverse);
  EXPECT_FALSE(IsValidFormat(kAllFormatCount));
  EXPECT_STREQ(WidthTemplate(3, kUnsignedLongAbcd), WidthTemplate(3, kLong));
}
