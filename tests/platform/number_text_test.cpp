#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/exceptions.h"

namespace qzt {
namespace {

TEST(NumberText, FloatToStrUsesFifteenSignificantDigits) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {{0, "0"},         {1.5, "1.5"},          {-2.25, "-2.25"},          {0.1, "0.1"},
               {1e15, "1E15"},   {123456789012345.0, "123456789012345"},          {0.0001, "0.0001"},
               {0.00001, "1E-5"}, {1.0 / 3, "0.333333333333333"}, {-1.5e-7, "-1.5E-7"}, {100, "100"},
               {2.5e20, "2.5E20"}};
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.v), c.text) << c.v;
}

TEST(NumberText, FormatFloatWithOptionalDigits) {
  const char* java = "###############.###############";
  struct Case {
    const char* pattern;
    double v;
    const char* text;
  } cases[] = {{java, 0, ""},          {java, 0.5, ".5"},     {java, 1234.5, "1234.5"},
               {java, -3.25, "-3.25"}, {java, 0.1, ".1"},     {java, 1e-20, ""},
               {"0.00", 1.005, "1.00"}, {"0.00", 2, "2.00"},  {"#,0.#", 7, "7"}};
  for (const auto& c : cases) EXPECT_EQ(FormatFloat(c.pattern, c.v), c.text) << c.pattern << " " << c.v;
}

TEST(NumberText, IntegersFromText) {
  struct Case {
    const char* text;
    bool ok;
    int64_t v;
  } cases[] = {{"12", true, 12},    {" -5", true, -5},       {"+7", true, 7},     {"$FF", true, 255},
               {"0x10", true, 16},  {"12a", false, 0},       {"", false, 0},      {"-", false, 0},
               {"9223372036854775807", true, INT64_MAX},      {"9223372036854775808", false, 0},
               {"-9223372036854775808", true, INT64_MIN},     {"12 ", false, 0}};
  for (const auto& c : cases) {
    int64_t v = 0;
    EXPECT_EQ(TryStrToInt64(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.v) << c.text;
    }
  }
  int32_t i;
  EXPECT_FALSE(TryStrToInt("2147483648", i));
  EXPECT_EQ(StrToInt64Def("abc"), 0);
  try {
    StrToInt("abc");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'abc' is not a valid integer value");
  }
}

TEST(NumberText, CurrencyIsExactToFourDecimals) {
  EXPECT_EQ(StrToCurr("12.5"), 125000);
  EXPECT_EQ(StrToCurr("-0.0001"), -1);
  EXPECT_EQ(StrToCurr("0.00015"), 2);   // half to even
  EXPECT_EQ(StrToCurr("0.00025"), 2);
  EXPECT_EQ(StrToCurr("1.2345678"), 12346);
  EXPECT_EQ(StrToCurr("1e2"), 1000000);
  EXPECT_EQ(CurrToStr(125000), "12.5");
  EXPECT_EQ(CurrToStr(-1), "-0.0001");
  EXPECT_EQ(CurrToStr(30000), "3");
  EXPECT_EQ(CurrToStr(INT64_MIN), "-922337203685477.5808");
  int64_t c;
  EXPECT_FALSE(TryStrToCurr("1.2.3", c));
  EXPECT_FALSE(TryStrToCurr("999999999999999999999", c));
}

TEST(NumberText, FloatsFromTextAndRounding) {
  EXPECT_EQ(StrToFloat(" 1.5e3 "), 1500);
  double d;
  EXPECT_FALSE(TryStrToFloat("1,5", d));
  EXPECT_FALSE(TryStrToFloat("inf", d));
  EXPECT_FALSE(TryStrToFloat("0x10", d));
  EXPECT_EQ(RoundToInt64(2.5), 2);
  EXPECT_EQ(RoundToInt64(3.5), 4);
  EXPECT_EQ(RoundToInt64(-2.5), -2);
  EXPECT_THROW(RoundToInt64(1e30), EConvertError);
  EXPECT_THROW(RoundToInt64(NAN), EConvertError);
}

}  // namespace
}  // namespace qzt
