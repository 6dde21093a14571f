// Numbers to and from text in the fixed locale (decimal separator ".").
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qzt {

// Integers: optional blanks, a sign, decimal digits or "$"/"0x" hexadecimal; nothing may follow.
bool TryStrToInt64(std::string_view s, int64_t& out);
bool TryStrToInt(std::string_view s, int32_t& out);
int32_t StrToInt(std::string_view s);    // EConvertError "'s' is not a valid integer value"
int64_t StrToInt64(std::string_view s);  // same message
// Decimal text that is not a number counts as 0 (the lenient reading of the wire forms).
int64_t StrToInt64Def(std::string_view s, int64_t def = 0);

// Floating point: the general format with 15 significant digits, as "1.5", "1E15", "1E-5".
std::string FloatToStr(double v);
bool TryStrToFloat(std::string_view s, double& out);
double StrToFloat(std::string_view s);  // EConvertError "'s' is not a valid floating point value"

// A pattern of "#", "0" and one ".": "0" forces a digit, "#" shows one only when it is significant.
std::string FormatFloat(std::string_view pattern, double v);

// "-" when negative, the integer digits, and the separator with the fraction when there is one.
std::string JoinDecimal(bool negative, std::string_view intPart, std::string_view fracPart);

// Currency: Int64 holding the amount times 10000.
std::string CurrToStr(int64_t c);
bool TryStrToCurr(std::string_view s, int64_t& out);
int64_t StrToCurr(std::string_view s);  // EConvertError "'s' is not a valid floating point value"
double CurrToDouble(int64_t c);
int64_t DoubleToCurr(double v);  // EConvertError when out of range

// Rounds half to even, as conversions of floating values to integers do.
int64_t RoundToInt64(double v);  // EConvertError when out of range

}  // namespace qzt
