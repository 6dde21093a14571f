// Parameter items to and from the platform's field and parameter objects.
#include <gtest/gtest.h>

#include <filesystem>

#include "codec/param_list.h"
#include "dataset/vorn_dataset.h"

namespace qzt {
namespace {

TEST(ParamAssign, FromFieldsByType) {
  TVornDataSet ds;
  ds.AddFastField("FC", ftFixedChar, 4);
  ds.AddFastField("AI", ftAutoInc, 0);
  ds.AddFastField("M", ftOraClob, 0);
  ds.AddFastField("D", ftDate, 0);
  ds.AddFastField("B", ftBytes, 2);
  ds.AddFastField("N", ftInteger, 0);
  ds.Open();
  ds.AppendRecord({Variant("abcd"), Variant(int32_t{7}), Variant("memo"), Variant::Date(45000),
                   Variant::Bytes(std::string("\1\2", 2)), Variant::Null()});
  TVornParamList list;
  for (int i = 0; i < ds.FieldCount(); ++i) {
    TVornParamItem& item = list.Add();
    item.Name.clear();  // the name comes from the field only when the item has none
    item.AssignField(ds.Fields(i));
  }
  EXPECT_EQ(list.Items(0).DataType, ftFixedChar);  // string kinds keep the field's type
  EXPECT_EQ(list.Items(0).Size(), 4);
  EXPECT_EQ(list.Items(0).AsString(), "abcd");
  EXPECT_EQ(list.Items(1).DataType, ftInteger);  // autoinc through AsInteger
  EXPECT_EQ(list.Items(2).DataType, ftMemo);
  EXPECT_EQ(list.Items(3).AsDateTime(), 45000);
  EXPECT_EQ(list.Items(4).DataType, ftBytes);
  EXPECT_EQ(list.Items(4).InternalValue(), std::string("\1\2", 2));
  EXPECT_TRUE(list.Items(5).IsNull());
  EXPECT_EQ(list.Items(5).Name, "N");
  TVornParamItem named;
  named.Name = "Kept";
  named.AssignField(ds.Fields(1));
  EXPECT_EQ(named.Name, "Kept");

  ds.Edit();
  list.Items(1).SetAsInteger(99);
  list.Items(1).AssignToField(ds.FieldByName("AI"));
  ds.Post();
  EXPECT_EQ(ds.FieldByName("AI").AsInteger(), 99);
}

TEST(ParamAssign, ToAndFromQueryParameters) {
  TParams params;
  TParam& p = params.CreateParam(ftFloat, "PRICE", ptOutputParam);
  p.Value = Variant(2.5);
  p.Size = 8;
  TVornParamItem item;
  item.AssignParam(p);
  EXPECT_EQ(item.Name, "PRICE");
  EXPECT_EQ(item.ParamType, ptOutput);
  EXPECT_EQ(item.AsFloat(), 2.5);
  item.SetIsNull(true);
  TParam back;
  item.AssignToParam(back);
  EXPECT_EQ(back.Name, "PRICE");
  EXPECT_EQ(back.DataType, ftFloat);
  EXPECT_TRUE(back.IsNull());
  EXPECT_THROW(params.ParamByName("nope"), EDatabaseError);
}

TEST(DatasetFiles, SaveAndLoadWithMessagesForMissingFiles) {
  namespace fs = std::filesystem;
  const fs::path file = fs::temp_directory_path() / ("qzt-ds-" + std::to_string(::getpid()) + ".bin");
  TVornDataSet ds;
  ds.AddFastField("ID", ftInteger, 0);
  ds.Open();
  ds.AppendRecord({Variant(int32_t{5})});
  ds.SaveToFile(file.string());
  TVornDataSet back;
  back.LoadFromFileWithFields(file.string());
  EXPECT_EQ(back.FieldByName("ID").AsInteger(), 5);
  fs::remove(file);
  try {
    back.LoadFromFile(file.string());
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message, "Unable to load from " + file.string() + "\n" + file.string() + " does not exist.");
  }
}

}  // namespace
}  // namespace qzt
