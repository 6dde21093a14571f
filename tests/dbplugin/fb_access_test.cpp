// The Firebird access layer against an embedded database in a temporary folder.
#include "dbplugin/fb_access.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace qzt {
namespace {

namespace fs = std::filesystem;

class FbAccess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = fs::temp_directory_path() / ("qzt-fb-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  static void TearDownTestSuite() { fs::remove_all(dir); }
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    db.DBName = (dir / (name + ".fdb")).string();
    db.UserName = "SYSDBA";
    db.CreateDatabase();
    tra.DefaultDatabase = &db;
    db.DefaultTransaction = &tra;
  }
  // A statement on the test's database that commits what it does.
  void Wire(TpFIBQuery& q) {
    q.Database = &db;
    q.Transaction = &tra;
    q.Options = qoStartTransaction | qoAutoCommit;
  }
  void Exec(const std::string& sql) {
    TpFIBQuery q;
    Wire(q);
    q.SetSQL(sql);
    q.ExecQuery();
  }
  static fs::path dir;
  TpFIBDatabase db;
  TpFIBTransaction tra;
};
fs::path FbAccess::dir;

TEST(FbParams, FoundOutsideLiteralsIdentifiersAndComments) {
  const ParsedSQL p = ParseSQLParams("select ':NOT', \":NOR\" from t where a = :A -- :C\n and b = ? /* :D */ or c = :A");
  EXPECT_EQ(p.Names, (std::vector<std::string>{"A", "", "A"}));
  EXPECT_EQ(p.Text, "select ':NOT', \":NOR\" from t where a = ? -- :C\n and b = ? /* :D */ or c = ?");
}

TEST_F(FbAccess, TypesSizesAndNulls) {
  Exec("create table items (id integer not null, s smallint, big bigint, price numeric(9,2), rate numeric(18,6), "
       "f double precision, d date, t time, ts timestamp, code char(4), name varchar(20), memo blob sub_type text, "
       "bin blob sub_type binary, ok boolean)");
  TpFIBQuery ins;
  Wire(ins);
  ins.SetSQL("insert into items values (:ID, :S, :BIG, :PRICE, :RATE, :F, :D, :T, :TS, :CODE, :NAME, :MEMO, :BIN, :OK)");
  ins.Params.ParamByName("ID").Value = Variant(int32_t{1});
  ins.Params.ParamByName("S").Value = Variant::Int16(-3);
  ins.Params.ParamByName("BIG").Value = Variant(int64_t{-5000000000});
  ins.Params.ParamByName("PRICE").Value = Variant::Currency(123450);  // 12.345 rounds to 12.34 or 12.35
  ins.Params.ParamByName("RATE").Value = Variant(1.25);
  ins.Params.ParamByName("F").Value = Variant(0.1);
  ins.Params.ParamByName("D").Value = Variant::Date(EncodeDate(2024, 3, 5));
  ins.Params.ParamByName("T").Value = Variant::Date(EncodeTime(13, 14, 15, 160));
  // Before 1899-12-30 the time of day is subtracted: the date part truncates toward zero.
  ins.Params.ParamByName("TS").Value = Variant::Date(EncodeDate(1850, 1, 2) - EncodeTime(6, 0, 0, 0));
  ins.Params.ParamByName("CODE").Value = Variant("AB");
  ins.Params.ParamByName("NAME").Value = Variant("\xC7\xD1\xB1\xDB");
  ins.Params.ParamByName("MEMO").Value = Variant("line one\r\nline two");
  ins.Params.ParamByName("BIN").Value = Variant::Bytes(std::string("\0\xFF\x01", 3));
  ins.Params.ParamByName("OK").Value = Variant(true);
  ins.ExecQuery();
  EXPECT_EQ(ins.RowsAffected(), 1);
  ins.Params.ParamByName("ID").Value = Variant(int32_t{2});
  for (const char* n : {"S", "BIG", "PRICE", "RATE", "F", "D", "T", "TS", "CODE", "NAME", "MEMO", "BIN", "OK"})
    ins.Params.ParamByName(n).Clear();
  ins.ExecQuery();

  TpFIBDataSet ds;
  ds.Database = &db;
  ds.Transaction = &tra;
  ds.SetSelectSQL("select * from items order by id");
  ds.Open();
  struct Expect {
    const char* name;
    TFieldType type;
    int size;
    std::string text;
  } expected[] = {
      {"ID", ftInteger, 0, "1"},         {"S", ftSmallint, 0, "-3"},
      {"BIG", ftLargeint, 0, "-5000000000"}, {"PRICE", ftBCD, 0, "12.34"},
      {"RATE", ftFMTBcd, 0, "1.25"},     {"F", ftFloat, 0, "0.1"},
      {"D", ftDate, 0, "2024-03-05"},    {"T", ftTime, 0, "13:14:15"},
      {"TS", ftDateTime, 0, "1850-01-02 06:00:00"}, {"CODE", ftFixedChar, 4, "AB  "},
      {"NAME", ftString, 20, "\xC7\xD1\xB1\xDB"}, {"MEMO", ftMemo, 0, "line one\r\nline two"},
      {"BIN", ftBlob, 0, std::string("\0\xFF\x01", 3)}, {"OK", ftBoolean, 0, "True"},
  };
  for (const auto& e : expected) {
    const TField& f = ds.FieldByName(e.name);
    EXPECT_EQ(f.DataType, e.type) << e.name;
    EXPECT_EQ(f.Size, e.size) << e.name;
    EXPECT_EQ(f.AsString(), e.text) << e.name;
  }
  EXPECT_EQ(ds.FieldByName("PRICE").AsCurrency() / 100, 1234);  // 12.345 stored with two places
  EXPECT_TRUE(ds.FieldByName("ID").Required);
  EXPECT_FALSE(ds.FieldByName("NAME").Required);
  ds.Next();
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
  EXPECT_TRUE(ds.FieldByName("MEMO").IsNull());
  EXPECT_FALSE(ds.FieldByName("ID").IsNull());
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_THROW(ds.Edit(), EDatabaseError);
}

TEST_F(FbAccess, RowsAreFetchedAsTheyAreVisited) {
  Exec("create table n (id integer)");
  TpFIBQuery ins;  // one prepared statement executed many times, in one transaction
  ins.Database = &db;
  ins.Transaction = &tra;
  ins.Options = qoStartTransaction;
  ins.SetSQL("insert into n values (?)");
  for (int i = 0; i < 1000; ++i) {
    ins.ParamByPosition(0).Value = Variant(int32_t{i});
    ins.ExecQuery();
  }
  tra.Commit();
  TpFIBDataSet ds;
  ds.Database = &db;
  ds.Transaction = &tra;
  ds.SetSelectSQL("select id from n where id >= ? and id < :TOP order by id");
  ds.ParamByPosition(0).Value = Variant(int32_t{10});
  ds.Params.ParamByName("TOP").Value = Variant(int32_t{500});
  ds.Open();
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 10);
  EXPECT_LT(ds.FetchedCount(), 5);
  EXPECT_EQ(ds.RecordCount(), 490);
  EXPECT_TRUE(ds.AllFetched());
  ds.Last();
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 499);
}

TEST_F(FbAccess, ProcedureOutputsAndErrors) {
  Exec("create procedure twice (x integer) returns (y integer, label varchar(10)) as begin y = x * 2; "
       "label = 'ok'; end");
  TpFIBQuery q;
  Wire(q);
  q.SetSQL("execute procedure twice :X");
  q.Params.ParamByName("X").Value = Variant(int32_t{21});
  q.ExecQuery();
  EXPECT_EQ(q.FieldByName("Y").ToInt32(), 42);
  EXPECT_EQ(q.FieldByName("LABEL").ToString(), "ok");

  q.SetSQL("select nothing from nowhere");
  try {
    q.ExecQuery();
    FAIL();
  } catch (const EFIBError& e) {
    EXPECT_NE(std::string(e.what()).find("NOWHERE"), std::string::npos) << e.what();
  }
  q.SetSQL("insert into missing values (1)");
  EXPECT_THROW(q.ExecQuery(), EFIBError);
  TpFIBDatabase nowhere;
  nowhere.DBName = (dir / "absent.fdb").string();
  EXPECT_THROW(nowhere.Connect(), EFIBError);
}

}  // namespace
}  // namespace qzt
