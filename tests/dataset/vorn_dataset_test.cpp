#include <gtest/gtest.h>

#include "dataset/vorn_dataset.h"
#include "dataset_fixtures.h"
#include "platform/text_encoding.h"

namespace qzt {
namespace {

using test::Column;
using test::FillItems;

TEST(VornDataSet, DefinitionLinesParseFromTheEnd) {
  const TFieldDef d = TVornCustomDataSet::ParseFastField("A,B,1,20");
  EXPECT_EQ(d.Name, "A,B");
  EXPECT_EQ(d.DataType, ftString);
  EXPECT_EQ(d.Size, 20);
  const TFieldDef g = TVornCustomDataSet::ParseFastField("G,35,x");
  EXPECT_EQ(g.Size, 38);
  EXPECT_EQ(TVornCustomDataSet::ParseFastField("N,zz,5").DataType, ftUnknown);
}

TEST(VornDataSet, NavigationEditingAndBookmarks) {
  TVornDataSet ds;
  FillItems(ds);
  EXPECT_EQ(ds.RecordCount(), 3);
  EXPECT_TRUE(ds.Bof());
  ds.Last();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 3);
  const TBookmark third = ds.GetBookmark();
  ds.First();
  ds.Next();
  ds.Insert();  // before the current record in the stored order
  ds.FieldByName("ID").SetAsInteger(9);
  ds.Post();
  EXPECT_EQ(Column(ds, "ID"), "1 9 2 3");
  ds.GotoBookmark(third);
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("cherries");
  ds.Cancel();
  EXPECT_EQ(ds.FieldByName("NAME").AsString(), "cherry");
  ds.Delete();
  EXPECT_EQ(Column(ds, "ID"), "1 9 2");
  EXPECT_FALSE(ds.BookmarkValid(third));
  try {
    ds.GotoBookmark(third);
    FAIL();
  } catch (const EVornBookMarkError& e) {
    EXPECT_EQ(Cp949ToUtf8(e.Message), "북마크가 없습니다");
  }
  ds.First();
  try {
    ds.FieldByName("ID").SetAsInteger(5);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(Cp949ToUtf8(e.Message), "데이터셋이 수정 또는 저장 모드가 아닙니다");
  }
  EXPECT_EQ(ds.MoveBy(5), 2);
  EXPECT_TRUE(ds.Eof());
}

TEST(VornDataSet, NullsLocateAndLookup) {
  TVornDataSet ds;
  FillItems(ds);
  ds.Append();
  EXPECT_TRUE(ds.FieldByName("NAME").IsNull());
  ds.FieldByName("NAME").SetAsString("");
  EXPECT_FALSE(ds.FieldByName("NAME").IsNull());  // an empty string is a value
  ds.Post();
  EXPECT_TRUE(ds.FieldByName("ID").IsNull());

  EXPECT_TRUE(ds.Locate("NAME", {Variant("BANANA")}, loCaseInsensitive));
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 2);
  EXPECT_TRUE(ds.Locate("NAME", {Variant("che")}, loPartialKey));
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);
  EXPECT_FALSE(ds.Locate("NAME", {Variant("banana")}, 0));
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 3);  // a failed locate does not move
  EXPECT_TRUE(ds.Locate("ID", {Variant::Null()}));
  EXPECT_TRUE(ds.Locate("ID;PRICE", {Variant("1"), Variant(1.5)}));
  ds.Last();
  EXPECT_EQ(ds.Lookup("ID", {Variant(int32_t{3})}, "NAME"), Variant("cherry"));
  EXPECT_TRUE(ds.Lookup("ID", {Variant(int32_t{8})}, "NAME").IsNull());
  EXPECT_TRUE(ds.FieldByName("ID").IsNull());  // Lookup does not move either
}

TEST(VornDataSet, FiltersCalculatedAndLookupFields) {
  TVornDataSet names;
  names.AddFastField("K", ftInteger, 0);
  names.AddFastField("LABEL", ftString, 10);
  names.Open();
  names.AppendRecord({Variant(int32_t{2}), Variant("two")});

  TVornDataSet ds;
  ds.AddField("ID", ftInteger);
  ds.AddField("NAME", ftString, 20);
  ds.AddField("PRICE", ftFloat);
  ds.AddField("DOUBLE", ftFloat, 0, fkCalculated);
  TField& label = ds.AddField("LABEL", ftString, 10, fkLookup);
  label.LookupDataSet = &names;
  label.KeyFields = "ID";
  label.LookupKeyFields = "K";
  label.LookupResultField = "LABEL";
  ds.OnCalcFields = [](TDataSet& d) { d.FieldByName("DOUBLE").SetAsFloat(d.FieldByName("PRICE").AsFloat() * 2); };
  FillItems(ds);
  EXPECT_EQ(Column(ds, "DOUBLE"), "3 0.5 14");
  EXPECT_EQ(Column(ds, "LABEL"), " two ");

  ds.Filter = "PRICE > 1 and UPPER(NAME) like '%E%'";
  ds.Filtered = true;
  EXPECT_EQ(Column(ds, "ID"), "1 3");
  EXPECT_EQ(ds.RecordCount(), 2);
  ds.Filter = "DOUBLE < 1";  // calculated fields can be filtered on
  EXPECT_EQ(Column(ds, "ID"), "2");
  ds.Filter = "";
  ds.OnFilterRecord = [](TDataSet& d, bool& accept) { accept = d.FieldByName("ID").AsInteger() != 2; };
  EXPECT_EQ(Column(ds, "ID"), "1 3");
  ds.Filtered = false;
  EXPECT_EQ(Column(ds, "ID"), "1 2 3");
}

TEST(VornDataSet, PersistentFieldsMustMatchTheDefinitions) {
  TVornDataSet ds("Items");
  ds.AddField("ID", ftLargeint);  // integer kinds match each other
  ds.AddFastField("ID", ftInteger, 0);
  EXPECT_NO_THROW(ds.Open());
  ds.Close();
  ds.AddField("MISSING", ftString, 5);
  try {
    ds.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Items:Field 'MISSING' not found");
  }
  EXPECT_FALSE(ds.Active());
}

TEST(VornDataSet, RequiredReadOnlyAndRanges) {
  TVornDataSet ds("T");
  ds.AddFastField("ID", ftSmallint, 0);
  ds.FieldDefs = {{"ID", ftSmallint, 0, true}};
  ds.Open();
  ds.Append();
  try {
    ds.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "T: Field 'ID' must have a value");
  }
  EXPECT_THROW(ds.FieldByName("ID").SetAsInteger(40000), EDatabaseError);
  ds.Cancel();
  ds.ReadOnly = true;
  EXPECT_THROW(ds.AppendRecord({Variant(int32_t{1})}), EDatabaseError);
}

TEST(VornDataSet, BlobsLiveAndDieWithTheirRecords) {
  TVornDataSet ds;
  ds.AddFastField("ID", ftInteger, 0);
  ds.AddFastField("DOC", ftBlob, 0);
  ds.Open();
  ds.AppendRecord({Variant(int32_t{1}), Variant("one")});
  ds.AppendRecord({Variant(int32_t{2}), Variant("two")});
  EXPECT_EQ(ds.BlobCount(), 2);
  {
    auto w = ds.CreateBlobStream(ds.FieldByName("DOC"), TBlobStreamMode::bmWrite);
    ds.Edit();
    w->Write("rewritten");
  }
  ds.Post();
  EXPECT_EQ(ds.FieldByName("DOC").AsString(), "rewritten");
  ds.Edit();
  ds.FieldByName("DOC").SetAsString("changed");
  ds.Cancel();  // the replaced content comes back
  EXPECT_EQ(ds.FieldByName("DOC").AsString(), "rewritten");
  ds.Edit();
  ds.FieldByName("DOC").SetAsString("");
  ds.Post();
  EXPECT_TRUE(ds.FieldByName("DOC").IsNull());
  ds.Delete();
  EXPECT_EQ(ds.BlobCount(), 1);
  EXPECT_EQ(ds.SaveToString().find("rewritten"), std::string::npos);
  ds.Append();
  ds.FieldByName("DOC").SetAsString("dropped");
  ds.Cancel();
  EXPECT_EQ(ds.BlobCount(), 1);
}

TEST(VornDataSet, IndexesOrderAndAreMaintained) {
  TVornDataSet ds;
  FillItems(ds);
  ds.SetIndexFieldNames("NAME");
  EXPECT_EQ(Column(ds, "NAME"), "Banana apple cherry");  // byte order
  ds.AddIndex("ByNameCI", "NAME", ioCaseInsensitive | ioDescending);
  ds.SetIndexName("ByNameCI");
  EXPECT_EQ(Column(ds, "NAME"), "cherry Banana apple");
  ds.AppendRecord({Variant(int32_t{4}), Variant("date"), Variant(2.0)});
  EXPECT_EQ(Column(ds, "NAME"), "date cherry Banana apple");
  ds.Locate("ID", {Variant(int32_t{1})});
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("zucchini");
  ds.Post();
  EXPECT_EQ(ds.FieldByName("ID").AsInteger(), 1);  // the posted record stays current
  EXPECT_EQ(Column(ds, "ID"), "1 4 3 2");
  ds.SetIndexName("");
  EXPECT_EQ(Column(ds, "ID"), "1 2 3 4");

  ds.AddIndex("Unique", "PRICE", ioUnique);
  EXPECT_THROW(ds.AppendRecord({Variant(int32_t{5}), Variant("x"), Variant(7.0)}), EDatabaseError);
  ds.Cancel();
  EXPECT_EQ(ds.RecordCount(), 4);
  ds.SetIndexesActive(false);  // bulk work without maintenance, rebuilt when switched back on
  ds.AppendRecord({Variant(int32_t{6}), Variant("aa"), Variant(0.0)});
  ds.SetIndexesActive(true);
  ds.SetIndexName("Unique");
  EXPECT_EQ(Column(ds, "ID"), "6 2 1 4 3");

  TVornDataSet blobs;
  blobs.AddFastField("M", ftMemo, 0);
  blobs.Open();
  try {
    blobs.SetIndexFieldNames("M");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Comparison is not supported for field 'M'");
  }
  EXPECT_THROW(ds.AddIndex(DefaultIndexName, "ID"), EDatabaseError);
}

TEST(VornDataSet, Aggregates) {
  TVornDataSet ds;
  ds.AddFastField("G", ftString, 1);
  ds.AddFastField("V", ftInteger, 0);
  ds.Open();
  for (auto [g, v] : {std::pair{"a", 1}, {"a", 5}, {"b", 10}}) ds.AppendRecord({Variant(g), Variant(int32_t{v})});
  ds.AppendRecord({Variant("b"), Variant::Null()});
  ds.AddIndex("ByG", "G");
  ds.Aggregates.Items = {{"Sum", "V", akSum, "", 0, true},     {"Avg", "V", akAvg, "", 0, true},
                         {"Count", "V", akCount, "", 0, true}, {"Min", "V", akMin, "", 0, true},
                         {"Max", "V", akMax, "", 0, true},     {"GroupSum", "V", akSum, "ByG", 1, true}};
  EXPECT_EQ(ds.AggregateValue("Sum"), Variant(16.0));
  EXPECT_EQ(ds.AggregateValue("Avg"), Variant(16.0 / 3));
  EXPECT_EQ(ds.AggregateValue("Count"), Variant(int64_t{3}));  // nulls are not counted
  EXPECT_EQ(ds.AggregateValue("Min"), Variant(int32_t{1}));
  EXPECT_EQ(ds.AggregateValue("Max"), Variant(int32_t{10}));
  ds.First();
  EXPECT_EQ(ds.AggregateValue("GroupSum"), Variant(6.0));
  ds.Last();
  EXPECT_EQ(ds.AggregateValue("GroupSum"), Variant(10.0));
}

TEST(VornDataSet, CopyingWithOptions) {
  TVornDataSet src;
  FillItems(src);
  src.AddIndex("ByName", "NAME");
  src.Next();
  TVornDataSet all;
  all.CopyFromDataSet(src);
  EXPECT_EQ(Column(all, "NAME"), "apple Banana cherry");
  EXPECT_EQ(all.Indexes.Items.size(), 1u);
  EXPECT_EQ(src.FieldByName("ID").AsInteger(), 2);  // the source keeps its position

  TVornCopyOptions o;
  o.Exclude = {"PRICE"};
  o.TypeOverrides = {{"ID", ftLargeint}};
  o.MaxRecords = 2;
  TVornDataSet part;
  part.CopyFromDataSet(src, o);
  EXPECT_EQ(part.FieldCount(), 2);
  EXPECT_EQ(part.FieldByName("ID").DataType, ftLargeint);
  EXPECT_EQ(part.RecordCount(), 2);
  EXPECT_TRUE(part.Indexes.Items.empty());

  src.First();
  src.Delete();
  TVornCopyOptions keep;
  keep.KeepBookmarks = true;
  TVornDataSet kept;
  kept.CopyFromDataSet(src, keep);
  EXPECT_EQ(kept.CurrentRecordId(), 2);
  EXPECT_EQ(kept.NextRecordId(), 4);
}

TEST(VornDataSet, MasterDetail) {
  TVornDataSet master;
  FillItems(master);
  TVornDataSet detail;
  detail.AddFastField("ITEM", ftInteger, 0);
  detail.AddFastField("QTY", ftInteger, 0);
  detail.Open();
  for (auto [i, q] : {std::pair{1, 10}, {2, 20}, {1, 11}, {3, 30}})
    detail.AppendRecord({Variant(int32_t{i}), Variant(int32_t{q})});
  detail.SetIndexFieldNames("ITEM");
  detail.MasterFields = "ID";
  TDataSource source{&master};
  detail.SetMasterSource(&source);
  master.First();
  EXPECT_EQ(Column(detail, "QTY"), "10 11");
  master.Last();
  EXPECT_EQ(Column(detail, "QTY"), "30");
  TDataSource back{&detail};
  try {
    master.SetMasterSource(&back);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Circular Reference to DataSource");
  }
}

TEST(VornDataSet, ConstraintsAndDefaultExpressions) {
  TVornDataSet ds;
  ds.AddFastField("QTY", ftInteger, 0);
  ds.AddFastField("STATE", ftString, 10);
  ds.AddField("QTY", ftInteger).CustomConstraint = "QTY > 0";
  ds.FieldByName("QTY").ConstraintErrorMessage = "positive";
  ds.FieldByName("QTY").DisplayLabel = "Quantity";
  ds.AddField("STATE", ftString, 10).DefaultExpression = "'new'";
  ds.Constraints.push_back({"STATE <> 'bad'", "not bad", "", false});
  ds.Open();
  ds.Append();
  EXPECT_EQ(ds.FieldByName("STATE").AsString(), "new");
  ds.FieldByName("QTY").SetAsInteger(0);
  try {
    ds.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Field [Quantity] custom constraint failed.\n[positive]");
  }
  ds.FieldByName("QTY").SetAsInteger(1);
  ds.FieldByName("STATE").SetAsString("bad");
  try {
    ds.Post();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Record custom constraint failed.\n[not bad]");
  }
  ds.FieldByName("STATE").SetAsString("ok");
  ds.Post();
  EXPECT_EQ(ds.RecordCount(), 1);

  TVornDataSet broken;
  broken.AddFastField("A", ftInteger, 0);
  broken.Constraints.push_back({"A >", "", "", false});
  try {
    broken.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message.rfind("Failed to compile custom record constraint\n[", 0), 0u) << e.Message;
  }
}

TEST(VornDataSet, AutoCreatedCalculatedFields) {
  TVornDataSet ds;
  TAutoCreateCalcField& a = ds.AutoCreateCalcFields.Add();
  EXPECT_EQ(a.FieldName, "AutoCalc1");
  a.SetDataType(cfInteger);
  a.SetDataType(cfString);
  EXPECT_EQ(a.Size, 20);
  a.SetActive(true);
  ds.AddFastField("ID", ftInteger, 0);
  ds.Open();
  EXPECT_EQ(ds.FieldByName("AutoCalc1").FieldKind, fkCalculated);
  ds.Close();
  TAutoCreateCalcField& blank = ds.AutoCreateCalcFields.Add();
  blank.FieldName = "  ";
  try {
    blank.SetActive(true);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(Cp949ToUtf8(e.Message), "파일이름이 필요합니다");
  }
}

}  // namespace
}  // namespace qzt
