// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day.
// Encoding, decoding, the format masks of FormatDateTime and the text conversions of the fixed locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qzt {

using TDateTime = double;

inline constexpr int64_t MSecsPerDay = 86400000;

bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);            // EConvertError when impossible
TDateTime EncodeTime(int hour, int min, int sec, int msec);    // EConvertError when impossible
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime dt);  // 1 = Sunday .. 7 = Saturday
TDateTime Now();              // local time, to the millisecond

// Whole days and milliseconds of the day, as the date-time is split for storage:
// days truncated toward zero, milliseconds rounded from the absolute fraction.
void SplitDateTime(TDateTime dt, int64_t& days, int64_t& msecs);

// Mask letters (case-insensitive): c d dd ddd dddd ddddd dddddd m mm mmm mmmm yy yyyy h hh n nn s ss
// z zzz t tt am/pm a/p ampm; "/" and ":" give the date and time separators; quoted text is literal.
// "m" right after an hour means minutes.
std::string FormatDateTime(std::string_view mask, TDateTime dt);
std::string DateToStr(TDateTime dt);      // yyyy-mm-dd
std::string TimeToStr(TDateTime dt);      // hh:nn:ss
std::string DateTimeToStr(TDateTime dt);  // date, then the time unless it is midnight

bool TryStrToDate(std::string_view s, TDateTime& out);
bool TryStrToTime(std::string_view s, TDateTime& out);
bool TryStrToDateTime(std::string_view s, TDateTime& out);
TDateTime StrToDate(std::string_view s);      // EConvertError "'s' is not a valid date"
TDateTime StrToTime(std::string_view s);      // EConvertError "'s' is not a valid time"
TDateTime StrToDateTime(std::string_view s);  // EConvertError "'s' is not a valid date and time"

}  // namespace qzt
