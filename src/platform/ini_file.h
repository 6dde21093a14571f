// TIniFile: reading INI files (sections and keys without regard to case; values are bytes).
#pragma once

#include <memory>
#include <string>

namespace qzt {

class TIniFile {
 public:
  explicit TIniFile(const std::string& fileName);  // a missing or unreadable file reads as empty
  ~TIniFile();
  bool Loaded() const { return loaded_; }
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  bool loaded_ = false;
};

}  // namespace qzt
