// A program folder for database tests: the demo database and an Environment.ini that points at it
// through the embedded engine.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dbplugin/demo_database.h"
#include "platform/environment.h"

namespace qzt {

inline void WriteDemoEnvironment(const std::filesystem::path& dir) {
  std::ofstream(dir / "Environment.ini") << "[SYSTEM]\nDBSvrIP=\nDBPathDB=" << (dir / "demo.fdb").string()
                                         << "\nDBSvrID=" << Scramble("SYSDBA") << "\nDBSvrPW="
                                         << Scramble("masterkey") << "\n";
}

// A fresh folder named after `tag` and this process, holding demo.fdb and its Environment.ini.
inline std::filesystem::path MakeDemoFolder(const std::string& tag) {
  const auto dir = std::filesystem::temp_directory_path() / (tag + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  CreateDemoDatabase((dir / "demo.fdb").string());
  WriteDemoEnvironment(dir);
  return dir;
}

}  // namespace qzt
