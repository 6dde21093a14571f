// The plug-in attached through a Firebird server on loopback ("host/port:path"), not the embedded engine.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dbplugin/demo_folder.h"
#include "dbplugin/fibplus_plugin.h"
#include "dbplugin/firebird_server.h"
#include "server/session_list.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

class RemoteServer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeDemoFolder("qzt-remote");  // made through the embedded engine before the server opens it
    fbServer = std::make_unique<LocalFirebirdServer>(dir / "server");
    server.ThreadingModel = tmPooledSessions;
    server.DataBaseSessions = 2;
    server.OnShowServerMessage = [this](TVornServerSocket&, const std::string& l) { log.push_back(l); };
    if (FirebirdPlugin()) FirebirdPlugin()->DatabaseConnectionString.clear();
  }
  void TearDown() override {
    DetachFirebirdPlugin(server);
    fbServer.reset();
    fs::remove_all(dir);
  }
  void WriteEnvironment(const std::string& password) {
    std::ofstream(dir / "Environment.ini")
        << "[SYSTEM]\nDBSvrIP=" << fbServer->Host() << "\nDBPathDB=" << (dir / "demo.fdb").string()
        << "\nDBSvrID=" << Scramble("SYSDBA") << "\nDBSvrPW=" << Scramble(password) << "\n";
  }
  bool Logged(const std::string& text) const {
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  fs::path dir;
  std::unique_ptr<LocalFirebirdServer> fbServer;
  std::vector<std::string> log;
  TVornServerSocket server;
};

TEST_F(RemoteServer, AttachesThroughTheServerAndReportsItsLoss) {
  WriteEnvironment("masterkey");
  ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string())) << (log.empty() ? "" : log.back());
  const std::string description = fbServer->Host() + ":" + (dir / "demo.fdb").string();
  EXPECT_EQ(FirebirdPlugin()->ConnectionDescription(), description);
  EXPECT_EQ(MainDataModule()->IBDatabase.DBName, description);
  EXPECT_EQ(server.SessionPoolSize(), 2);
  TFIBDataModule* main = MainDataModule();
  server.OnSubmitSQL(nullptr, &main->Query, "", "select count(*) from items", 0);
  EXPECT_EQ(main->Query.Fields(0).AsInteger(), 210);

  // The same handlers as on the embedded engine: a statement list, a procedure with an output, a blob.
  TVornParamList none;
  bool ok = false;
  std::string error;
  server.OnExecSQLParamList(nullptr, &main->ExecQuery, "", "insert into customers (name) values ('remote')", ok,
                            error, none);
  EXPECT_TRUE(ok) << error;
  TVornParamList p;
  p.NewParam(ftInteger, "ITEM_ID", ptInput).SetAsInteger(7);
  p.NewParam(ftInteger, "QTY", ptInput).SetAsInteger(2);
  p.NewParam(ftInteger, "NEW_STOCK", ptOutput);
  server.OnStoredProcedure(nullptr, &main->Query, "", "ADD_STOCK", p, true);
  EXPECT_FALSE(p.RequireParam("NEW_STOCK").IsNull());
  std::string blob;
  server.OnFetchBlobEvent(nullptr, &main->Query, "", "items", "photo", "where item_id = 1", blob);
  EXPECT_GE(blob.size(), 64u);

  // The server goes away: the next statement reports the engine's error instead of hanging or crashing,
  // and detaching from a dead connection still ends.
  fbServer->Stop();
  log.clear();
  server.OnSubmitSQL(nullptr, &main->Query, "", "select count(*) from customers", 0);
  EXPECT_TRUE(Logged("Error writing data to the connection")) << (log.empty() ? "" : log.back());
}

TEST_F(RemoteServer, AWrongPasswordIsRefusedWithTheEnginesReason) {
  WriteEnvironment("not-the-password");
  EXPECT_FALSE(AttachFirebirdPlugin(server, dir.string()));
  EXPECT_TRUE(Logged("password")) << (log.empty() ? "" : log.back());
}

}  // namespace
}  // namespace qzt
