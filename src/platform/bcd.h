// The two fixed binary records that travel in parameter lists: the SQL time stamp (16 bytes)
// and the FMT BCD number (34 bytes), with their text and number conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/date_time.h"

namespace qzt {

#pragma pack(push, 1)
struct TSQLTimeStamp {
  int16_t Year = 0;
  uint16_t Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
  uint32_t Fractions = 0;  // milliseconds
  bool operator==(const TSQLTimeStamp&) const = default;
};

// Precision digits packed two per byte from the first byte, high nibble first; SignSpecialPlaces holds
// the sign in bit 7 and the number of decimal places in bits 0..5.
struct TBcd {
  uint8_t Precision = 0;
  uint8_t SignSpecialPlaces = 0;
  uint8_t Fraction[32] = {};
  bool operator==(const TBcd&) const = default;
};
#pragma pack(pop)
static_assert(sizeof(TSQLTimeStamp) == 16);
static_assert(sizeof(TBcd) == 34);

inline constexpr TSQLTimeStamp NullSQLTimeStamp{};
inline constexpr TBcd NullBcd{};

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& ts);  // EConvertError when impossible
TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime dt);
std::string SQLTimeStampToStr(const TSQLTimeStamp& ts);     // yyyy-mm-dd hh:nn:ss
TSQLTimeStamp StrToSQLTimeStamp(std::string_view s);        // EConvertError

std::string BcdToStr(const TBcd& b);
bool TryStrToBcd(std::string_view s, TBcd& out);
TBcd StrToBcd(std::string_view s);  // EConvertError "'s' is not a valid BCD value"
double BcdToDouble(const TBcd& b);
TBcd DoubleToBcd(double v);

}  // namespace qzt
