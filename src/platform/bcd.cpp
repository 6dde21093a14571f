#include "platform/bcd.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "platform/exceptions.h"
#include "platform/number_text.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& ts) {
  if (ts == NullSQLTimeStamp) return 0;
  TDateTime d, t;
  if (!TryEncodeDate(ts.Year, ts.Month, ts.Day, d) ||
      !TryEncodeTime(ts.Hour, ts.Minute, ts.Second, ts.Fractions <= 999 ? ts.Fractions : 0, t))
    throw EConvertError("Invalid SQL time stamp");
  return d < 0 ? d - t : d + t;
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime dt) {
  int y, m, d, h, n, s, z;
  DecodeDate(dt, y, m, d);
  DecodeTime(dt, h, n, s, z);
  TSQLTimeStamp ts;
  ts.Year = static_cast<int16_t>(y);
  ts.Month = static_cast<uint16_t>(m);
  ts.Day = static_cast<uint16_t>(d);
  ts.Hour = static_cast<uint16_t>(h);
  ts.Minute = static_cast<uint16_t>(n);
  ts.Second = static_cast<uint16_t>(s);
  ts.Fractions = static_cast<uint32_t>(z);
  return ts;
}

std::string SQLTimeStampToStr(const TSQLTimeStamp& ts) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%c%02u%c%02u %02u%c%02u%c%02u", ts.Year, DateSeparator, ts.Month,
                DateSeparator, ts.Day, ts.Hour, TimeSeparator, ts.Minute, TimeSeparator, ts.Second);
  return buf;
}

TSQLTimeStamp StrToSQLTimeStamp(std::string_view s) {
  TDateTime dt;
  if (!TryStrToDateTime(s, dt)) throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  return DateTimeToSQLTimeStamp(dt);
}

namespace {

int Digit(const TBcd& b, int i) {
  uint8_t byte = b.Fraction[i / 2];
  return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

}  // namespace

std::string BcdToStr(const TBcd& b) {
  int precision = b.Precision > 64 ? 64 : b.Precision;
  int places = b.SignSpecialPlaces & 0x3F;
  if (places > precision) places = precision;
  std::string intPart, fracPart;
  for (int i = 0; i < precision; ++i) {
    char c = static_cast<char>('0' + Digit(b, i) % 10);
    (i < precision - places ? intPart : fracPart) += c;
  }
  while (!intPart.empty() && intPart[0] == '0') intPart.erase(0, 1);
  while (!fracPart.empty() && fracPart.back() == '0') fracPart.pop_back();
  if (intPart.empty()) intPart = "0";
  return JoinDecimal((b.SignSpecialPlaces & 0x80) && (intPart != "0" || !fracPart.empty()), intPart, fracPart);
}

bool TryStrToBcd(std::string_view s, TBcd& out) {
  std::string_view t = Trim(s);
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
  std::string intDigits, fracDigits;
  bool seenDot = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == DecimalSeparator && !seenDot) seenDot = true;
    else if (std::isdigit(static_cast<unsigned char>(c))) (seenDot ? fracDigits : intDigits) += c;
    else return false;
  }
  if (intDigits.empty() && fracDigits.empty()) return false;
  while (!intDigits.empty() && intDigits[0] == '0') intDigits.erase(0, 1);
  std::string all = intDigits + fracDigits;
  if (all.empty()) all = "0";
  if (all.size() > 64 || fracDigits.size() > 63) return false;
  TBcd b;
  b.Precision = static_cast<uint8_t>(all.size());
  b.SignSpecialPlaces = static_cast<uint8_t>(fracDigits.size() | (neg ? 0x80 : 0));
  for (size_t k = 0; k < all.size(); ++k) {
    uint8_t d = static_cast<uint8_t>(all[k] - '0');
    b.Fraction[k / 2] |= k % 2 == 0 ? d << 4 : d;
  }
  out = b;
  return true;
}

TBcd StrToBcd(std::string_view s) {
  TBcd b;
  if (!TryStrToBcd(s, b)) throw EConvertError("'" + std::string(s) + "' is not a valid BCD value");
  return b;
}

double BcdToDouble(const TBcd& b) { return std::strtod(BcdToStr(b).c_str(), nullptr); }

TBcd DoubleToBcd(double v) {
  // 15 significant digits, as the floating-point text conversion gives
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string t = buf;
  if (t.find_first_of("eEn") != std::string::npos) {  // exponent or nan: write it out in full
    std::snprintf(buf, sizeof buf, "%.15f", v);
    t = buf;
  }
  TBcd b;
  return TryStrToBcd(t, b) ? b : NullBcd;
}

}  // namespace qzt
