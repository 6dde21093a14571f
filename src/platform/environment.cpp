#include "platform/environment.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>

#include "platform/exceptions.h"
#include "platform/ini_file.h"
#include "platform/number_text.h"
#include "platform/text_utils.h"

namespace qzt {

std::string ProgramFolder() {
  if (const char* home = std::getenv("QZT_HOME"); home && *home) return home;
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return std::filesystem::current_path().string();
  return std::filesystem::path(std::string(exe, n)).parent_path().string();
}

namespace {

std::string IniValue(const std::string& fileName, const std::string& section, const std::string& key,
                     const char* def) {
  return TIniFile(fileName).ReadString(section, key, def);
}

}  // namespace

std::string ReadProfileString(const std::string& fileName, const std::string& section, const std::string& key) {
  std::string v = IniValue(fileName, section, key, "");
  if (v.size() > 255) v.resize(255);
  return std::string(Trim(v));
}

std::string ListField(std::string_view text, char separator, int index) {
  size_t pos = 0;
  for (int i = 0; i < index; ++i) {
    pos = text.find(separator, pos);
    if (pos == std::string_view::npos) return {};
    ++pos;
  }
  const size_t end = text.find(separator, pos);
  return std::string(Trim(text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos)));
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Unscramble(std::string_view text, uint16_t startKey) {
  std::string out;
  uint16_t key = startKey;
  const size_t n = std::min<size_t>(text.size() / 2, 255);
  for (size_t i = 0; i < n; ++i) {
    const int hi = HexDigit(text[2 * i]), lo = HexDigit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) throw EConvertError("'" + std::string(text.substr(2 * i, 2)) + "' is not a valid integer value");
    const uint8_t b = static_cast<uint8_t>(hi * 16 + lo);
    out += static_cast<char>(b ^ (key >> 8));
    key = static_cast<uint16_t>((key + b) * 7349 + 29753);
  }
  return out;
}

std::string Scramble(std::string_view plain, uint16_t startKey) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  uint16_t key = startKey;
  for (size_t i = 0; i < plain.size() && i < 255; ++i) {
    const uint8_t s = static_cast<uint8_t>(static_cast<uint8_t>(plain[i]) ^ (key >> 8));
    out += kHex[s >> 4];
    out += kHex[s & 15];
    key = static_cast<uint16_t>((key + s) * 7349 + 29753);
  }
  return out;
}

int EnvironmentSettings::ClientPort() const {
  const std::string field = ListField(ReadProfileString(FileName, "SYSTEM", "DBDSPort"), ',', 1);
  return StrToInt(Unscramble(field));
}

std::optional<int> EnvironmentSettings::DBSession() const {
  int32_t v;
  if (TryStrToInt(ReadProfileString(FileName, "SYSTEM", "DBSession"), v)) return v;
  return std::nullopt;
}

std::string EnvironmentSettings::DBSvrIP() const { return IniValue(FileName, "SYSTEM", "DBSvrIP", "127.0.0.1"); }

std::string EnvironmentSettings::DBPathDB() const {
  return IniValue(FileName, "SYSTEM", "DBPathDB", "D:\\Database\\QZT\\QZT.FDB");
}

std::string EnvironmentSettings::DBSvrID() const {
  return Unscramble(IniValue(FileName, "SYSTEM", "DBSvrID", "A17F40B2C8D5"));
}

std::string EnvironmentSettings::DBSvrPW() const {
  return Unscramble(IniValue(FileName, "SYSTEM", "DBSvrPW", "D04E9A31F7C2"));
}

EnvironmentSettings Environment() { return Environment(ProgramFolder()); }

EnvironmentSettings Environment(const std::string& folder) {
  return EnvironmentSettings{(std::filesystem::path(folder) / "Environment.ini").string()};
}

}  // namespace qzt
