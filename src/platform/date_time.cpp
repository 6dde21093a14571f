#include "platform/date_time.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>

#include "platform/exceptions.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {
namespace {

// Days from 1970-01-01 for a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (m <= 2));
}

constexpr int64_t kEpochOffset = 25569;  // 1970-01-01 as a TDateTime

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

std::string Pad(int v, int width) {
  std::string s = std::to_string(v);
  if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), '0');
  return s;
}

struct Parts {
  int year, month, day, hour, min, sec, msec;
};

Parts Decode(TDateTime dt) {
  Parts p{};
  DecodeDate(dt, p.year, p.month, p.day);
  DecodeTime(dt, p.hour, p.min, p.sec, p.msec);
  return p;
}


void AppendFormat(std::string& out, std::string_view mask, const Parts& p, TDateTime dt);

void AppendTime(std::string& out, const Parts& p, TDateTime dt) { AppendFormat(out, LongTimeFormat, p, dt); }

void AppendFormat(std::string& out, std::string_view mask, const Parts& p, TDateTime dt) {
  // 12-hour clock when the mask has an am/pm marker anywhere.
  bool twelve = false;
  for (size_t i = 0; i < mask.size(); ++i)
    if (StartsText(mask.substr(i), "am/pm") || StartsText(mask.substr(i), "a/p") ||
        StartsText(mask.substr(i), "ampm"))
      twelve = true;
  char last = 0;  // the last date/time letter, for the "m after h" rule
  size_t i = 0;
  while (i < mask.size()) {
    char c = mask[i];
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    size_t n = 1;
    while (i + n < mask.size() && std::toupper(static_cast<unsigned char>(mask[i + n])) == u) ++n;
    switch (u) {
      case '\'':
      case '"': {
        size_t end = mask.find(c, i + 1);
        if (end == std::string_view::npos) end = mask.size();
        out.append(mask.substr(i + 1, end - i - 1));
        i = end + 1;
        continue;
      }
      case 'Y':
        out += n <= 2 ? Pad(p.year % 100, 2) : Pad(p.year, 4);
        break;
      case 'M':
        if (last == 'H' && n <= 2) {
          out += n == 1 ? std::to_string(p.min) : Pad(p.min, 2);
        } else if (n == 1) {
          out += std::to_string(p.month);
        } else if (n == 2) {
          out += Pad(p.month, 2);
        } else if (n == 3) {
          out += ShortMonthNames[p.month - 1];
        } else {
          n = 4;
          out += LongMonthNames[p.month - 1];
        }
        break;
      case 'D':
        if (n == 1) out += std::to_string(p.day);
        else if (n == 2) out += Pad(p.day, 2);
        else if (n == 3) out += ShortDayNames[DayOfWeek(dt) - 1];
        else if (n == 4) out += LongDayNames[DayOfWeek(dt) - 1];
        else if (n == 5) AppendFormat(out, ShortDateFormat, p, dt);
        else {
          n = 6;
          AppendFormat(out, "dddd, mmmm d, yyyy", p, dt);
        }
        break;
      case 'H': {
        if (n > 2) n = 2;
        int h = p.hour;
        if (twelve) h = h % 12 == 0 ? 12 : h % 12;
        out += n == 1 ? std::to_string(h) : Pad(h, 2);
        break;
      }
      case 'N':
        if (n > 2) n = 2;
        out += n == 1 ? std::to_string(p.min) : Pad(p.min, 2);
        break;
      case 'S':
        if (n > 2) n = 2;
        out += n == 1 ? std::to_string(p.sec) : Pad(p.sec, 2);
        break;
      case 'Z':
        if (n >= 3) {
          n = 3;
          out += Pad(p.msec, 3);
        } else {
          n = 1;
          out += std::to_string(p.msec);
        }
        break;
      case 'T':
        if (n > 2) n = 2;
        AppendFormat(out, n == 1 ? "hh:nn" : LongTimeFormat, p, dt);
        break;
      case 'C':
        n = 1;
        AppendFormat(out, ShortDateFormat, p, dt);
        if (p.hour || p.min || p.sec || p.msec) {
          out += ' ';
          AppendTime(out, p, dt);
        }
        break;
      case 'A':
        if (StartsText(mask.substr(i), "am/pm")) {
          out += p.hour < 12 ? std::string(mask.substr(i, 2)) : std::string(mask.substr(i + 3, 2));
          n = 5;
        } else if (StartsText(mask.substr(i), "a/p")) {
          out += p.hour < 12 ? mask[i] : mask[i + 2];
          n = 3;
        } else if (StartsText(mask.substr(i), "ampm")) {
          out += p.hour < 12 ? "AM" : "PM";
          n = 4;
        } else {
          out.append(mask.substr(i, n));
        }
        break;
      case '/':
        n = 1;
        out += DateSeparator;
        break;
      case ':':
        n = 1;
        out += TimeSeparator;
        break;
      default:
        out.append(mask.substr(i, n));
        break;
    }
    if (std::isalpha(static_cast<unsigned char>(u))) last = u;
    i += n;
  }
}

// A small scanner for the text conversions: numbers and separators, spaces allowed around them.
struct Scanner {
  std::string_view s;
  size_t i = 0;
  void Spaces() {
    while (i < s.size() && s[i] == ' ') ++i;
  }
  bool Number(int& v, int maxDigits = 9) {
    Spaces();
    size_t start = i;
    int64_t acc = 0;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) && i - start < size_t(maxDigits))
      acc = acc * 10 + (s[i++] - '0');
    if (i == start) return false;
    v = static_cast<int>(acc);
    return true;
  }
  bool Char(char c) {
    Spaces();
    if (i < s.size() && s[i] == c) {
      ++i;
      return true;
    }
    return false;
  }
  bool End() {
    Spaces();
    return i == s.size();
  }
};

bool ScanDate(Scanner& sc, TDateTime& out) {
  int y, m, d;
  if (!sc.Number(y) || !sc.Char(DateSeparator) || !sc.Number(m) || !sc.Char(DateSeparator) || !sc.Number(d))
    return false;
  return TryEncodeDate(y, m, d, out);
}

bool ScanTime(Scanner& sc, TDateTime& out) {
  int h, n, s = 0, z = 0;
  if (!sc.Number(h) || !sc.Char(TimeSeparator) || !sc.Number(n)) return false;
  if (sc.Char(TimeSeparator)) {
    if (!sc.Number(s)) return false;
    if (sc.Char(DecimalSeparator) && !sc.Number(z, 3)) return false;
  }
  sc.Spaces();
  const std::string_view rest = sc.s.substr(sc.i);
  if (StartsText(rest, "am") || StartsText(rest, "pm")) {
    bool pm = std::tolower(static_cast<unsigned char>(sc.s[sc.i])) == 'p';
    sc.i += 2;
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
  }
  return TryEncodeTime(h, n, s, z, out);
}

}  // namespace

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  out = static_cast<double>(DaysFromCivil(year, month, day) + kEpochOffset);
  return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
    return false;
  out = (((hour * 60 + min) * 60 + sec) * 1000.0 + msec) / MSecsPerDay;
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime d;
  if (!TryEncodeDate(year, month, day, d)) throw EConvertError("Invalid argument to date encode");
  return d;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime t;
  if (!TryEncodeTime(hour, min, sec, msec, t)) throw EConvertError("Invalid argument to time encode");
  return t;
}

void SplitDateTime(TDateTime dt, int64_t& days, int64_t& msecs) {
  if (!std::isfinite(dt) || std::fabs(dt) > 1e9) dt = 0;  // far outside any date: treat as the epoch
  days = static_cast<int64_t>(std::trunc(dt));
  msecs = std::llround(std::fabs(dt - std::trunc(dt)) * MSecsPerDay);
  if (msecs >= MSecsPerDay) {  // rounding reached the next midnight
    msecs -= MSecsPerDay;
    days += dt < 0 ? -1 : 1;
  }
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
  int64_t days, msecs;
  SplitDateTime(dt, days, msecs);
  CivilFromDays(days - kEpochOffset, year, month, day);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  hour = static_cast<int>(ms / 3600000);
  min = static_cast<int>(ms / 60000 % 60);
  sec = static_cast<int>(ms / 1000 % 60);
  msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
  int64_t days, ms;
  SplitDateTime(dt, days, ms);
  // 1899-12-30 was a Saturday (7).
  return static_cast<int>(((days + 6) % 7 + 7) % 7) + 1;
}

std::string FormatDateTime(std::string_view mask, TDateTime dt) {
  std::string out;
  AppendFormat(out, mask.empty() ? std::string_view("c") : mask, Decode(dt), dt);
  return out;
}

std::string DateToStr(TDateTime dt) { return FormatDateTime(ShortDateFormat, dt); }
std::string TimeToStr(TDateTime dt) { return FormatDateTime(LongTimeFormat, dt); }
std::string DateTimeToStr(TDateTime dt) { return FormatDateTime("c", dt); }

bool TryStrToDate(std::string_view s, TDateTime& out) {
  Scanner sc{s};
  return ScanDate(sc, out) && sc.End();
}

bool TryStrToTime(std::string_view s, TDateTime& out) {
  Scanner sc{s};
  return ScanTime(sc, out) && sc.End();
}

bool TryStrToDateTime(std::string_view s, TDateTime& out) {
  Scanner sc{s};
  TDateTime d = 0, t = 0;
  if (!ScanDate(sc, d)) {
    Scanner tsc{s};
    if (!ScanTime(tsc, t) || !tsc.End()) return false;
    out = t;
    return true;
  }
  if (!sc.End() && !ScanTime(sc, t)) return false;
  if (!sc.End()) return false;
  out = d < 0 ? d - t : d + t;
  return true;
}

TDateTime StrToDate(std::string_view s) {
  TDateTime d;
  if (!TryStrToDate(s, d)) throw EConvertError("'" + std::string(s) + "' is not a valid date");
  return d;
}

TDateTime StrToTime(std::string_view s) {
  TDateTime d;
  if (!TryStrToTime(s, d)) throw EConvertError("'" + std::string(s) + "' is not a valid time");
  return d;
}

TDateTime StrToDateTime(std::string_view s) {
  TDateTime d;
  if (!TryStrToDateTime(s, d)) throw EConvertError("'" + std::string(s) + "' is not a valid date and time");
  return d;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const int ms = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&t, &local);
  return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), ms);
}

}  // namespace qzt
