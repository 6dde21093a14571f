// The one fixed locale of the program: the texts and formats that conversions to and from text use.
#pragma once

namespace qzt {

inline constexpr char DecimalSeparator = '.';
inline constexpr char DateSeparator = '-';
inline constexpr char TimeSeparator = ':';
inline constexpr const char* TrueText = "True";
inline constexpr const char* FalseText = "False";
inline constexpr const char* ShortDateFormat = "yyyy-mm-dd";
inline constexpr const char* LongTimeFormat = "hh:nn:ss";
inline constexpr const char* ShortMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
inline constexpr const char* LongMonthNames[12] = {"January", "February", "March",     "April",
                                                   "May",     "June",     "July",      "August",
                                                   "September", "October", "November", "December"};
inline constexpr const char* ShortDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
inline constexpr const char* LongDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                "Thursday", "Friday", "Saturday"};

}  // namespace qzt
