#include "platform/date_time.h"

#include <gtest/gtest.h>

#include "platform/exceptions.h"

namespace qzt {
namespace {

TEST(DateTime, EncodesAndDecodesAroundTheEpoch) {
  struct Case {
    int y, m, d;
    double serial;
  } cases[] = {{1899, 12, 30, 0},   {1899, 12, 31, 1},      {1900, 3, 1, 61},  {2000, 1, 1, 36526},
               {2024, 2, 29, 45351}, {1, 1, 1, -693593},     {9999, 12, 31, 2958465}, {1899, 12, 29, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
    int y, m, d;
    DecodeDate(c.serial, y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
  }
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

TEST(DateTime, NegativeValuesKeepTheTimeOfDayPositive) {
  // -1.25 is 1899-12-29 06:00: the date part truncates, the time is the absolute fraction.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", -1.25), "1899-12-29 06:00:00");
  // Rounding to the millisecond may reach the next midnight.
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", 1.0 - 1e-10), "1899-12-31 00:00:00.000");
}

TEST(DateTime, FormatMasks) {
  const TDateTime dt = EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 45);
  struct Case {
    const char* mask;
    const char* text;
  } cases[] = {
      {"yyyy-mm-dd", "2024-03-05"},
      {"yy/m/d", "24-3-5"},
      {"hh:nn:ss.zzz", "14:07:09.045"},
      {"hh:mm:ss", "14:07:09"},  // m right after an hour is minutes
      {"YYYY-MM-DD hh:mm:ss", "2024-03-05 14:07:09"},
      {"mmm mmmm ddd dddd", "Mar March Tue Tuesday"},
      {"h:nn am/pm", "2:07 pm"},
      {"h:nn AMPM", "2:07 PM"},
      {"'yyyy' \"dd\" yyyy", "yyyy dd 2024"},
      {"c", "2024-03-05 14:07:09"},
      {"", "2024-03-05 14:07:09"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDateTime(c.mask, dt), c.text) << c.mask;
  EXPECT_EQ(DateTimeToStr(EncodeDate(2024, 3, 5)), "2024-03-05");  // midnight shows no time
  EXPECT_EQ(TimeToStr(0.5), "12:00:00");
}

TEST(DateTime, TextConversions) {
  EXPECT_EQ(StrToDate("2024-03-05"), EncodeDate(2024, 3, 5));
  EXPECT_EQ(StrToTime("14:07"), EncodeTime(14, 7, 0, 0));
  EXPECT_EQ(StrToTime("2:07:09 PM"), EncodeTime(14, 7, 9, 0));
  EXPECT_EQ(StrToDateTime("2024-03-05 14:07:09.5"), EncodeDate(2024, 3, 5) + EncodeTime(14, 7, 9, 5));
  EXPECT_EQ(StrToDateTime("14:07"), EncodeTime(14, 7, 0, 0));
  for (const char* bad : {"", "2024-13-01", "2024/03/05", "2024-03-05x", "25:00", "1:2:3:4"}) {
    TDateTime d;
    EXPECT_FALSE(TryStrToDateTime(bad, d)) << bad;
  }
  try {
    StrToDate("x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "'x' is not a valid date");
  }
}

}  // namespace
}  // namespace qzt
