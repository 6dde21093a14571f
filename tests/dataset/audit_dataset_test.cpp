#include "dataset/audit_dataset.h"

#include <gtest/gtest.h>

#include "dataset_fixtures.h"

namespace qzt {
namespace {

using test::Column;
using test::FillItems;

int LogCount(TVorn2AuditDataset& ds) { return ds.ChangeLog() ? ds.ChangeLog()->RecordCount() : 0; }

TEST(ChangeLog, EditsThatChangeNothingLeaveNoEntry) {
  TVorn2AuditDataset ds;
  FillItems(ds);
  ASSERT_TRUE(ds.ChangeLog());  // the three appends were logged as inserts
  ds.CancelUpdates();
  EXPECT_EQ(ds.RecordCount(), 0);
  FillItems(ds);
  ds.ChangeLog()->EmptyDataSet();

  EXPECT_EQ(ds.UpdateStatus(), 0);
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("apple");
  EXPECT_EQ(ds.UpdateStatus(), 0);  // in edit state: modified only if a value differs
  ds.Post();
  EXPECT_EQ(LogCount(ds), 0);
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("apricot");
  EXPECT_EQ(ds.UpdateStatus(), 1);
  ds.Post();
  EXPECT_EQ(ds.UpdateStatus(), 1);
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("apple");  // back to the logged value
  ds.Post();
  EXPECT_EQ(LogCount(ds), 0);
  ds.Append();
  EXPECT_EQ(ds.UpdateStatus(), 2);
  ds.Cancel();  // a cancelled insert leaves nothing behind
  EXPECT_EQ(LogCount(ds), 0);
}

TEST(ChangeLog, InsertDeleteAndDeleteOfModified) {
  TVorn2AuditDataset ds;
  FillItems(ds);
  ds.ChangeLog()->EmptyDataSet();
  ds.AppendRecord({Variant(int32_t{4}), Variant("date"), Variant(1.0)});
  EXPECT_EQ(ds.UpdateStatus(), 2);
  ds.Delete();
  EXPECT_EQ(LogCount(ds), 0);

  ds.First();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("apricot");
  ds.Post();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("avocado");
  ds.Post();
  ds.Delete();
  ASSERT_EQ(LogCount(ds), 1);
  TVornDataSet& log = *ds.ChangeLog();
  log.First();
  EXPECT_EQ(log.FieldByName("Delta").AsInteger(), 1);
  EXPECT_EQ(log.FieldByName("BookMark").AsInteger(), 1);
  EXPECT_EQ(log.FieldByName("NAME").AsString(), "apple");  // the value before the first change
  EXPECT_EQ(log.Fields(0).FieldName, "BookMark");
  EXPECT_EQ(log.IndexName(), "Prime");
}

TEST(ChangeLog, CancelUpdatesRestoresOrderAndRevertRecord) {
  TVorn2AuditDataset ds;
  FillItems(ds);
  ds.AppendRecord({Variant(int32_t{4}), Variant("date"), Variant(1.0)});
  ds.ChangeLog()->EmptyDataSet();
  ds.First();
  ds.Next();
  ds.Delete();  // Banana
  ds.First();
  ds.Delete();  // apple
  ds.Last();
  ds.Edit();
  ds.FieldByName("NAME").SetAsString("dates");
  ds.Post();
  ds.AppendRecord({Variant(int32_t{5}), Variant("elder"), Variant(2.0)});
  EXPECT_EQ(Column(ds, "NAME"), "cherry dates elder");
  ds.CancelUpdates();
  EXPECT_EQ(Column(ds, "NAME"), "apple Banana cherry date");
  EXPECT_EQ(LogCount(ds), 0);
  ds.First();
  EXPECT_EQ(ds.CurrentRecordId(), 1);  // restored records keep their ids

  ds.Edit();
  ds.FieldByName("PRICE").SetAsFloat(99);
  ds.Post();
  ds.RevertRecord();
  EXPECT_EQ(ds.FieldByName("PRICE").AsFloat(), 1.5);
  EXPECT_EQ(LogCount(ds), 0);
}

TEST(ChangeLog, ManualUpdatesAreNotLogged) {
  TVorn2AuditDataset ds;
  ds.UpdateMethod = umManual;
  FillItems(ds);
  ds.Delete();
  EXPECT_EQ(ds.ChangeLog(), nullptr);
}

TEST(NestedDataSet, LoadsFromAndWritesToItsParent) {
  TVornDataSet parent;
  parent.AddFastField("ID", ftInteger, 0);
  parent.AddFastField("LINES", ftDataSet, 0);
  parent.Open();
  TVornDataSet lines;
  lines.AddFastField("QTY", ftInteger, 0);
  lines.Open();
  lines.AppendRecord({Variant(int32_t{3})});
  parent.AppendRecord({Variant(int32_t{1}), Variant(lines.SaveToString())});
  parent.AppendRecord({Variant(int32_t{2}), Variant::Null()});

  TVornNestedDataSet nested;
  try {
    nested.Open();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "DataSetField is undefined !");
  }
  nested.SetDataSetField(&parent.FieldByName("LINES"));
  nested.AddFastField("QTY", ftInteger, 0);
  nested.Open();
  parent.First();
  EXPECT_EQ(Column(nested, "QTY"), "3");
  parent.Next();
  EXPECT_EQ(nested.RecordCount(), 0);
  parent.First();
  parent.Edit();
  nested.AppendRecord({Variant(int32_t{4})});
  EXPECT_EQ(nested.ChangeLog()->FieldByName("MasterBookMark").AsInteger(), 1);
  parent.Post();
  parent.Last();
  parent.First();
  EXPECT_EQ(Column(nested, "QTY"), "3 4");
}

}  // namespace
}  // namespace qzt

namespace qzt {
namespace {

TEST(DataLinks, DatasetsForgetAMasterOrParentThatIsGone) {
  auto parent = std::make_unique<TVornDataSet>();
  parent->AddFastField("LINES", ftDataSet, 0);
  parent->Open();
  TVornNestedDataSet nested;
  nested.SetDataSetField(&parent->FieldByName("LINES"));
  TVornDataSet detail;
  detail.AddFastField("ID", ftInteger, 0);
  detail.Open();
  detail.MasterFields = "LINES";
  TDataSource source{parent.get()};
  detail.SetMasterSource(&source);
  parent.reset();
  EXPECT_EQ(nested.DataSetField(), nullptr);
  EXPECT_EQ(detail.RecordCount(), 0);
  detail.AppendRecord({Variant(int32_t{1})});
  EXPECT_EQ(detail.RecordCount(), 1);  // no master any more: no range
}

}  // namespace
}  // namespace qzt
