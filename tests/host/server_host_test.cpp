#include "host/server_host.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dbplugin/demo_database.h"
#include "platform/environment.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

TEST(ServerHost, StartsOnceTheDatabaseCanBeReached) {
  const fs::path dir = fs::temp_directory_path() / ("qzt-host-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string db = (dir / "pos.fdb").string();
  std::ofstream(dir / "Environment.ini") << "[SYSTEM]\nDBDSPort=" << Scramble("0") << "," << Scramble("0")
                                         << "\nDBSession=2\nDBSvrIP=\nDBPathDB=" << db << "\nDBSvrID="
                                         << Scramble("SYSDBA") << "\nDBSvrPW=" << Scramble("masterkey") << "\n";
  std::vector<std::string> log;
  {
    TServerHost host(dir.string());
    host.Server.BindAddress = "127.0.0.1";
    host.LogEnabled = true;
    host.OnLogLine = [&](const std::string& l) { log.push_back(l); };
    EXPECT_FALSE(host.ToggleServer());  // no database yet: listening goes off again
    EXPECT_FALSE(host.Running());
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("pos.fdb"), std::string::npos) << log.back();  // the reason is in the log

    CreateDemoDatabase(db);
    EXPECT_TRUE(host.ToggleServer());  // the retry succeeds
    EXPECT_TRUE(host.Running());
    EXPECT_EQ(host.Server.DataBaseSessions, 2);
    EXPECT_EQ(host.Server.SessionPoolSize(), 2);
    EXPECT_EQ(log.back(), "Using localhost:" + db);
    EXPECT_FALSE(host.ToggleServer());
    EXPECT_FALSE(host.Running());
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qzt
