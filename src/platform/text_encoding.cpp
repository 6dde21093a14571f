#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

namespace qzt {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  std::string Convert(std::string_view s) {
    std::string out;
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::string(s);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    out.reserve(s.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(s.data());
    size_t inLeft = s.size();
    char buf[4096];
    while (inLeft > 0) {
      char* o = buf;
      size_t oLeft = sizeof buf;
      size_t r = iconv(cd_, &in, &inLeft, &o, &oLeft);
      out.append(buf, o - buf);
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // an invalid or incomplete sequence: one replacement character, skip one byte
        out += '?';
        ++in;
        --inLeft;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Cp949ToUtf8(std::string_view s) {
  thread_local Converter c("UTF-8", "CP949");
  return c.Convert(s);
}

std::string Utf8ToCp949(std::string_view s) {
  thread_local Converter c("CP949", "UTF-8");
  return c.Convert(s);
}

std::string Cp949ToUtf16Le(std::string_view s) {
  thread_local Converter c("UTF-16LE", "CP949");
  return c.Convert(s);
}

std::string Utf16LeToCp949(std::string_view s) {
  thread_local Converter c("CP949", "UTF-16LE");
  return c.Convert(s);
}

}  // namespace qzt
