// Small text helpers over bytes (ASCII rules; other bytes are left as they are).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qzt {

// Leading and trailing bytes up to and including the blank removed (blanks and control characters).
std::string_view Trim(std::string_view s);
// Equal without regard to ASCII case.
bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
// `s` begins with `prefix`, or holds `part`, without regard to ASCII case.
bool StartsText(std::string_view s, std::string_view prefix);
bool ContainsText(std::string_view s, std::string_view part);
// The lines of a text (LF or CR LF); a line's CR is removed; blank lines are kept.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace qzt
