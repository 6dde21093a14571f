// The Firebird plug-in's handlers against an embedded demo database.
#include "dbplugin/fibplus_plugin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dbplugin/demo_folder.h"
#include "server/session_list.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

class FibPlusPlugin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = MakeDemoFolder("qzt-plugin");
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
  void SetUp() override {
    WriteDemoEnvironment(dir);  // one test leaves a different one behind
    server.OnShowServerMessage = [this](TVornServerSocket&, const std::string& l) { log.push_back(l); };
    server.ThreadingModel = tmPooledSessions;
    server.DataBaseSessions = 3;
    if (FirebirdPlugin()) FirebirdPlugin()->DatabaseConnectionString.clear();  // read Environment.ini again
    ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string())) << (log.empty() ? "" : log.back());
    plugin = FirebirdPlugin();
    main = MainDataModule();
  }
  void TearDown() override { DetachFirebirdPlugin(server); }
  bool Logged(const std::string& text) const {
    for (const auto& l : log)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  static fs::path dir;
  std::vector<std::string> log;
  TVornServerSocket server;
  TVornFIBPlusPlugin* plugin = nullptr;
  TFIBDataModule* main = nullptr;
};
fs::path FibPlusPlugin::dir;

TEST_F(FibPlusPlugin, AttachConnectsAndBuildsThePool) {
  EXPECT_TRUE(main->IBDatabase.Connected());
  EXPECT_EQ(server.DataSet, &main->Query);
  EXPECT_EQ(server.MetaDataSet, &main->TableDataSet);
  EXPECT_EQ(server.SessionPoolSize(), 3);
  EXPECT_EQ(plugin->ConnectionDescription(), "localhost:" + (dir / "demo.fdb").string());
  EXPECT_EQ(plugin->DBUserName, "SYSDBA");
  EXPECT_EQ(plugin->DBPassword, "masterkey");
  EXPECT_TRUE(server.OnSubmitSQL && server.ThreadedDBSupplyQuery && server.OnStoredProcedure);
}

TEST_F(FibPlusPlugin, HooksOnlyUnassignedEvents) {
  TVornServerSocket other;
  bool mine = false;
  other.OnClientAuthenticate = [&](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                   const std::string&, TVornParamList&, bool&, TComponent*&) { mine = true; };
  plugin->OnClientAuthenticate = [](TVornServerSocket&, TUserRecord&, const std::string&, const std::string&,
                                    const std::string&, TVornParamList&, bool&, TComponent*&) {};
  plugin->SetServerSocket(&other);
  TUserRecord* none = nullptr;
  (void)none;
  TVornParamList reply;
  bool verified = false;
  TComponent* session = nullptr;
  TUserRecord record(&other, &other.Users(), nullptr, false);
  other.OnClientAuthenticate(other, record, "u", "p", "a", reply, verified, session);
  EXPECT_TRUE(mine);  // the host's own handler wins
  EXPECT_TRUE(other.OnSubmitSQL);
  plugin->SetServerSocket(&server);
}

TEST_F(FibPlusPlugin, MissingDatabaseSettingsUseTheDefaults) {
  std::ofstream(dir / "Environment.ini") << "[SYSTEM]\n";
  TVornServerSocket s;
  s.OnShowServerMessage = [this](TVornServerSocket&, const std::string& l) { log.push_back(l); };
  plugin->DatabaseConnectionString.clear();
  EXPECT_FALSE(AttachFirebirdPlugin(s, dir.string()));  // 127.0.0.1:D:\Database\QZT\QZT.FDB is not reachable
  EXPECT_EQ(plugin->DatabaseConnectionString, "D:\\Database\\QZT\\QZT.FDB");
  EXPECT_EQ(plugin->Host, "127.0.0.1");
  EXPECT_EQ(plugin->DBPassword, Unscramble("D04E9A31F7C2"));
  EXPECT_FALSE(log.empty());
}

TEST_F(FibPlusPlugin, SuppliesComponentsByAction) {
  TComponent* q = nullptr;
  server.ThreadedDBSupplyQuery(nullptr, nullptr, ttExec, "", false, q, 0);
  EXPECT_EQ(q, &main->ExecQuery);
  server.ThreadedDBSupplyQuery(nullptr, nullptr, ttSelect, "ALIAS", false, q, 0);  // no alias table: default
  EXPECT_EQ(q, &main->Query);
  server.ThreadedDBSupplyQuery(nullptr, nullptr, ttTransactionStart, "", false, q, 0);
  EXPECT_EQ(q, &main->IBTransaction);
  TComponent* session = nullptr;
  server.ThreadedDBSupplySession(nullptr, "", session);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(session->Name.rfind("DataDataModule", 0), 0u);
  delete session;
}

TEST_F(FibPlusPlugin, SelectsWithAndWithoutParameters) {
  server.OnSubmitSQL(nullptr, &main->Query, "", "select count(*) from items", 0);
  EXPECT_EQ(main->Query.Fields(0).AsInteger(), 210);
  TVornParamList params;
  params.NewParam(ftInteger, "ID", ptInput).SetAsInteger(3);
  params.NewParam(ftBlob, "SKIPPED", ptInput);  // blob values are not logged
  server.LogEnabled = true;
  server.OnSubmitSQLParams(nullptr, &main->Query, "", "select item_id, code from items where item_id = :ID", params);
  EXPECT_EQ(main->Query.FieldByName("CODE").AsString(), "P1002");
  EXPECT_TRUE(Logged("ID:3"));
  server.OnSubmitSQL(nullptr, &main->Query, "", "select broken from", 0);
  EXPECT_TRUE(Logged("SQL error code"));  // reported, not raised
}

TEST_F(FibPlusPlugin, ExecListsStopAtTheFirstFailure) {
  TVornParamList none;
  bool ok = false;
  std::string error;
  server.OnExecSQLParamList(nullptr, &main->ExecQuery, "",
                            "insert into customers (name) values ('first')\r\n   \r\n"
                            "insert into missing_table values (1)\ninsert into customers (name) values ('third')",
                            ok, error, none);
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("MISSING_TABLE"), std::string::npos) << error;
  server.OnSubmitSQL(nullptr, &main->Query, "", "select count(*) from customers where name in ('first', 'third')", 0);
  EXPECT_EQ(main->Query.Fields(0).AsInteger(), 1);  // the first stays committed
  ok = false;
  server.OnExecSQLParamList(nullptr, &main->ExecQuery, "", "delete from customers where name = 'first'\n\n", ok,
                            error, none);
  EXPECT_TRUE(ok);
}

TEST_F(FibPlusPlugin, StoredProcedures) {
  TVornParamList p;
  p.NewParam(ftInteger, "ITEM_ID", ptInput).SetAsInteger(7);
  p.NewParam(ftInteger, "QTY", ptInput).SetAsInteger(2);
  p.NewParam(ftInteger, "NEW_STOCK", ptOutput);
  p.NewParam(ftString, "NOT_AN_OUTPUT", ptOutput).SetAsString("kept");
  server.OnStoredProcedure(nullptr, &main->Query, "", "ADD_STOCK", p, true);
  EXPECT_FALSE(p.RequireParam("NEW_STOCK").IsNull());
  EXPECT_EQ(p.RequireParam("NOT_AN_OUTPUT").AsString(), "kept");

  TVornParamList s;
  s.NewParam(ftDateTime, "FROM_DATE", ptInput).SetAsDateTime(EncodeDate(2026, 1, 1));
  s.NewParam(ftDateTime, "TO_DATE", ptInput).SetAsDateTime(EncodeDate(2027, 1, 1));
  server.OnStoredProcedure(nullptr, &main->Query, "", "SALES_BY_ITEM", s, false);
  EXPECT_EQ(main->Query.SelectSQL(), "SELECT * FROM SALES_BY_ITEM\n( :FROM_DATE,:TO_DATE )") << (log.empty() ? "" : log.back());
  EXPECT_TRUE(main->Query.Active());
  EXPECT_GT(main->Query.RecordCount(), 0);
}

TEST_F(FibPlusPlugin, AutoIncrementBlobsAndTransactions) {
  int32_t value = -1;
  server.OnInsertAutoIncrementFetch(nullptr, &main->Query, "", "items", "item_id", value);
  EXPECT_EQ(value, 210);
  TVornParamList none;
  bool ok = false;
  std::string error;
  server.OnExecSQLParamList(nullptr, &main->ExecQuery, "", "create table empty_one (id integer)", ok, error, none);
  ASSERT_TRUE(ok) << error;
  value = -1;
  server.OnInsertAutoIncrementFetch(nullptr, &main->Query, "", "empty_one", "id", value);
  EXPECT_EQ(value, 0);  // the maximum of an empty table

  std::string blob;
  server.OnFetchBlobEvent(nullptr, &main->Query, "", "items", "photo", "where item_id\r\n = 1", blob);
  EXPECT_GE(blob.size(), 64u);

  server.OnTransactionBegin(nullptr, &main->IBTransaction, "t1");
  EXPECT_TRUE(main->IBTransaction.Active());
  server.OnTransactionEnd(nullptr, &main->IBTransaction, false);
  EXPECT_FALSE(main->IBTransaction.Active());
  server.LogEnabled = true;
  server.OnTransactionBegin(nullptr, &main->IBTransaction, "t2");
  server.OnTransactionEnd(nullptr, &main->IBTransaction, true);
  EXPECT_TRUE(Logged("End Transaction Success"));
}

TEST_F(FibPlusPlugin, HandlersGivenNoComponentReportIt) {
  TVornParamList none;
  bool ok = true;
  std::string error, blob;
  int32_t value = -1;
  server.OnSubmitSQL(nullptr, nullptr, "", "select 1 from rdb$database", 0);
  server.OnSubmitSQLParams(nullptr, nullptr, "", "select 1 from rdb$database", none);
  server.OnExecSQLParamList(nullptr, nullptr, "", "delete from plain", ok, error, none);
  server.OnInsertAutoIncrementFetch(nullptr, nullptr, "", "items", "item_id", value);
  server.OnFetchBlobEvent(nullptr, nullptr, "", "items", "photo", "where item_id = 1", blob);
  server.OnTransactionBegin(nullptr, nullptr, "t");
  server.OnTransactionEnd(nullptr, nullptr, true);
  EXPECT_FALSE(ok);
  EXPECT_EQ(error, "No statement query was supplied for the request");
  EXPECT_EQ(value, -1);
  EXPECT_TRUE(Logged("No select query was supplied for the request"));
  EXPECT_TRUE(Logged("No transaction was supplied for the request"));
}

TEST_F(FibPlusPlugin, AliasesNameDatabasesOfTheirOwn) {
  const fs::path second = dir / "second.fdb";
  if (!fs::exists(second)) CreateDemoDatabase(second.string());
  TVornDataSet aliases;
  aliases.AddFastField("Alias", ftString, 40);
  aliases.AddFastField("Path", ftString, 250);
  aliases.Open();
  aliases.AppendRecord({Variant("SECOND"), Variant(second.string())});
  aliases.AppendRecord({Variant("BROKEN"), Variant((dir / "missing.fdb").string())});
  plugin->AliasDataSet = &aliases;
  TVornParamList none;
  bool ok = false;
  std::string error;
  TComponent* q = nullptr;
  server.ThreadedDBSupplyQuery(nullptr, nullptr, ttExec, "SECOND", false, q, 0);
  server.OnExecSQLParamList(nullptr, q, "SECOND", "insert into customers (name) values ('only in second')", ok,
                            error, none);
  ASSERT_TRUE(ok) << error;

  struct Case {
    const char* alias;
    int count;  // customers named 'only in second' seen through the alias
  } cases[] = {{"SECOND", 1}, {"", 0}, {"UNKNOWN", 0}, {"SECOND", 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alias);
    server.ThreadedDBSupplyQuery(nullptr, nullptr, ttSelect, c.alias, false, q, 0);
    auto& ds = dynamic_cast<TpFIBDataSet&>(*q);
    server.OnSubmitSQL(nullptr, &ds, c.alias, "select count(*) from customers where name = 'only in second'", 0);
    EXPECT_EQ(ds.Fields(0).AsInteger(), c.count);
  }
  EXPECT_EQ(main->AliasDatabases.size(), 1u);  // attached once, kept with the module
  EXPECT_EQ(main->AliasDatabases.at("SECOND").Database->Name.rfind("db_", 0), 0u);
  // An alias whose database cannot be attached raises to the caller and is not listed.
  EXPECT_THROW(server.ThreadedDBSupplyQuery(nullptr, nullptr, ttSelect, "BROKEN", false, q, 0), EFIBError);
  EXPECT_EQ(main->AliasDatabases.count("BROKEN"), 0u);
  plugin->AliasDataSet = nullptr;
}

}  // namespace
}  // namespace qzt
