// Environment.ini: the client port, the session count and the database keys, some of them scrambled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qzt {

// The program folder: QZT_HOME when set, else the folder of the executable.
std::string ProgramFolder();

// The value of a key, at most 255 characters, blanks trimmed; "" when the file or key is missing.
std::string ReadProfileString(const std::string& fileName, const std::string& section, const std::string& key);
// The index-th field (from 0) of a separated text, blanks trimmed; "" past the last field.
std::string ListField(std::string_view text, char separator, int index);
// Hexadecimal pairs decoded and unscrambled with the running 16-bit key (start 583); a trailing odd digit
// is ignored; a pair that is not hexadecimal raises EConvertError. At most 255 bytes.
std::string Unscramble(std::string_view text, uint16_t startKey = 583);
// The inverse: the scrambled form as upper-case hexadecimal.
std::string Scramble(std::string_view plain, uint16_t startKey = 583);

struct EnvironmentSettings {
  std::string FileName;
  // SYSTEM/DBDSPort field 1 unscrambled: EConvertError when missing or not an integer.
  int ClientPort() const;
  // SYSTEM/DBSession when it is a valid integer.
  std::optional<int> DBSession() const;
  std::string DBSvrIP() const;   // "127.0.0.1" when missing
  std::string DBPathDB() const;  // "D:\Database\QZT\QZT.FDB" when missing
  std::string DBSvrID() const;   // unscrambled; default "A17F40B2C8D5" scrambled
  std::string DBSvrPW() const;   // unscrambled; default "D04E9A31F7C2" scrambled
};

// Environment.ini in the program folder (or in the folder given).
EnvironmentSettings Environment();
EnvironmentSettings Environment(const std::string& folder);

}  // namespace qzt
