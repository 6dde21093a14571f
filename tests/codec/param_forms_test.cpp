#include <gtest/gtest.h>

#include "codec/param_list.h"
#include "platform/byte_cursor.h"

namespace qzt {
namespace {

std::string I32(int32_t v) {
  std::string s;
  PutInt32(s, v);
  return s;
}

// One item of every kind the forms distinguish, plus a null one.
void FillSample(TVornParamList& l) {
  l.NewParam(ftString, "Name", ptInput).SetAsString("\xC7\xD1\xB1\xDB text");
  l.Add().SetAsInteger(-123);
  l.Add().SetAsSmallInt(7);
  l.Add().SetAsBoolean(true);
  l.Add().SetAsFloat(2.75);
  l.Add().SetAsDate(EncodeDate(2024, 1, 15));
  l.Add().SetAsTime(EncodeTime(10, 0, 0, 0));
  l.Add().SetAsDateTime(EncodeDate(2024, 1, 15) + EncodeTime(23, 59, 58, 0));
  l.Add().SetAsBlob(std::string("\0\1\2\xFF", 4));
  l.Add().SetAsCurrency(125000);
  l.Add().SetAsLargeInt(-5000000000);
  l.Add().SetAsMemo("memo");
  l.NewParam(ftInteger, "Nothing", ptOutput);
}

std::string Describe(TVornParamList& l) {
  std::string out;
  for (int i = 0; i < l.Count(); ++i) {
    TVornParamItem& it = l.Items(i);
    out += it.Name + "|" + std::to_string(it.DataType) + "|" + std::to_string(it.ParamType) + "|" +
           (it.IsNull() ? "null" : it.AsString()) + "\n";
  }
  return out;
}

TEST(ParamForms, StandardAndTextLinesRoundTripExactly) {
  TVornParamList l;
  FillSample(l);
  l.Add().SetAsSQLTimeStamp({2024, 1, 15, 1, 2, 3, 4});
  l.Add().SetAsFMTBCD(StrToBcd("-1.25"));
  TVornParamList back(l.SaveToString(), 0);
  EXPECT_EQ(back.SaveToString(), l.SaveToString());
  EXPECT_EQ(Describe(back), Describe(l));

  // Text lines hold no CR or LF in a value: the sample without its blob.
  TVornParamList text;
  text.Add().SetAsInteger(1);
  text.Add().SetAsFloat(-0.5);
  text.NewParam(ftString, "S", ptOutput);
  const std::string lines = text.SaveToTextLines();
  TVornParamList fromLines(lines, 1);
  EXPECT_EQ(fromLines.SaveToString(), text.SaveToString());
  TVornParamList fromLf("A\x06" "3\x06" "1\x06" "0\x06" "1\x06" "5\nB\x06" "1\x06" "1\x06" "0\x06" "1\x06" "x", 1);
  EXPECT_EQ(fromLf.Count(), 2);
  EXPECT_EQ(fromLf.Items(1).AsString(), "x");
}

TEST(ParamForms, JavaTextRoundTrip) {
  TVornParamList l;
  FillSample(l);
  TVornParamList back(l.SaveToJavaString(), 2);
  // The JDBC mapping folds some types: smallint stays, blob and memo keep their kinds.
  EXPECT_EQ(Describe(back), Describe(l));
}

TEST(ParamForms, JavaDateRecordCarriesTheInternalLength) {
  TVornParamList l;
  l.NewParam(ftDate, "D", ptInput).SetAsDate(EncodeDate(2024, 1, 15));
  EXPECT_EQ(l.SaveToJavaString(), I32(21) + "D\x06" "91\x06" "1\x06" "0\x06" "9\x06" "2024-01-15");

  TVornParamList f;
  f.Add().SetAsFloat(0.5);
  f.Items(0).Name = "F";
  EXPECT_EQ(f.SaveToJavaString().substr(4), "F\x06" "6\x06" "1\x06" "0\x06" "9\x06" ".5");
}

TEST(ParamForms, JavaReaderTakesClientValues) {
  auto rec = [](const std::string& text) { return I32(static_cast<int32_t>(text.size())) + text; };
  TVornParamList l(rec("D\x06" "91\x06" "1\x06" "0\x06" "10\x06" "2024-02-30") +
                       rec("T\x06" "92\x06" "1\x06" "0\x06" "8\x06" "07:08:09") +
                       rec("S\x06" "12\x06" "1\x06" "1\x06" "3\x06" "abc") +
                       rec("B\x06" "-7\x06" "1\x06" "0\x06" "4\x06" "TRUE") +
                       rec("X\x06" "-4\x06" "1\x06" "0\x06" "2\x06" "\x06\x06"),
                   2);
  ASSERT_EQ(l.Count(), 5);
  EXPECT_EQ(l.Items(0).AsDateTime(), 0);  // an impossible date leaves 0
  EXPECT_FALSE(l.Items(0).IsNull());
  EXPECT_EQ(l.Items(1).AsDateTime(), EncodeTime(7, 8, 9, 0));
  EXPECT_TRUE(l.Items(2).IsNull());
  EXPECT_TRUE(l.Items(3).AsBoolean());
  EXPECT_EQ(l.Items(4).AsString(), "\x06\x06");  // blob bytes taken as they are
}

TEST(ParamForms, PdaBinaryBytes) {
  TVornParamList l;
  l.NewParam(ftInteger, "N", ptInput).SetAsInteger(258);
  l.NewParam(ftString, "S", ptOutput).SetAsString(std::string("ab\0cd", 5));
  l.NewParam(ftDateTime, "T", ptInput).SetAsDateTime(2.5);
  l.NewParam(ftMemo, "M", ptInput).SetAsMemo("lost");
  std::string expected = I32(13) + std::string("N\0\x03\x01\x00", 5) + I32(4) + I32(258);
  expected += I32(12) + std::string("S\0\x0A\x02\x00", 5) + I32(3) + std::string("ab\0", 3);
  expected += I32(17) + std::string("T\0\x09\x01\x00", 5) + I32(8) + I32(2) + I32(43200000);
  expected += I32(9) + std::string("M\0\x00\x01\x00", 5) + I32(0);
  EXPECT_EQ(l.SaveToPdaString(), expected);
}

TEST(ParamForms, PdaRoundTrips) {
  TVornParamList l;
  l.Add().SetAsInteger(-9);
  l.Add().SetAsBoolean(true);
  l.Add().SetAsFloat(1.25);
  l.Add().SetAsDate(EncodeDate(2024, 1, 15));
  l.Add().SetAsTime(EncodeTime(10, 0, 0, 0));  // milliseconds are rounded: stays 10:00:00
  l.Add().SetAsDateTime(EncodeDate(2024, 1, 15) + EncodeTime(23, 59, 58, 0));
  l.Add().SetAsString("text");
  l.Add().SetAsBlob(std::string("\0\xFF", 2));
  l.NewParam(ftInteger, "Null", ptOutput);
  const std::string expected = Describe(l);
  for (int form : {3, 4, 5, 9}) {
    TVornParamList back(l.SaveToPdaString(), form);
    EXPECT_EQ(Describe(back), expected) << form;
  }
  TVornParamList text(l.SaveToPdaTextString(), 6);
  EXPECT_EQ(Describe(text), expected);
  // Smallint codes read back as integers.
  TVornParamList s;
  s.Add().SetAsSmallInt(4);
  EXPECT_EQ(TVornParamList(s.SaveToPdaString(), 3).Items(0).DataType, ftInteger);
}

TEST(ParamForms, MalformedInputRaisesAndAddsNothing) {
  const std::string good = I32(11) + "A\x06" "3\x06" "1\x06" "0\x06" "1\x06" "5";
  struct Case {
    const char* what;
    int form;
    std::string text;
  } cases[] = {
      {"length runs past the end", 0, I32(12) + "A\x06" "3\x06" "1\x06" "0\x06" "1\x06" "5"},
      {"negative length", 0, I32(-1) + "x"},
      {"length cut short", 0, good + "\x01\x00"},
      {"value longer than its item", 0, I32(11) + "A\x06" "3\x06" "1\x06" "0\x06" "2\x06" "5"},
      {"negative value length", 0, I32(12) + "A\x06" "3\x06" "1\x06" "0\x06" "-1\x06" "5"},
      {"text line value too long", 1, "A\x06" "3\x06" "1\x06" "0\x06" "9\x06" "5"},
      {"java length past the end", 2, I32(100) + "A"},
      {"pda record past the end", 3, I32(50) + std::string("N\0\x03\x01\x00", 5)},
      {"pda name unterminated", 3, I32(3) + "abc"},
      {"pda value past its record", 4, I32(9) + std::string("N\0\x03\x01\x00", 5) + I32(4)},
      {"pda negative size", 5, I32(9) + std::string("N\0\x03\x01\x00", 5) + I32(-4)},
      {"pda text value too long", 6, I32(11) + "A\x06" "3\x06" "1\x06" "0\x06" "8\x06" "5"},
  };
  for (const auto& c : cases) {
    TVornParamList l(good, 0);
    EXPECT_THROW(l.LoadFromString(c.text, c.form), EVornParamException) << c.what;
    EXPECT_EQ(l.Count(), 1) << c.what;
  }
}

TEST(ParamForms, LenientFieldsInsideAnItem) {
  // Missing separators end fields at the end of the item; non-numbers and out-of-range types read 0.
  const std::string text = "OnlyName";
  TVornParamList l(I32(static_cast<int32_t>(text.size())) + text, 0);
  ASSERT_EQ(l.Count(), 1);
  EXPECT_EQ(l.Items(0).Name, "OnlyName");
  EXPECT_EQ(l.Items(0).DataType, ftUnknown);
  EXPECT_FALSE(l.Items(0).IsNull());
  const std::string odd = "X\x06" "999\x06" "zz\x06" "0\x06" "0\x06";
  TVornParamList m(I32(static_cast<int32_t>(odd.size())) + odd, 0);
  EXPECT_EQ(m.Items(0).DataType, ftUnknown);
  EXPECT_EQ(m.Items(0).ParamType, ptUnknown);
  EXPECT_EQ(TVornParamList("", 0).Count(), 0);
}

}  // namespace
}  // namespace qzt
