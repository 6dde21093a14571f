#include <gtest/gtest.h>

#include "dataset/param_dataset.h"
#include "dataset/sql_literals.h"
#include "dataset/sql_parser.h"
#include "dataset/vorn_dataset.h"

namespace qzt {
namespace {

class SqlLiterals : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.AddFastField("S", ftString, 20);
    ds.AddFastField("F", ftFloat, 0);
    ds.AddFastField("B", ftBoolean, 0);
    ds.AddFastField("D", ftDate, 0);
    ds.AddFastField("T", ftTime, 0);
    ds.AddFastField("DT", ftDateTime, 0);
    ds.AddFastField("I", ftInteger, 0);
    ds.Open();
    ds.AppendRecord({Variant("O'Brien"), Variant(1.5), Variant(true), Variant::Date(EncodeDate(2023, 12, 25)),
                     Variant::Date(EncodeTime(10, 30, 5, 0)),
                     Variant::Date(EncodeDate(2023, 12, 25) + EncodeTime(10, 30, 5, 0)), Variant::Null()});
  }
  std::string Base(const char* f, bool boolInt = false, bool dq = false, bool ms = false) {
    return BaseSQLLiteral(ds, f, boolInt, dq, ms);
  }
  std::string Lit(const char* f, TVornServerSQLOptions o, TSQLDialect d, const char* mask = "") {
    return FieldToSQLLiteral(ds, f, mask, o, d);
  }
  TVornDataSet ds;
};

TEST_F(SqlLiterals, BaseLiterals) {
  EXPECT_EQ(Base("S"), "'O''Brien'");
  EXPECT_EQ(Base("S", false, true), "\"O'Brien\"");
  EXPECT_EQ(Base("B"), "True");
  EXPECT_EQ(Base("B", true), "1");
  EXPECT_EQ(Base("F"), "1.5");
  EXPECT_EQ(Base("I"), "NULL");
  EXPECT_EQ(Base("D"), "'2023-12-25'");
  EXPECT_EQ(Base("T"), "{ts '10:30:05'}");
  EXPECT_EQ(Base("DT"), "{ts '2023-12-25 10:30:05'}");
  EXPECT_EQ(Base("DT", false, false, true), "{ts '2023-12-25 10::30::05'}");
  ds.Edit();
  for (double v : {0.0, 100.0}) {
    ds.FieldByName("F").SetAsFloat(v);
    EXPECT_EQ(Base("F"), v == 0 ? "0" : "100");
  }
}

TEST_F(SqlLiterals, DialectsAndMasks) {
  EXPECT_EQ(Lit("DT", 0, sqlMSSQLServer), "{ts '2023-12-25 10::30::05'}");
  EXPECT_EQ(Lit("D", SQLOption(ssNoQuotesInDates), sqlInterbase, "dd.mm.yyyy"), "25.12.2023");
  EXPECT_EQ(Lit("D", 0, sqlInterbase, "dd.mm.yyyy"), "'25.12.2023'");
  EXPECT_EQ(Lit("D", SQLOption(ssUSDatesForLocalSQL), sqlLocalSQL), "'12/25/2023'");
  EXPECT_EQ(Lit("DT", SQLOption(ssUSDatesForLocalSQL), sqlLocalSQL), "'12/25/2023 10:30:05'");
  EXPECT_EQ(Lit("D", 0, sqlLocalSQL), "'2023-12-25'");
  EXPECT_EQ(Lit("D", 0, sqlAccess), "#2023-12-25#");
  EXPECT_EQ(Lit("DT", 0, sqlAccess), "#2023-12-25 10:30:05#");
  EXPECT_EQ(Lit("D", 0, sqlOracle), "'25-Dec-2023'");
  EXPECT_EQ(Lit("DT", 0, sqlOracle), "'25-Dec-2023 10:30:05'");
  EXPECT_EQ(Lit("T", 0, sqlOracle), "{ts '10:30:05'}");
  EXPECT_EQ(Lit("I", 0, sqlAccess), "NULL");
}

TEST(SqlText, BuilderAndHelpers) {
  EXPECT_EQ(BuildInsertSQL("T", {" A ", "B"}, {"1", "'x'"}, true), "Insert Into T (A,B)\r Values (1,'x');");
  EXPECT_EQ(BuildInsertSQL("T", {"A"}, {"1"}, false), "Insert Into T (A)\r Values (1)");
  EXPECT_EQ(SafeIdentifier("my/tab$1 x"), "my_tab_1_x");
  EXPECT_EQ(QuoteSQLString("a'b''"), "a''b''''");
  EXPECT_EQ(SQLDate(EncodeDate(2023, 1, 2)), "2023-01-02");

  TVornDataSet ds;
  ds.AddFastField("A", ftString, 5);
  ds.AddFastField("B", ftString, 5);
  ds.Open();
  ds.AppendRecord({Variant("x"), Variant("X")});
  EXPECT_TRUE(FieldsDiffer(ds.FieldByName("A"), ds.FieldByName("B"), false));
  EXPECT_TRUE(FieldsDiffer(ds.FieldByName("A"), ds.FieldByName("A"), true));
  ds.Edit();
  ds.FieldByName("A").Clear();
  EXPECT_TRUE(FieldsDiffer(ds.FieldByName("A"), ds.FieldByName("B"), false));
  ds.FieldByName("B").Clear();
  EXPECT_FALSE(FieldsDiffer(ds.FieldByName("A"), ds.FieldByName("B"), false));
}

TEST(SqlParser, SplitsStatements) {
  TVornSQLParser p;
  p.SQL = "select a, b c\r\nfrom t1 x, t2 where a=1 order by b";
  p.Parse();
  EXPECT_EQ(p.Fields, (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(p.Tables, (std::vector<std::string>{"t1", "t2"}));
  EXPECT_EQ(p.Correlations, (std::vector<std::string>{"x", ""}));
  EXPECT_EQ(p.Where, "a=1");
  EXPECT_EQ(p.Order, (std::vector<std::string>{"b"}));
  EXPECT_FALSE(p.HasExpressions);

  p.SQL = "SELECT fromage, count(*) FROM cheese GROUP BY fromage HAVING count(*) > 1";
  p.Parse();
  EXPECT_EQ(p.Fields, (std::vector<std::string>{"fromage", "count(*)"}));
  EXPECT_EQ(p.Tables, (std::vector<std::string>{"cheese"}));
  EXPECT_EQ(p.Group, (std::vector<std::string>{"fromage"}));
  EXPECT_EQ(p.Having, "count(*) > 1");
  EXPECT_TRUE(p.HasExpressions);

  p.SQL = "delete from items where id = :ID";
  p.Parse();
  EXPECT_EQ(p.DeleteTable, "items");
  EXPECT_TRUE(p.Tables.empty());
  EXPECT_EQ(p.Params, (std::vector<std::string>{"ID"}));

  p.SQL = "insert into items(id, name) values (:ID, :NAME)";
  p.Parse();
  EXPECT_EQ(p.InsertTable, "items");
  EXPECT_EQ(p.Fields, (std::vector<std::string>{"ID", "NAME"}));

  p.SQL = "update items set name = 'a:b' where id = :ID";
  p.Parse();
  EXPECT_EQ(p.UpdateTable, "items");
  EXPECT_EQ(p.Params, (std::vector<std::string>{"ID"}));

  p.SQL = "select * from t";
  p.Parse();
  EXPECT_FALSE(p.HasExpressions);
  p.SQL = "";
  p.Parse();
  EXPECT_TRUE(p.Fields.empty());
}

TEST(SqlParams, FoundOutsideLiteralsAndComments) {
  EXPECT_EQ(ScanSQLParams("select :A, ':B', \":C\", x::int -- :D\n, /* :E */ :A, :f_1 from t"),
            (std::vector<std::string>{"A", "f_1"}));
}

TEST(ParamListDataSet, OneRecordPerItem) {
  TVornParamList list;
  EXPECT_EQ(ToDataSet(list), nullptr);
  list.NewParam(ftInteger, "ID", ptOutput);
  list.NewParam(ftString, "NAME", ptInput);
  auto ds = ToDataSet(list);
  ASSERT_EQ(ds->RecordCount(), 2);
  EXPECT_EQ(ds->FieldByName("Name").Size, 255);
  ds->Last();
  EXPECT_EQ(ds->FieldByName("Name").AsString(), "NAME");
  EXPECT_EQ(ds->FieldByName("DataType").AsInteger(), ftString);
  EXPECT_EQ(ds->FieldByName("ParamType").AsInteger(), ptInput);
}

}  // namespace
}  // namespace qzt
