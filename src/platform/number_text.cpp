#include "platform/number_text.h"

#include <cctype>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/exceptions.h"
#include "platform/platform_texts.h"
#include "platform/text_utils.h"

namespace qzt {
namespace {

std::string NotInteger(std::string_view s) { return "'" + std::string(s) + "' is not a valid integer value"; }
std::string NotFloat(std::string_view s) { return "'" + std::string(s) + "' is not a valid floating point value"; }

// Decimal digits of |v| rounded to `precision` significant digits, and the exponent such that
// v = 0.d1d2d3... * 10^exp. Trailing zeros removed; zero gives "" and exponent 0.
void DecimalDigits(double v, int precision, std::string& digits, int& exp) {
  digits.clear();
  exp = 0;
  if (v == 0) return;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(v));
  const char* e = std::strchr(buf, 'e');
  for (const char* p = buf; p < e; ++p)
    if (std::isdigit(static_cast<unsigned char>(*p))) digits += *p;
  exp = std::atoi(e + 1) + 1;
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
}

}  // namespace

bool TryStrToInt64(std::string_view s, int64_t& out) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == s.size()) return false;
  uint64_t acc = 0;
  const uint64_t limit = neg ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
  for (; i < s.size(); ++i) {
    int d;
    char c = s[i];
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (acc > (limit - d) / base) {
      // hexadecimal text may fill all 64 bits, as the platform allows
      if (base == 16 && !neg && acc <= (UINT64_MAX - d) / 16) {
        acc = acc * 16 + d;
        continue;
      }
      return false;
    }
    acc = acc * base + d;
  }
  out = neg ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

bool TryStrToInt(std::string_view s, int32_t& out) {
  int64_t v;
  if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(std::string_view s) {
  int32_t v;
  if (!TryStrToInt(s, v)) throw EConvertError(NotInteger(s));
  return v;
}

int64_t StrToInt64(std::string_view s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) throw EConvertError(NotInteger(s));
  return v;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
  int64_t v;
  return TryStrToInt64(s, v) ? v : def;
}

std::string FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  std::string digits;
  int exp;
  DecimalDigits(v, 15, digits, exp);
  if (digits.empty()) return "0";
  std::string out = v < 0 ? "-" : "";
  if (exp > 15 || exp < -3) {
    // scientific: d.dddE[-]x
    out += digits[0];
    if (digits.size() > 1) {
      out += DecimalSeparator;
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exp - 1);
    return out;
  }
  if (exp <= 0) {
    out += '0';
    out += DecimalSeparator;
    out.append(-exp, '0');
    out += digits;
  } else if (static_cast<int>(digits.size()) <= exp) {
    out += digits;
    out.append(exp - digits.size(), '0');
  } else {
    out.append(digits, 0, exp);
    out += DecimalSeparator;
    out.append(digits, exp);
  }
  return out;
}

bool TryStrToFloat(std::string_view s, double& out) {
  std::string t(Trim(s));
  if (t.empty()) return false;
  // only digits, one sign, the decimal separator and an exponent: no hex, no inf/nan words
  for (char c : t)
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != DecimalSeparator &&
        c != 'e' && c != 'E')
      return false;
  char* end = nullptr;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

double StrToFloat(std::string_view s) {
  double v;
  if (!TryStrToFloat(s, v)) throw EConvertError(NotFloat(s));
  return v;
}

std::string FormatFloat(std::string_view pattern, double v) {
  size_t dot = pattern.find('.');
  std::string_view ip = pattern.substr(0, dot);
  std::string_view fp = dot == std::string_view::npos ? std::string_view() : pattern.substr(dot + 1);
  int minInt = 0, minFrac = 0, maxFrac = 0;
  for (char c : ip) minInt += c == '0';
  for (char c : fp) {
    if (c == '0') minFrac = ++maxFrac;
    else if (c == '#') ++maxFrac;
  }
  if (!std::isfinite(v)) return FloatToStr(v);
  // 18 significant digits, as the platform's extended precision gives, then the fixed decimals.
  std::string digits;
  int exp;
  DecimalDigits(v, 18, digits, exp);
  char buf[400];
  double r = digits.empty() ? 0.0 : std::strtod(("0." + digits + "e" + std::to_string(exp)).c_str(), nullptr);
  std::snprintf(buf, sizeof buf, "%.*f", maxFrac, r);
  std::string fixed = buf;
  size_t p = fixed.find('.');
  std::string intPart = fixed.substr(0, p);
  std::string fracPart = p == std::string::npos ? "" : fixed.substr(p + 1);
  while (static_cast<int>(fracPart.size()) > minFrac && fracPart.back() == '0') fracPart.pop_back();
  while (!intPart.empty() && intPart[0] == '0') intPart.erase(0, 1);
  if (static_cast<int>(intPart.size()) < minInt) intPart.insert(0, minInt - intPart.size(), '0');
  bool zero = intPart.find_first_not_of('0') == std::string::npos &&
              fracPart.find_first_not_of('0') == std::string::npos;
  return JoinDecimal(v < 0 && !zero, intPart, fracPart);
}

std::string JoinDecimal(bool negative, std::string_view intPart, std::string_view fracPart) {
  std::string out = negative ? "-" : "";
  out += intPart;
  if (!fracPart.empty()) {
    out += DecimalSeparator;
    out += fracPart;
  }
  return out;
}

std::string CurrToStr(int64_t c) {
  uint64_t a = c < 0 ? 0 - static_cast<uint64_t>(c) : static_cast<uint64_t>(c);
  std::string frac = std::to_string(a % 10000 + 10000).substr(1);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  return JoinDecimal(c < 0, std::to_string(a / 10000), frac);
}

bool TryStrToCurr(std::string_view s, int64_t& out) {
  std::string_view t = Trim(s);
  // Exact decimal reading; an exponent goes through the floating-point path.
  if (t.find_first_of("eE") != std::string_view::npos) {
    double d;
    if (!TryStrToFloat(t, d) || std::fabs(d) >= 922337203685477.0) return false;
    out = RoundToInt64(d * 10000);
    return true;
  }
  size_t i = 0;
  bool neg = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) neg = t[i++] == '-';
  __int128 acc = 0;
  int fracDigits = -1, digits = 0, roundDigit = -1;
  bool sticky = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == DecimalSeparator && fracDigits < 0) {
      fracDigits = 0;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    ++digits;
    if (fracDigits >= 4) {
      if (roundDigit < 0) roundDigit = c - '0';
      else if (c != '0') sticky = true;
      continue;
    }
    acc = acc * 10 + (c - '0');
    if (fracDigits >= 0) ++fracDigits;
    if (acc > (__int128)INT64_MAX * 10) return false;
  }
  if (digits == 0) return false;
  for (int f = fracDigits < 0 ? 0 : fracDigits; f < 4; ++f) acc *= 10;
  // half to even on the fifth decimal
  if (roundDigit > 5 || (roundDigit == 5 && (sticky || (acc & 1)))) ++acc;
  if (neg) acc = -acc;
  if (acc > INT64_MAX || acc < INT64_MIN) return false;
  out = static_cast<int64_t>(acc);
  return true;
}

int64_t StrToCurr(std::string_view s) {
  int64_t v;
  if (!TryStrToCurr(s, v)) throw EConvertError(NotFloat(s));
  return v;
}

double CurrToDouble(int64_t c) { return static_cast<double>(c) / 10000.0; }

int64_t DoubleToCurr(double v) { return RoundToInt64(v * 10000.0); }

int64_t RoundToInt64(double v) {
  if (!std::isfinite(v) || v >= 9223372036854775807.0 || v < -9223372036854775808.0)
    throw EConvertError("Floating point value out of the integer range");
  return static_cast<int64_t>(std::nearbyint(v));  // the default rounding mode: half to even
}

}  // namespace qzt
