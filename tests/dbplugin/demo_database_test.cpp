// The demo database: its tables, keys, procedures, view, blobs and Korean names.
#include "dbplugin/demo_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dbplugin/fb_access.h"
#include "platform/text_encoding.h"

namespace qzt {
namespace {

namespace fs = std::filesystem;

class DemoDatabase : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = fs::temp_directory_path() / ("qzt-demo-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    counts = CreateDemoDatabase((dir / "demo.fdb").string());
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
  void SetUp() override {
    db.DBName = (dir / "demo.fdb").string();
    db.UserName = "SYSDBA";
    db.DefaultTransaction = &tra;
    tra.DefaultDatabase = &db;
    db.Connect();
  }
  Variant One(const std::string& sql) {
    TpFIBDataSet ds;
    ds.Database = &db;
    ds.Transaction = &tra;
    ds.SetSelectSQL(sql);
    ds.Open();
    return ds.Fields(0).AsVariant();
  }
  static fs::path dir;
  static DemoCounts counts;
  TpFIBTransaction tra;
  TpFIBDatabase db;
};
fs::path DemoDatabase::dir;
DemoCounts DemoDatabase::counts;

TEST_F(DemoDatabase, HoldsAFewThousandRows) {
  EXPECT_EQ(One("select count(*) from items").ToInt64(), counts.Items);
  EXPECT_EQ(One("select count(*) from sale_lines").ToInt64(), counts.SaleLines);
  EXPECT_GT(counts.Items + counts.Customers + counts.Sales + counts.SaleLines, 4000);
  EXPECT_EQ(Cp949ToUtf8(One("select name from items where item_id = 1").ToString()), "사과 소 1호");
  EXPECT_EQ(One("select count(*) from items where photo is not null").ToInt64(), counts.Items);
  EXPECT_GT(One("select count(*) from items where note is not null").ToInt64(), 0);
  EXPECT_EQ(One("select count(*) from v_sale_totals").ToInt64(), counts.Sales);
}

TEST_F(DemoDatabase, KeysProceduresAndView) {
  TpFIBQuery q;
  q.Database = &db;
  q.Transaction = &tra;
  q.Options = qoStartTransaction | qoAutoCommit;
  q.SetSQL("insert into customers (name) values (:NAME) returning cust_no");
  q.Params.ParamByName("NAME").Value = Variant("new");
  q.ExecQuery();
  EXPECT_EQ(q.Fields.at(0).ToInt64(), counts.Customers + 1);  // the trigger took the next generator value

  const int64_t before = One("select stock from items where item_id = 5").ToInt64();
  q.SetSQL("execute procedure add_stock :ITEM, :QTY");
  q.Params.ParamByName("ITEM").Value = Variant(int32_t{5});
  q.Params.ParamByName("QTY").Value = Variant(int32_t{3});
  q.ExecQuery();
  EXPECT_EQ(q.FieldByName("NEW_STOCK").ToInt64(), before + 3);

  TpFIBDataSet ds;
  ds.Database = &db;
  ds.Transaction = &tra;
  ds.SetSelectSQL("select * from sales_by_item(:FROM_DATE, :TO_DATE) order by qty_total desc");
  ds.Params.ParamByName("FROM_DATE").Value = Variant::Date(EncodeDate(2026, 1, 1));
  ds.Params.ParamByName("TO_DATE").Value = Variant::Date(EncodeDate(2027, 1, 1));
  ds.Open();
  EXPECT_GT(ds.RecordCount(), 100);
  EXPECT_EQ(ds.FieldByName("AMOUNT").DataType, ftBCD);
}

}  // namespace
}  // namespace qzt
