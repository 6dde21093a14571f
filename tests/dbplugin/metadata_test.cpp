// Metadata answers from the system catalogue of the demo database.
#include "dbplugin/metadata.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dbplugin/demo_folder.h"
#include "dbplugin/fibplus_plugin.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

class Metadata : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = MakeDemoFolder("qzt-meta");
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
  void SetUp() override {
    server.ThreadingModel = tmSingleSession;
    server.OnShowServerMessage = [this](TVornServerSocket&, const std::string& l) { log.push_back(l); };
    if (FirebirdPlugin()) FirebirdPlugin()->DatabaseConnectionString.clear();
    ASSERT_TRUE(AttachFirebirdPlugin(server, dir.string()));
  }
  void TearDown() override { DetachFirebirdPlugin(server); }
  // The answer's rows as "a,b,c" lines joined by spaces.
  std::string Ask(TVornMetaData kind, const std::string& name = "") {
    server.MetaDataSet = nullptr;
    server.OnFetchMetaData(nullptr, kind, "", name, "");
    EXPECT_NE(server.MetaDataSet, nullptr);
    if (!server.MetaDataSet) return "";
    TDataSet& ds = *server.MetaDataSet;
    std::string out;
    for (ds.First(); !ds.Eof(); ds.Next()) {
      std::string row;
      for (int i = 0; i < ds.FieldCount(); ++i) row += (i ? "," : "") + ds.Fields(i).AsString();
      out += (out.empty() ? "" : " ") + row;
    }
    return out;
  }
  static fs::path dir;
  std::vector<std::string> log;
  TVornServerSocket server;
};
fs::path Metadata::dir;

TEST_F(Metadata, TablesViewsProceduresAndSystemTables) {
  const std::string tables = Ask(mdTables);
  for (const char* t : {"ITEMS,,", "CUSTOMERS,,", "SALES,,", "SALE_LINES,,"})
    EXPECT_NE(tables.find(t), std::string::npos) << t;
  EXPECT_EQ(tables.find("V_SALE_TOTALS"), std::string::npos);
  EXPECT_EQ(Ask(mdViews), "V_SALE_TOTALS,,");
  const std::string procs = Ask(mdStoredProcs);
  EXPECT_NE(procs.find("ADD_STOCK"), std::string::npos);
  EXPECT_NE(procs.find("SALES_BY_ITEM"), std::string::npos);
  EXPECT_NE(Ask(mdSystemTables).find("RDB$RELATIONS"), std::string::npos);
}

TEST_F(Metadata, FieldsKeysIndexesAndTriggers) {
  const std::string fields = Ask(mdFields, "CUSTOMERS");
  EXPECT_EQ(fields.rfind("CUST_NO,3,4 NAME,1,60 PHONE,1,20 ", 0), 0u) << fields;
  EXPECT_EQ(Ask(mdPrimeKeys, "ITEMS"), "ITEM_ID");
  const std::string fks = Ask(mdForeignKeys, "SALE_LINES");
  EXPECT_NE(fks.find("SALE_ID,SALE_LINES,"), std::string::npos) << fks;
  EXPECT_NE(fks.find("ITEM_ID,SALE_LINES,"), std::string::npos) << fks;
  EXPECT_FALSE(Ask(mdIndexes, "ITEMS").empty());
  EXPECT_EQ(Ask(mdIndexes, "items"), "");  // the catalogue name is compared upper-cased
  EXPECT_EQ(Ask(mdTriggers, "ITEMS"), "ITEMS_BI,ITEMS,1,");
  EXPECT_EQ(Ask(mdFields, "IT'EMS"), "");  // a quote in the name finds nothing
  EXPECT_TRUE(log.empty() || log.back().find("MetaData Error") == std::string::npos);
}

TEST_F(Metadata, ProcedureColumnsAndOtherKinds) {
  TVornParamList none;
  bool ok = false;
  std::string error;
  server.OnExecSQLParamList(nullptr, &MainDataModule()->ExecQuery, "", "create procedure one_each (x integer) "
                            "returns (y varchar(10)) as begin y = 'a'; end", ok, error, none);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(Ask(mdStoredProcColumns, "ONE_EACH"), "X,1,3 Y,2,1");
  EXPECT_EQ(server.MetaDataSet, &MainDataModule()->VornStoredProcColumnDataSet);
  EXPECT_EQ(Ask(mdDBMSName), "");  // no alias table: no rows
  EXPECT_EQ(server.MetaDataSet->FieldCount(), 7);
  EXPECT_EQ(Ask(mdVCLFields), "");
  EXPECT_EQ(Ask(mdServerDataSets), "");  // unknown here: the one-column default table
  EXPECT_EQ(server.MetaDataSet->Fields(0).FieldName, "Default");
}

TEST_F(Metadata, ErrorsGoToTheClientAndTheLog) {
  MainDataModule()->Query.Close();
  MainDataModule()->IBDatabase.Disconnect();
  server.MetaDataSet = nullptr;
  server.OnFetchMetaData(nullptr, mdTables, "", "", "");
  EXPECT_EQ(server.MetaDataSet, nullptr);  // left as it was
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().rfind("Stored MetaData Error: ", 0), 0u) << log.back();
}

}  // namespace
}  // namespace qzt
