// CP949 (the clients' code page) to and from UTF-8, through iconv.
// Bytes that do not convert become "?"; the conversion never fails.
#pragma once

#include <string>
#include <string_view>

namespace qzt {

std::string Cp949ToUtf8(std::string_view s);
std::string Utf8ToCp949(std::string_view s);
// UTF-16 little-endian code units as bytes (wide-string fields, stream strings of type 18).
std::string Cp949ToUtf16Le(std::string_view s);
std::string Utf16LeToCp949(std::string_view s);

}  // namespace qzt
