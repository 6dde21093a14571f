#include "platform/ini_file.h"

// Values are bytes in the clients' code page: no conversion. The library is header-only here.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

namespace qzt {

struct TIniFile::Impl {
  CSimpleIniA ini;
};

TIniFile::TIniFile(const std::string& fileName) : impl_(std::make_unique<Impl>()) {
  impl_->ini.SetUnicode(false);
  loaded_ = impl_->ini.LoadFile(fileName.c_str()) >= 0;
}

TIniFile::~TIniFile() = default;

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  const char* v = impl_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
  return v ? v : def;
}

}  // namespace qzt
