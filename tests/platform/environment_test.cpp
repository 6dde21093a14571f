#include "platform/environment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/exceptions.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

TEST(Environment, ScramblingRoundTrips) {
  for (const char* v : {"55200", "SYSDBA", "masterkey", "", "\xC7\xD1\xB1\xDB"}) {
    const std::string s = Scramble(v);
    EXPECT_EQ(s.size(), 2 * std::string(v).size());
    EXPECT_EQ(Unscramble(s), v);
  }
  EXPECT_EQ(Unscramble(Scramble("ab") + "F"), "ab");  // a trailing odd digit is ignored
  EXPECT_EQ(Unscramble(Scramble("AB")), "AB");
  EXPECT_THROW(Unscramble("ZZ"), EConvertError);
  // The key runs on with the scrambled byte: the same plain byte scrambles differently in place 2.
  const std::string twice = Scramble("aa");
  EXPECT_NE(twice.substr(0, 2), twice.substr(2, 2));
}

TEST(Environment, ListFields) {
  EXPECT_EQ(ListField("first, second ,third", ',', 1), "second");
  EXPECT_EQ(ListField("only", ',', 1), "");
  EXPECT_EQ(ListField("", ',', 0), "");
}

TEST(Environment, ReadsTheClientPortAndDatabaseKeys) {
  const fs::path dir = fs::temp_directory_path() / ("qzt-env-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string file = (dir / "Environment.ini").string();
  std::ofstream(file) << "[SYSTEM]\nDBDSPort=" << Scramble("1") << "," << Scramble("55200")
                      << "\nDBSession=  12 \nDBSvrID=" << Scramble("SYSDBA") << "\n";
  EnvironmentSettings env{file};
  EXPECT_EQ(env.ClientPort(), 55200);
  EXPECT_EQ(env.DBSession(), 12);
  EXPECT_EQ(env.DBSvrID(), "SYSDBA");
  EXPECT_EQ(env.DBSvrIP(), "127.0.0.1");
  EXPECT_EQ(env.DBPathDB(), "D:\\Database\\QZT\\QZT.FDB");
  EXPECT_EQ(env.DBSvrPW(), Unscramble("D04E9A31F7C2"));

  std::ofstream(file) << "[SYSTEM]\nDBDSPort=" << Scramble("55200") << "\nDBSession=ten\n";
  EXPECT_THROW(env.ClientPort(), EConvertError);  // a single field: no client port
  EXPECT_FALSE(env.DBSession().has_value());
  EXPECT_THROW(EnvironmentSettings{(dir / "missing.ini").string()}.ClientPort(), EConvertError);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qzt
